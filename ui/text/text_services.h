#pragma once

// The text services: the editing model laid out by the platform's text
// engine, one layout per paragraph so that an edit lays out and repaints only
// the paragraphs it touched. They answer keyboard, mouse, timer and scroll
// input, draw into a render context and talk to the window only through their
// TextHost.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/geometry/geometry.h"
#include "ui/native/clipboard.h"
#include "ui/text/paragraph_layout.h"
#include "ui/text/text_host.h"
#include "ui/text/text_model.h"

namespace ui {

class IRenderContext;

// Modifier bits of key and mouse input.
inline constexpr uint32_t kModShift = 0x1;
inline constexpr uint32_t kModControl = 0x2;
inline constexpr uint32_t kModAlt = 0x4;

class TextServices {
 public:
  static constexpr int kAutoScrollTimerId = 1;
  static constexpr int kAutoScrollIntervalMs = 50;
  // Layouts kept alive at most (those in view are always kept).
  static constexpr size_t kLayoutCacheLimit = 64;
  static constexpr uint32_t kSelectionColor = 0xFF3584E4;
  static constexpr uint32_t kSelectedTextColor = 0xFFFFFFFF;

  explicit TextServices(TextHost* host);
  TextServices(const TextServices&) = delete;
  TextServices& operator=(const TextServices&) = delete;
  ~TextServices();

  const TextModel& GetModel() const { return model_; }

  // The program's text operations; none of them can be undone.
  void SetText(const std::wstring& text);
  const std::wstring& GetText() const { return model_.GetText(); }
  int GetTextLength() const { return model_.GetLength(); }
  // As the selection message takes it: (0, -1) selects all, a negative first
  // end collapses the selection at its end; otherwise anchor and caret.
  void SetSelection(int first, int last);
  TextRange GetSelection() const { return model_.GetSelection(); }
  std::wstring GetSelText() const { return model_.GetSelectedText(); }
  void ReplaceSelection(const std::wstring& text, bool can_undo);

  bool Undo();
  bool Redo();
  bool Copy();
  bool Cut();
  bool Paste(ClipboardKind kind = ClipboardKind::kClipboard);

  // Input. Points are window coordinates. True when the input was used.
  bool OnKeyDown(int key, uint32_t modifiers);
  bool OnChar(wchar_t character);
  // `clicks` 1, 2 (word) or 3 (line).
  void OnButtonDown(CPoint point, uint32_t modifiers, int clicks);
  void OnMouseMove(CPoint point);
  void OnButtonUp(CPoint point);
  // Pastes the primary selection at the point (X11 middle click).
  void OnMiddleClick(CPoint point);
  void OnTimer(int id);
  void OnSetFocus();
  void OnKillFocus();
  void OnSetCursor(CPoint point);
  void OnScroll(bool vertical, int code, int pos = 0);
  // Re-reads what the host reports for the bits in `mask` (formats, options,
  // client rect) and lays out again as needed.
  void OnPropertyBitsChange(uint32_t mask);

  // Draws the visible paragraphs that meet `update` (window coordinates).
  void Draw(IRenderContext* context, const UiRect& update);
  // Size of the whole text laid out `width` wide (no wrapping when 0 or less).
  CSize GetNaturalSize(int width);
  // The text offset nearest to a window point.
  int HitTest(CPoint point);
  // True when the point lies on text (not past a line's end or below the text).
  bool IsOnText(CPoint point, int* offset);
  // The caret in window coordinates (at the preedit cursor while composing).
  UiRect GetCaretRect();
  CPoint GetScrollPos() const { return CPoint(scroll_x_, scroll_y_); }
  CSize GetContentSize();

  // Rich text: `format`'s mask says what it overrides in [first, last).
  void SetCharFormat(int first, int last, const CharFormat& format);
  // The effective format at `pos`.
  CharFormat GetCharFormatAt(int pos);

  // Input method: the composition shown at the caret, underlined, until it
  // is committed (which types it) or cleared.
  void SetPreedit(const std::wstring& text, int cursor);
  void CommitComposition(const std::wstring& text);
  bool IsComposing() const { return !preedit_.empty(); }
  const std::wstring& GetPreedit() const { return preedit_; }

  // For tests and benchmarks: paragraphs and layouts alive.
  size_t GetParagraphCount() const { return paras_.size(); }
  size_t GetLayoutCount() const { return layout_count_; }
  // The most layouts alive at once so far.
  size_t GetPeakLayoutCount() const { return peak_layout_count_; }
  const UiRect& GetLastInvalidRect() const { return last_invalid_; }

