#include "ui/render/nine_slice.h"

#include <algorithm>
#include <cstdint>

#include "ui/resource/skin_resources.h"

namespace ui {

namespace {

bool Meets(const UiRect& piece, const UiRect& paint) {
  UiRect overlap = piece;
  return overlap.Intersect(paint);
}

// Tiles [first, last) of size `tile` laid from `begin` up to `end` that meet
// [paint_begin, paint_end); the last tile is cut at `end`.
struct TileSpan {
  int64_t first;
  int64_t last;
};

TileSpan VisibleTiles(int64_t begin, int64_t end, int64_t tile, int64_t paint_begin,
                      int64_t paint_end) {
  const int64_t count = (end - begin + tile - 1) / tile;
  const int64_t first = std::max<int64_t>(0, (paint_begin - begin) / tile);
  const int64_t last = std::min<int64_t>(count, (paint_end - begin + tile - 1) / tile);
  return {first, std::max(first, last)};
}

}  // namespace

void ForEachNineSlicePiece(
    const UiRect& paint_rect, const UiRect& dest, const UiRect& source, const UiRect& corner,
    bool xtiled, bool ytiled,
    const std::function<void(const UiRect& dest, const UiRect& source)>& piece) {
  if (!Meets(dest, paint_rect)) return;
  const UiRect& c = corner;
  UiRect cs = corner;
  const int scale = SkinResources::IsAdaptDPI() ? SkinResources::GetDPIScale() : 100;
  if (scale != 100) {
    cs.left = MulDiv(c.left, scale, 100);
    cs.top = MulDiv(c.top, scale, 100);
    cs.right = cs.left + MulDiv(c.right - c.left, scale, 100);
    cs.bottom = cs.top + MulDiv(c.bottom - c.top, scale, 100);
  }
  const UiRect& d = dest;
  const UiRect& s = source;

  UiRect dest_center(d.left + cs.left, d.top + cs.top, d.right - cs.right, d.bottom - cs.bottom);
  UiRect src_center(s.left + c.left, s.top + c.top, s.right - c.right, s.bottom - c.bottom);
  if (Meets(dest_center, paint_rect)) {
    if (!xtiled && !ytiled) {
      piece(dest_center, src_center);
    } else {
      int tile_w = src_center.GetWidth(), tile_h = src_center.GetHeight();
      // An empty source centre cannot be tiled; the centre is left out.
      if ((!xtiled || tile_w > 0) && (!ytiled || tile_h > 0)) {
        // Only the tiles that can meet the paint rect are visited, so a huge
        // centre over a tiny tile costs no more than the visible part.
        const TileSpan rows = ytiled ? VisibleTiles(dest_center.top, dest_center.bottom, tile_h,
                                                    paint_rect.top, paint_rect.bottom)
                                     : TileSpan{0, 1};
        const TileSpan cols = xtiled ? VisibleTiles(dest_center.left, dest_center.right, tile_w,
                                                    paint_rect.left, paint_rect.right)
                                     : TileSpan{0, 1};
        for (int64_t row = rows.first; row < rows.last; ++row) {
          UiRect tile_dest = dest_center, tile_src = src_center;
          if (ytiled) {
            tile_dest.top = static_cast<int>(dest_center.top + row * tile_h);
            tile_dest.bottom = static_cast<int>(
                std::min<int64_t>(int64_t{tile_dest.top} + tile_h, dest_center.bottom));
            tile_src.bottom = tile_src.top + tile_dest.GetHeight();
          }
          for (int64_t col = cols.first; col < cols.last; ++col) {
            if (xtiled) {
              tile_dest.left = static_cast<int>(dest_center.left + col * tile_w);
              tile_dest.right = static_cast<int>(
                  std::min<int64_t>(int64_t{tile_dest.left} + tile_w, dest_center.right));
              tile_src.right = tile_src.left + tile_dest.GetWidth();
            }
            if (Meets(tile_dest, paint_rect)) piece(tile_dest, tile_src);
          }
        }
      }
    }
  }

  struct Piece {
    bool condition;
    UiRect dest;
    UiRect source;
  };
  const Piece pieces[] = {
      {c.left > 0 && c.top > 0,
       {d.left, d.top, d.left + cs.left, d.top + cs.top},
       {s.left, s.top, s.left + c.left, s.top + c.top}},
      {c.top > 0,
       {d.left + cs.left, d.top, d.right - cs.right, d.top + cs.top},
       {s.left + c.left, s.top, s.right - c.right, s.top + c.top}},
      {c.right > 0 && c.top > 0,
       {d.right - cs.right, d.top, d.right, d.top + cs.top},
       {s.right - c.right, s.top, s.right, s.top + c.top}},
      {c.left > 0,
       {d.left, d.top + cs.top, d.left + cs.left, d.bottom - cs.bottom},
       {s.left, s.top + c.top, s.left + c.left, s.bottom - c.bottom}},
      {c.right > 0,
       {d.right - cs.right, d.top + cs.top, d.right, d.bottom - cs.bottom},
       {s.right - c.right, s.top + c.top, s.right, s.bottom - c.bottom}},
      {c.left > 0 && c.bottom > 0,
       {d.left, d.bottom - cs.bottom, d.left + cs.left, d.bottom},
       {s.left, s.bottom - c.bottom, s.left + c.left, s.bottom}},
      {c.bottom > 0,
       {d.left + cs.left, d.bottom - cs.bottom, d.right - cs.right, d.bottom},
       {s.left + c.left, s.bottom - c.bottom, s.right - c.right, s.bottom}},
      {c.right > 0 && c.bottom > 0,
       {d.right - cs.right, d.bottom - cs.bottom, d.right, d.bottom},
       {s.right - c.right, s.bottom - c.bottom, s.right, s.bottom}},
  };
  for (const Piece& p : pieces) {
    if (p.condition && Meets(p.dest, paint_rect)) piece(p.dest, p.source);
  }
}

BlitRecord::Mode ChooseBlitMode(bool transparent, bool has_alpha, uint8_t fade, const UiRect& dest,
                                const UiRect& source) {
  const bool stretched =
      dest.GetWidth() != source.GetWidth() || dest.GetHeight() != source.GetHeight();
  return (!transparent && !has_alpha && fade == 255 && stretched) ? BlitRecord::kStretch
                                                                  : BlitRecord::kAlphaBlend;
}

}  // namespace ui
