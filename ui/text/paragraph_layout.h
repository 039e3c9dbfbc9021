#pragma once

// One paragraph of the text services as the platform's text engine lays it
// out (Pango on Linux, an IDWriteTextLayout on Windows). The services keep
// the editing model and decide what a paragraph shows; a layout only shapes,
// measures, hit-tests and draws it.
//
// Indices are wchar_t offsets into the paragraph's text as given (UTF-16
// code units on Windows, code points on Linux) and never fall inside a
// surrogate pair. Coordinates are pixels from the paragraph's top left: x
// includes the alignment offset of wrapped lines, y grows down line by line.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "ui/geometry/geometry.h"
#include "ui/text/text_host.h"

namespace ui {

class IRenderContext;
class NativeFont;

// What a paragraph is laid out with.
struct ParagraphStyle {
  // The default font; null means the library's default.
  const NativeFont* font = nullptr;
  // Bold, italic and underline for the whole text, where its mask says so.
  CharFormat base;
  // Ranges [start, end) that override parts of the format (colour, face,
  // size, bold, italic, underline as their masks say), applied in order.
  struct Run {
    int start = 0;
    int end = 0;
    CharFormat format;
  };
  std::vector<Run> runs;
  // An input method's composition [start, end), drawn underlined; empty when
  // start == end.
  int composition_start = 0;
  int composition_end = 0;
  // Lines wrap at word boundaries (inside a word when it is longer than a
  // line) at this width; 0 or less lays the text out on one line per hard
  // break, unbounded.
  int wrap_width = -1;
  // Alignment of wrapped lines within the wrap width.
  TextAlign align = TextAlign::kLeft;
};

struct ParagraphLine {
  int start = 0;   // index of its first character
  int length = 0;  // up to the next line's start (the blanks it wraps after included)
  int top = 0;     // logical extents, pixels
  int height = 0;
};

struct ParagraphHit {
  // The character under the point (the nearest one on its line when the
  // point lies beside the text; the line nearest in y when above or below).
  int index = 0;
  // Units to add to `index` for the caret position nearest the point: the
  // character's length when the point lies on its trailing half, else 0.
  int trailing = 0;
  // Whether the point lies on the character itself.
  bool inside = false;
};

// A selection to draw, and how.
struct ParagraphSelection {
  int start = 0;  // [start, end) highlighted
  int end = 0;
  // The paragraph's line break is selected too: a small block after the
  // last line shows it.
  bool line_break = false;
  uint32_t background = 0;  // ARGB
  uint32_t text_color = 0;  // ARGB, for the selected text
};

class ParagraphLayout {
 public:
  virtual ~ParagraphLayout() = default;

  // Logical width and height of the whole paragraph, in whole pixels rounded
  // up. An empty paragraph is one line high.
  virtual CSize GetSize() const = 0;
  virtual int GetLineCount() const = 0;
  // `line` in [0, GetLineCount()).
  virtual ParagraphLine GetLine(int line) const = 0;
  // The line holding the character at `index`; the last line for the end.
  virtual int GetLineOfIndex(int index) const = 0;
  virtual ParagraphHit HitTest(int x, int y) const = 0;
  // The caret before the character at `index` (or at the end): its left
  // edge, its top and its height (0 or more; callers widen it to a pixel).
  virtual UiRect GetCaretRect(int index) const = 0;
  // Draws the paragraph with its top left at (x, y) of the context, in
  // `color` (ARGB) where runs set no colour of their own, then the
  // selection, if any, over it.
  virtual void Draw(IRenderContext* context, int x, int y, uint32_t color,
                    const ParagraphSelection* selection) const = 0;
};

// Makes layouts; it holds what the engine shares among them (a Pango context,
// a DirectWrite factory).
class ParagraphLayoutFactory {
 public:
  virtual ~ParagraphLayoutFactory() = default;
  virtual std::unique_ptr<ParagraphLayout> Create(std::wstring_view text,
                                                  const ParagraphStyle& style) = 0;
};

std::unique_ptr<ParagraphLayoutFactory> CreateParagraphLayoutFactory();

// Loads, on any thread, what the first factory needs and would load on the UI
// thread (on DirectWrite the system's font collection and the UI families);
// the next factory made takes it over. Nothing where the engine's state
// belongs to one thread (Pango's font map).
void PrepareParagraphLayouts();

}  // namespace ui