 private:
  struct Paragraph {
    int start = 0;
    int length = 0;   // without the line break
    int height = -1;  // -1: not measured for the current width
    int width = 0;
    std::unique_ptr<ParagraphLayout> layout;
  };
  struct FormatRun {
    int start = 0;
    int end = 0;
    CharFormat format;
  };

  void OnModelChange(int pos, int removed, int inserted);
  // After every operation: layout, scroll bars, caret, notification.
  void Finish(bool scroll_to_caret = true);
  void SetCaret(int pos, bool extend);
  // Word boundaries for moves and deletes; a password field is one word.
  int WordStartBefore(int pos) const;
  int WordEndAfter(int pos) const;
  void ReadOptions();

  size_t ParagraphAt(int pos) const;
  size_t ParagraphAtY(int y);
  ParagraphLayout* GetLayout(size_t index);
  void DropLayout(Paragraph& para);
  void TrimLayoutCache();
  // `keep` keeps a layout made for measuring (the paragraph is about to be drawn).
  void Measure(size_t index, bool keep = false);
  void MeasureAll();
  void UpdateTops();
  int ParaTop(size_t index);
  int ContentHeight();
  int AlignOffset(const Paragraph& para) const;
  int WrapWidth() const;
  // Index in paragraph `index`'s layout text (the composition included) of
  // the model offset `offset` from the paragraph's start, and back to the
  // model offset from the text's start.
  int LayoutIndex(size_t index, int offset) const;
  int OffsetFromLayoutIndex(size_t index, int layout_index) const;
  // Offsets from a paragraph's start in the model and in its shown text: a
  // password shows one mask per character, whatever its units.
  int ShownFromModel(const Paragraph& para, int offset) const;
  int ModelFromShown(const Paragraph& para, int shown) const;
  // The character boundaries around `pos` in the model's text.
  int PrevChar(int pos) const;
  int NextChar(int pos) const;
  // Content coordinates of the character at an offset (top of its line),
  // and line height.
  UiRect CharRect(int pos);
  int OffsetAtContent(int x, int y);
  int LineStart(int pos);
  int LineEnd(int pos);
  int MoveVertically(int pos, int dy);
  void ScrollToCaret();
  void ClampScroll();
  void UpdateScrollBars();
  void UpdateCaret();
  void InvalidateParagraphs(size_t first, size_t last);
  void InvalidateAll();
  void Invalidate(const UiRect& rect);
  CPoint ToContent(CPoint window_point);

  TextHost* host_;
  TextModel model_;
  std::unique_ptr<ParagraphLayoutFactory> layouts_;
  std::vector<Paragraph> paras_;
  std::vector<int> tops_;  // prefix sums of heights; valid up to tops_valid_
  size_t tops_valid_ = 0;
  // The widest paragraph, recomputed only when the widest may have shrunk.
  int max_width_ = 0;
  bool max_width_dirty_ = false;
  size_t layout_count_ = 0;
  size_t peak_layout_count_ = 0;
  std::vector<size_t> layout_order_;  // paragraphs that may hold a layout
  std::vector<FormatRun> runs_;
  CharFormat default_format_;
  const NativeFont* font_ = nullptr;
  ParaFormat para_format_;
  bool rich_ = false;
  bool word_wrap_ = true;
  bool hide_selection_ = true;
  bool focused_ = false;
  UiRect client_;
  int scroll_x_ = 0;
  int scroll_y_ = 0;
  int goal_x_ = -1;
  bool text_changed_ = false;
  // The selection the host last heard of.
  TextRange notified_selection_;
  // The paragraphs an edit touched, for the repaint.
  size_t dirty_first_ = SIZE_MAX;
  size_t dirty_last_ = 0;
  bool dirty_shape_ = false;  // paragraph count or height changed
  bool dragging_ = false;
  int drag_clicks_ = 1;
  TextRange drag_origin_;
  CPoint drag_point_;
  bool auto_scroll_timer_ = false;
  std::wstring preedit_;
  int preedit_cursor_ = 0;
  // The first unit of a character typed as two UTF-16 units.
  wchar_t pending_high_surrogate_ = 0;
  CSize caret_size_;
  UiRect last_invalid_;
};

}  // namespace ui
