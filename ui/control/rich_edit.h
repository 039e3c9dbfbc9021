#pragma once

// The text field: the library's own text services hosted in a scrollable
// box, painting into the window's render context and scrolling with the
// box's skinned bars. `RichEdit` tag.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "ui/control/scrollable_box.h"
#include "ui/image/image.h"
#include "ui/text/text_host.h"

namespace ui {

class CTxtWinHost;
class TextServices;

// Edit style bits (the Win32 values the skins' words stand for). ES_NUMBER
// shares its bit with ES_DISABLENOSCROLL there, so number mode is kept in
// its own field and never read from the style.
inline constexpr uint32_t ES_CENTER = 0x1;
inline constexpr uint32_t ES_RIGHT = 0x2;
inline constexpr uint32_t ES_MULTILINE = 0x4;
inline constexpr uint32_t ES_PASSWORD = 0x20;
inline constexpr uint32_t ES_AUTOVSCROLL = 0x40;
inline constexpr uint32_t ES_AUTOHSCROLL = 0x80;
inline constexpr uint32_t ES_NOHIDESEL = 0x100;
inline constexpr uint32_t ES_READONLY = 0x800;
inline constexpr uint32_t ES_NUMBER = 0x2000;
inline constexpr uint32_t ES_DISABLENOSCROLL = 0x2000;
inline constexpr uint32_t WS_HSCROLL = 0x100000;
inline constexpr uint32_t WS_VSCROLL = 0x200000;

class RichEdit : public ScrollableBox {
 public:
  static constexpr int kDefaultMaxLength = 0x7FFF;
  static constexpr int kCaretBlinkMs = 500;
  // The caret stops blinking (and stays shown) after this long without input.
  static constexpr int kCaretBlinkTimeoutMs = 10000;
  // Clicks closer than this (ms) after a double click make a triple click.
  static constexpr uint32_t kTripleClickMs = 500;

  struct Link {
    int first = 0;
    int last = 0;  // exclusive
    std::wstring text;
  };

  RichEdit();
  ~RichEdit() override;

  // Control and box.
  void DoInit() override;
  void SetEnabled(bool enabled) override;
  CSize EstimateSize(CSize available) override;
  void SetPos(UiRect rect) override;
  void HandleEvent(EventArgs& event) override;
  bool IsKeyboardFocusable() const override { return true; }
  // Only a multi-line field that can be edited types tabs; any other lets Tab move on.
  bool WantsTabKey() const override { return want_tab_ && !read_only_ && IsMultiLine(); }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void GetAccessibleInfo(AccessibleInfo* info) const override;
  void Paint(IRenderContext* context, const UiRect& paint_area) override;
  void PaintStateImage(IRenderContext* context) override;
  void PaintChildren(IRenderContext* context, const UiRect& paint_area) override;
  void ReleaseImageCache() override;
  void SetScrollPos(CSize pos) override;
  void PageUp() override;
  void PageDown() override;
  void HomeUp() override;
  void EndDown(bool relayout = true, bool animate = true) override;
  void PageLeft() override;
  void PageRight() override;
  void HomeLeft() override;
  void EndRight() override;

  // Text.
  void SetText(const std::wstring& text);
  std::wstring GetText() const;
  std::string GetUTF8Text() const;
  void SetUTF8Text(const std::string& text);
  std::wstring GetSelText() const;
  void SetSel(int first, int last);
  void ReplaceSel(const std::wstring& text, bool can_undo);
  int GetTextLength() const;
  // The text's size laid out `width` wide (a negative width counts as 0, no
  // wrapping); empty without a host.
  CSize GetNaturalSize(int width) const;

