#pragma once

// Where the pieces of a nine-slice image go: the geometry every render back
// end's DrawImage shares.

#include <cstdint>
#include <functional>

#include "ui/geometry/geometry.h"

namespace ui {

// Calls `piece` (destination, source) for every piece of drawing the `source`
// rect of a picture into `dest` that meets `paint_rect`, in drawing order:
// the centre (whole, or tile by tile, rows top to bottom and tiles left to
// right, the last tile of a row or column cut together with its source),
// then left-top, top, right-top, left, right, left-bottom, bottom and
// right-bottom where their insets are above 0. `corner` holds the four
// insets in picture pixels; on the destination side they are scaled by the
// DPI scale while adaptation is on. A centre with no source width or height
// is not tiled along that axis: it is left out.
void ForEachNineSlicePiece(
    const UiRect& paint_rect, const UiRect& dest, const UiRect& source, const UiRect& corner,
    bool xtiled, bool ytiled,
    const std::function<void(const UiRect& dest, const UiRect& source)>& piece);

// How one image piece reached the target, for callers that watch blits.
struct BlitRecord {
  enum Mode { kStretch, kAlphaBlend };
  UiRect dest;
  UiRect source;
  Mode mode = kAlphaBlend;
  uint8_t alpha = 255;
};

// Only an opaque, unfaded, stretched piece outside transparent mode may
// replace what is below; every other piece blends with per-pixel alpha.
BlitRecord::Mode ChooseBlitMode(bool transparent, bool has_alpha, uint8_t fade, const UiRect& dest,
                                const UiRect& source);

}  // namespace ui
