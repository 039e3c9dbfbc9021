#pragma once

// Glyphs of DirectWrite layouts as premultiplied pixels. A custom text
// renderer hands out a layout's glyph runs; each run is turned into
// grey-scale coverage (a glyph run analysis, no device context involved),
// and the pixels are the colour times that coverage, alpha included, so that
// text keeps its edges on a transparent layered surface and reaches any
// render context through its alpha blend.

#include <dwrite.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ui/geometry/geometry.h"
#include "ui/render/pixel_image.h"
#include "ui/text/win/dwrite_context.h"

namespace ui::dwrite {

// The drawing effect of a range of text: its colour.
class TextEffect final : public IUnknown {
 public:
  explicit TextEffect(uint32_t color) : color_(color) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;

  uint32_t color() const { return color_; }

 private:
  ~TextEffect() = default;
  ULONG refs_ = 1;
  uint32_t color_;
};

// The effect a layout's range was given, if it is a TextEffect.
TextEffect* EffectOf(IUnknown* effect);

// Calls `visit` with every glyph run `layout` draws (at its origin), in the
// order drawn: the run, what text it shows, its drawing effect.
using GlyphRunVisitor = std::function<void(
    const DWRITE_GLYPH_RUN& run, const DWRITE_GLYPH_RUN_DESCRIPTION& text, IUnknown* effect)>;
void ForEachGlyphRun(IDWriteTextLayout* layout, const GlyphRunVisitor& visit);

class GlyphPainter {
 public:
  explicit GlyphPainter(Context* context) : context_(context) {}

  // Gathers `run` drawn with its baseline origin at (x, y), in its effect's
  // colour or else `color` (ARGB).
  void AddGlyphs(const DWRITE_GLYPH_RUN& run, float x, float y, IUnknown* effect, uint32_t color);
  // A solid rectangle (an underline) in `color`.
  void AddRect(const UiRect& rect, uint32_t color);

  // Everything gathered, in this painter's pixels; empty when nothing inks.
  UiRect GetBounds() const;
  // The pixels of `bounds`: everything gathered in its own colour, or, with
  // `keep`, only what lies inside those rectangles, in `color`.
  std::shared_ptr<PixelImage> Paint(const UiRect& bounds) const;
  std::shared_ptr<PixelImage> Paint(const UiRect& bounds, const std::vector<UiRect>& keep,
                                    uint32_t color) const;

 private:
  struct Piece {
    UiRect rect;
    std::vector<uint8_t> coverage;  // one byte a pixel, rows of rect's width; empty: solid
    uint32_t color = 0;
  };
  std::shared_ptr<PixelImage> Compose(const UiRect& bounds, const std::vector<UiRect>* keep,
                                      const uint32_t* color) const;

  Context* context_;
  std::vector<Piece> pieces_;
};

}  // namespace ui::dwrite