  // Attributes as operations.
  void SetTextColor(const std::wstring& color);
  const std::wstring& GetTextColor() const { return text_color_; }
  void SetFont(int font);
  int GetFont() const { return font_; }
  void SetPromptText(const std::wstring& text);
  void SetPromptTextId(const std::wstring& id);
  std::wstring GetPromptText() const;
  void SetReadOnly(bool value);
  bool IsReadOnly() const { return read_only_; }
  void SetPassword(bool value);
  bool IsPassword() const { return password_; }
  void SetNumber(bool value);
  bool IsNumber() const { return number_; }
  void SetMultiLine(bool value);
  bool IsMultiLine() const { return (style_ & ES_MULTILINE) != 0; }
  void SetRich(bool value);
  void SetMaxLength(int length);
  int GetMaxLength() const { return max_length_; }
  uint32_t GetStyle() const { return style_; }
  int GetVerticalAlign() const { return vertical_align_; }
  void SetWantTab(bool value) { want_tab_ = value; }
  void SetWantReturnMsg(bool value) { want_return_msg_ = value; }
  void SetReturnMsgWantCtrl(bool value) { return_msg_want_ctrl_ = value; }
  void SetSelectAllOnFocus(bool value) { select_all_on_focus_ = value; }
  void SetCaretInReadOnly(bool value) { caret_in_read_only_ = value; }
  void SetDeselectOnKillFocus(bool value) { deselect_on_kill_focus_ = value; }

  // Rich text ranges; both are clamped to the text.
  void SetCharFormat(int first, int last, const CharFormat& format);
  // Adds a clickable range (kind 47 on a click); false when nothing of it is
  // inside the text.
  bool AddLink(int first, int last);
  const std::vector<Link>& GetLinks() const { return links_; }

  // Caret.
  void ShowCaret(bool show);
  bool IsCaretVisible() const { return caret_visible_; }
  bool IsCaretBlinking() const { return caret_blinking_; }
  CPoint GetCaretPos() const { return caret_pos_; }
  CSize GetCaretSize() const { return caret_size_; }
  // The caret in window coordinates, for the input method's candidate window.
  UiRect GetCaretRect() const;

  // Input method (the window's composition): the text shown underlined at
  // the caret while composing, and the committed text.
  void SetCompositionText(const std::wstring& text, int cursor);
  void CommitCompositionText(const std::wstring& text);
  bool IsComposing() const { return composing_; }

  TextServices* GetTextServices() const;
  bool IsFocusedState() const { return focused_; }

 private:
  friend class CTxtWinHost;

  void CreateHost();
  // The text area: the item rect less the padding and the bars with a range.
  UiRect GetTextArea() const;
  UiRect GetAlignedTextRect() const;
  void OnTxNotify(int code);
  void OnCaretTick();
  // Moves the input method's candidate window to the caret.
  void PlaceImeWindow();
  void StartTxTimer(int id, int interval_ms);
  void StopTxTimer(int id);
  void PropertyChanged(uint32_t bits);
  int FindLink(CPoint point) const;
  void SetStyleBit(uint32_t bit, bool on);
  bool NumberPaste();

  std::unique_ptr<CTxtWinHost> host_;
  bool vertical_forced_ = false;
  bool want_tab_ = true;
  bool want_return_msg_ = false;
  bool return_msg_want_ctrl_ = false;
  bool rich_ = false;
  bool read_only_ = false;
  bool password_ = false;
  bool number_ = false;
  bool initialised_ = false;
  bool prompt_mode_ = false;
  bool first_click_done_ = false;
  bool deselect_on_kill_focus_ = true;
  bool select_all_on_focus_ = false;
  bool caret_in_read_only_ = false;
  bool caret_visible_ = false;
  bool caret_blinking_ = false;
  bool composing_ = false;
  CPoint caret_pos_;
  CSize caret_size_;
  int font_ = 0;
  int max_length_ = kDefaultMaxLength;
  uint32_t style_ = ES_MULTILINE;
  int vertical_align_ = 0;
  std::wstring text_color_;
  std::wstring normal_text_color_;
  std::wstring disabled_text_color_;
  std::wstring prompt_color_;
  std::wstring caret_color_;
  std::wstring text_;
  std::wstring prompt_text_;
  std::wstring prompt_text_id_;
  nbase::WeakCallbackFlag caret_flag_;
  std::map<int, std::unique_ptr<nbase::WeakCallbackFlag>> tx_timers_;
  std::vector<Link> links_;
  Image focused_image_;
  int blink_ticks_ = 0;
  int blink_interval_ms_ = kCaretBlinkMs;
  int blink_timeout_ms_ = kCaretBlinkTimeoutMs;
  uint32_t last_double_click_ = 0;
  CPoint last_double_click_point_;
  bool in_set_pos_ = false;
};

}  // namespace ui
