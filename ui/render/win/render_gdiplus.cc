// The render context of the GDI+ back end.

#include "ui/render/win/render_gdiplus.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ui/render/win/gdi_pixels.h"
#include "ui/resource/skin_resources.h"
#include "ui/resource/win/gdi_font.h"

namespace ui {

namespace gp = Gdiplus::DllExports;

namespace {

constexpr wchar_t kEllipsis = L'\u2026';

// A source for GDI blits: the image's own DC when it is a DIB section, else a
// DIB copy made for the one call.
class SourceDc {
 public:
  explicit SourceDc(const PixelImage& image) {
    dc_ = DibDcOf(image, &origin_);
    if (dc_) return;
    copy_ = CreateDibPixelImage(image.GetWidth(), image.GetHeight());
    if (!copy_) return;
    const size_t row = static_cast<size_t>(image.GetWidth()) * 4;
    for (int y = 0; y < image.GetHeight(); ++y) std::memcpy(copy_->GetRow(y), image.GetRow(y), row);
    dc_ = DibDcOf(*copy_, &origin_);
  }
  HDC dc() const { return dc_; }
  // Device pixel (x, y) of the source is (x + origin.x, y + origin.y) in its DC.
  POINT origin() const { return origin_; }

 private:
  std::shared_ptr<PixelImage> copy_;
  HDC dc_ = nullptr;
  POINT origin_ = {0, 0};
};

struct GpDeleter {
  void operator()(Gdiplus::GpBrush* brush) const { gp::GdipDeleteBrush(brush); }
  void operator()(Gdiplus::GpPen* pen) const { gp::GdipDeletePen(pen); }
  void operator()(Gdiplus::GpFont* font) const { gp::GdipDeleteFont(font); }
  void operator()(Gdiplus::GpStringFormat* format) const { gp::GdipDeleteStringFormat(format); }
};
template <typename T>
using GpPtr = std::unique_ptr<T, GpDeleter>;

GpPtr<Gdiplus::GpBrush> SolidBrush(uint32_t color) {
  Gdiplus::GpSolidFill* brush = nullptr;
  gp::GdipCreateSolidFill(color, &brush);
  return GpPtr<Gdiplus::GpBrush>(brush);
}

GpPtr<Gdiplus::GpPen> NewPen(uint32_t color, int width) {
  Gdiplus::GpPen* pen = nullptr;
  gp::GdipCreatePen1(color, static_cast<Gdiplus::REAL>(width), Gdiplus::UnitWorld, &pen);
  return GpPtr<Gdiplus::GpPen>(pen);
}

const GdiNativeFont& GdiFontFor(int font_index) {
  const FontRecord* record = SkinResources::GetFont(font_index);
  auto* font = record ? dynamic_cast<const GdiNativeFont*>(record->font.get()) : nullptr;
  return font ? *font : DefaultGdiFont();
}

// The font of a font table entry; the UI families for an index without an
// entry or a face GDI+ refuses. Never underlined: DrawText underlines itself.
GpPtr<Gdiplus::GpFont> FontFor(HDC dc, int font_index) {
  LOGFONTW logfont = GdiFontFor(font_index).logfont();
  logfont.lfUnderline = FALSE;
  Gdiplus::GpFont* font = nullptr;
  if (gp::GdipCreateFontFromLogfontW(dc, &logfont, &font) != Gdiplus::Ok) {
    LOGFONTW fallback = DefaultGdiFont().logfont();
    fallback.lfHeight = logfont.lfHeight;
    fallback.lfWeight = logfont.lfWeight;
    fallback.lfItalic = logfont.lfItalic;
    font = nullptr;
    if (gp::GdipCreateFontFromLogfontW(dc, &fallback, &font) != Gdiplus::Ok) font = nullptr;
  }
  return GpPtr<Gdiplus::GpFont>(font);
}

// Where the font puts its underline below the baseline, and how thick, in
// pixels.
struct UnderlineMetrics {
  Gdiplus::REAL below_baseline = 1;
  Gdiplus::REAL thickness = 1;
};

UnderlineMetrics UnderlineOf(HDC dc, const GdiNativeFont& font) {
  UnderlineMetrics metrics;
  const LONG size = std::abs(font.logfont().lfHeight);
  metrics.below_baseline = static_cast<Gdiplus::REAL>(std::max<LONG>(1, size / 10));
  metrics.thickness = static_cast<Gdiplus::REAL>(std::max<LONG>(1, size / 16));
  HGDIOBJ previous = SelectObject(dc, font.font());
  if (const UINT bytes = GetOutlineTextMetricsW(dc, 0, nullptr);
      bytes >= sizeof(OUTLINETEXTMETRICW)) {
    std::vector<char> buffer(bytes);
    auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
    if (GetOutlineTextMetricsW(dc, bytes, otm)) {
      metrics.below_baseline = static_cast<Gdiplus::REAL>(-otm->otmsUnderscorePosition);
      metrics.thickness = static_cast<Gdiplus::REAL>(std::max(1, otm->otmsUnderscoreSize));
    }
  }
  SelectObject(dc, previous);
  return metrics;
}

// Underlines each line `text` takes in `layout`. GDI+ would draw a font's
// underline itself, Wine's does not: drawn here, both look the same.
void DrawUnderline(Gdiplus::GpGraphics* graphics, std::wstring_view text, Gdiplus::GpFont* font,
                   const Gdiplus::RectF& layout, Gdiplus::GpStringFormat* format,
                   Gdiplus::GpBrush* brush, const UnderlineMetrics& underline) {
  Gdiplus::GpFontFamily* family = nullptr;
  Gdiplus::REAL size = 0;
  INT style = 0;
  UINT16 em = 0, ascent = 0, spacing = 0;
  if (gp::GdipGetFamily(font, &family) != Gdiplus::Ok) return;
  const bool measured = gp::GdipGetFontSize(font, &size) == Gdiplus::Ok &&
                        gp::GdipGetFontStyle(font, &style) == Gdiplus::Ok &&
                        gp::GdipGetEmHeight(family, style, &em) == Gdiplus::Ok &&
                        gp::GdipGetCellAscent(family, style, &ascent) == Gdiplus::Ok &&
                        gp::GdipGetLineSpacing(family, style, &spacing) == Gdiplus::Ok && em > 0;
  gp::GdipDeleteFontFamily(family);
  if (!measured) return;
  const Gdiplus::REAL baseline = size * ascent / em;
  const Gdiplus::REAL line_height = size * spacing / em;
  const Gdiplus::CharacterRange whole(0, static_cast<INT>(text.size()));
  Gdiplus::GpStringFormat* ranged = nullptr;
  if (gp::GdipCloneStringFormat(format, &ranged) != Gdiplus::Ok) return;
  GpPtr<Gdiplus::GpStringFormat> ranged_owner(ranged);
  Gdiplus::GpRegion* region = nullptr;
  Gdiplus::GpMatrix* identity = nullptr;
  if (gp::GdipSetStringFormatMeasurableCharacterRanges(ranged, 1, &whole) == Gdiplus::Ok &&
      gp::GdipCreateRegion(&region) == Gdiplus::Ok &&
      gp::GdipCreateMatrix(&identity) == Gdiplus::Ok &&
      gp::GdipMeasureCharacterRanges(graphics, text.data(), static_cast<INT>(text.size()), font,
                                     layout, ranged, 1, &region) == Gdiplus::Ok) {
    UINT count = 0;
    if (gp::GdipGetRegionScansCount(region, &count, identity) == Gdiplus::Ok && count > 0) {
      std::vector<Gdiplus::GpRectF> rects(count);
      INT filled = 0;
      if (gp::GdipGetRegionScans(region, rects.data(), &filled, identity) == Gdiplus::Ok) {
        for (INT i = 0; i < filled; ++i) {
          const Gdiplus::GpRectF& r = rects[i];
          // Lines of the same extent merge into one scan: one underline each.
          const int lines = std::max(1, static_cast<int>(r.Height / line_height + 0.5f));
          for (int line = 0; line < lines; ++line) {
            const Gdiplus::REAL y = r.Y + line * line_height + baseline + underline.below_baseline;
            gp::GdipFillRectangle(graphics, brush, r.X, y, r.Width, underline.thickness);
          }
        }
      }
    }
  }
  if (identity) gp::GdipDeleteMatrix(identity);
  if (region) gp::GdipDeleteRegion(region);
}

GpPtr<Gdiplus::GpStringFormat> TypographicFormat() {
  Gdiplus::GpStringFormat* generic = nullptr;
  Gdiplus::GpStringFormat* format = nullptr;
  if (gp::GdipStringFormatGetGenericTypographic(&generic) != Gdiplus::Ok ||
      gp::GdipCloneStringFormat(generic, &format) != Gdiplus::Ok) {
    return nullptr;
  }
  return GpPtr<Gdiplus::GpStringFormat>(format);
}

// Whether `text` lays out whole in `layout` with `format`.
bool TextFits(Gdiplus::GpGraphics* graphics, std::wstring_view text, Gdiplus::GpFont* font,
              const Gdiplus::RectF& layout, Gdiplus::GpStringFormat* format) {
  Gdiplus::RectF bounds;
  INT fitted = 0, lines = 0;
  if (gp::GdipMeasureString(graphics, text.data(), static_cast<INT>(text.size()), font, &layout,
                            format, &bounds, &fitted, &lines) != Gdiplus::Ok) {
    return true;
  }
  return fitted >= static_cast<INT>(text.size());
}

// The longest start of `text` that, followed by an ellipsis, fits; the text
// itself when it fits. GDI+ trims with an ellipsis by itself, Wine's does
// not: cut here, both draw the same.
std::wstring EllipsizedText(Gdiplus::GpGraphics* graphics, const std::wstring& text,
                            Gdiplus::GpFont* font, const Gdiplus::RectF& layout, INT flags) {
  auto format = TypographicFormat();
  if (!format) return text;
  // Fitting is judged inside the rect, even when drawing may leave it.
  gp::GdipSetStringFormatFlags(format.get(), flags & ~Gdiplus::StringFormatFlagsNoClip);
  if (TextFits(graphics, text, font, layout, format.get())) return text;
  size_t low = 0, high = text.size();  // text[0, low) + ellipsis fits; [0, high) does not
  std::wstring candidate;
  while (high - low > 1) {
    size_t mid = low + (high - low) / 2;
    candidate.assign(text, 0, mid);
    candidate.push_back(kEllipsis);
    if (TextFits(graphics, candidate, font, layout, format.get())) {
      low = mid;
    } else {
      high = mid;
    }
  }
  // Never half a surrogate pair.
  if (low > 0 && IS_HIGH_SURROGATE(text[low - 1])) --low;
  candidate.assign(text, 0, low);
  candidate.push_back(kEllipsis);
  return candidate;
}

// GDI+ over a pixel of its own, for measuring without pixels to draw on.
class MeasureSurface {
 public:
  MeasureSurface() {
    if (gp::GdipCreateBitmapFromScan0(1, 1, 4, PixelFormat32bppPARGB,
                                      reinterpret_cast<BYTE*>(&pixel_), &bitmap_) == Gdiplus::Ok) {
      gp::GdipGetImageGraphicsContext(bitmap_, &graphics_);
    }
    if (graphics_) gp::GdipSetTextRenderingHint(graphics_, Gdiplus::TextRenderingHintAntiAlias);
  }
  ~MeasureSurface() {
    if (graphics_) gp::GdipDeleteGraphics(graphics_);
    if (bitmap_) gp::GdipDisposeImage(bitmap_);
  }
  MeasureSurface(const MeasureSurface&) = delete;
  MeasureSurface& operator=(const MeasureSurface&) = delete;
  Gdiplus::GpGraphics* get() const { return graphics_; }

 private:
  uint32_t pixel_ = 0;
  Gdiplus::GpBitmap* bitmap_ = nullptr;
  Gdiplus::GpGraphics* graphics_ = nullptr;
};

// The height of one line of `font` as GDI+ spaces lines, and the same line
// with its ascent and descent each rounded up to whole pixels, as hinted
// font metrics make them on Linux: a control sized by its text then gets the
// same height on both targets. False when the font tells no metrics.
bool LineHeights(Gdiplus::GpGraphics* graphics, Gdiplus::GpFont* font, Gdiplus::REAL* exact,
                 Gdiplus::REAL* rounded) {
  Gdiplus::GpFontFamily* family = nullptr;
  INT style = 0;
  UINT16 ascent = 0, descent = 0, spacing = 0;
  if (gp::GdipGetFamily(font, &family) != Gdiplus::Ok) return false;
  const bool measured = gp::GdipGetFontStyle(font, &style) == Gdiplus::Ok &&
                        gp::GdipGetCellAscent(family, style, &ascent) == Gdiplus::Ok &&
                        gp::GdipGetCellDescent(family, style, &descent) == Gdiplus::Ok &&
                        gp::GdipGetLineSpacing(family, style, &spacing) == Gdiplus::Ok &&
                        gp::GdipGetFontHeight(font, graphics, exact) == Gdiplus::Ok &&
                        spacing > 0 && *exact > 0;
  gp::GdipDeleteFontFamily(family);
  if (!measured) return false;
  const Gdiplus::REAL per_unit = *exact / spacing;
  *rounded = std::ceil(ascent * per_unit - 0.01f) + std::ceil(descent * per_unit - 0.01f);
  return true;
}

Gdiplus::RectF MeasureBox(Gdiplus::GpGraphics* graphics, std::wstring_view text,
                          Gdiplus::GpFont* font, const Gdiplus::RectF& layout,
                          Gdiplus::GpStringFormat* format) {
  Gdiplus::RectF bounds(0, 0, 0, 0);
  gp::GdipMeasureString(graphics, text.data(), static_cast<INT>(text.size()), font, &layout, format,
                        &bounds, nullptr, nullptr);
  return bounds;
}

}  // namespace

// GDI+ over the context's pixels for one call, with the DC's clip and window
// origin.
class RenderContext_GdiPlus::Graphics {
 public:
  Graphics(RenderContext_GdiPlus* context, bool antialias) {
    PixelImage* image = context->bitmap_.GetBitmap();
    if (!image) return;
    // GDI's batched drawing must be in the memory before GDI+ writes to it.
    GdiFlush();
    bitmap_ = WrapInGdiplusBitmap(*image);
    if (!bitmap_ || gp::GdipGetImageGraphicsContext(bitmap_, &graphics_) != Gdiplus::Ok) {
      graphics_ = nullptr;
      return;
    }
    // The clip first, while world and device coordinates are the same.
    HRGN clip = CreateRectRgn(0, 0, 0, 0);
    if (clip && GetClipRgn(context->dc_, clip) == 1) {
      gp::GdipSetClipHrgn(graphics_, clip, Gdiplus::CombineModeReplace);
    }
    if (clip) DeleteObject(clip);
    POINT origin = {0, 0};
    GetWindowOrgEx(context->dc_, &origin);
    if (origin.x != 0 || origin.y != 0) {
      gp::GdipTranslateWorldTransform(graphics_, static_cast<Gdiplus::REAL>(-origin.x),
                                      static_cast<Gdiplus::REAL>(-origin.y),
                                      Gdiplus::MatrixOrderPrepend);
    }
    gp::GdipSetSmoothingMode(
        graphics_, antialias ? Gdiplus::SmoothingModeAntiAlias : Gdiplus::SmoothingModeNone);
    // Grey text: ClearType's colour fringes are wrong on pixels with alpha.
    gp::GdipSetTextRenderingHint(graphics_, Gdiplus::TextRenderingHintAntiAlias);
  }
  ~Graphics() {
    if (graphics_) gp::GdipDeleteGraphics(graphics_);
    if (bitmap_) gp::GdipDisposeImage(bitmap_);
  }
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;

  Gdiplus::GpGraphics* get() const { return graphics_; }

 private:
  Gdiplus::GpBitmap* bitmap_ = nullptr;
  Gdiplus::GpGraphics* graphics_ = nullptr;
};

RenderContext_GdiPlus::RenderContext_GdiPlus() {
  HDC screen = GetDC(nullptr);
  dc_ = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
}

RenderContext_GdiPlus::~RenderContext_GdiPlus() {
  LeaveDc();
  bitmap_.DetachBitmap();
  if (dc_) DeleteDC(dc_);
}

void RenderContext_GdiPlus::LeaveDc() {
  if (!previous_bitmap_) return;
  if (PixelImage* image = bitmap_.GetBitmap()) ui::LeaveDc(*image, previous_bitmap_);
  previous_bitmap_ = nullptr;
}

bool RenderContext_GdiPlus::Resize(int width, int height, bool flip) {
  if (width == bitmap_.GetWidth() && height == bitmap_.GetHeight()) return false;
  // A DIB section still selected into a DC would not be freed.
  LeaveDc();
  const bool ok = bitmap_.InitBitmap(width, height, flip);
  if (ok && !JoinDc(*bitmap_.GetBitmap(), dc_, &previous_bitmap_)) {
    bitmap_.DetachBitmap();
    return false;
  }
  return ok;
}

void RenderContext_GdiPlus::Clear() {
  bitmap_.Clear();
}

std::unique_ptr<IRenderContext> RenderContext_GdiPlus::Clone() {
  auto clone = std::make_unique<RenderContext_GdiPlus>();
  if (clone->Resize(GetWidth(), GetHeight(), true)) {
    // The bytes as they are: a blit would go through both window origins.
    std::memcpy(clone->bitmap_.GetBits(), bitmap_.GetBits(),
                static_cast<size_t>(GetWidth()) * GetHeight() * 4);
  }
  return clone;
}

std::shared_ptr<PixelImage> RenderContext_GdiPlus::DetachBitmap() {
  if (!bitmap_.GetBitmap()) return nullptr;
  LeaveDc();
  return bitmap_.DetachBitmap();
}

PixelImage* RenderContext_GdiPlus::GetPixelImage() {
  GdiFlush();
  return bitmap_.GetBitmap();
}

void RenderContext_GdiPlus::ClearAlpha(const UiRect& rect, uint8_t value) {
  bitmap_.ClearAlpha(rect, value);
}

void RenderContext_GdiPlus::RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key) {
  bitmap_.RestoreAlpha(rect, padding, key);
}

bool RenderContext_GdiPlus::SetRenderTransparent(bool transparent) {
  const bool old = transparent_;
  transparent_ = transparent;
  return old;
}

void RenderContext_GdiPlus::Save() {
  // The DC is this context's own: its save level is the depth pushed here.
  const int level = SaveDC(dc_);
  if (level <= 0) return;
  saved_state_ = level;
  depth_ = level;
}

void RenderContext_GdiPlus::Restore() {
  // A level already popped (by ClearClip or an earlier Restore) is gone.
  if (saved_state_ <= 0 || saved_state_ > depth_) return;
  RestoreDC(dc_, saved_state_);
  depth_ = saved_state_ - 1;
}

CPoint RenderContext_GdiPlus::OffsetWindowOrg(const CPoint& offset) {
  const CPoint old = GetWindowOrg();
  SetWindowOrgEx(dc_, old.x + offset.x, old.y + offset.y, nullptr);
  return old;
}

CPoint RenderContext_GdiPlus::SetWindowOrg(const CPoint& origin) {
  const CPoint old = GetWindowOrg();
  SetWindowOrgEx(dc_, origin.x, origin.y, nullptr);
  return old;
}

CPoint RenderContext_GdiPlus::GetWindowOrg() const {
  POINT origin = {0, 0};
  if (!GetWindowOrgEx(dc_, &origin)) return CPoint(0, 0);
  return CPoint(origin.x, origin.y);
}

void RenderContext_GdiPlus::SetClip(const UiRect& rect) {
  clip_.CreateClip(this, rect);
  ++depth_;
}

void RenderContext_GdiPlus::SetRoundClip(const UiRect& rect, int width, int height) {
  clip_.CreateRoundClip(this, rect, width, height);
  ++depth_;
}

void RenderContext_GdiPlus::ClearClip() {
  if (depth_ <= 0) return;
  clip_.ClearClip(this);
  --depth_;
}

bool RenderContext_GdiPlus::BitBlt(int x, int y, int width, int height, const PixelImage* source,
                                   int src_x, int src_y) {
  if (!source || width <= 0 || height <= 0) return false;
  SourceDc from(*source);
  if (!from.dc()) return false;
  const POINT origin = from.origin();
  return ::BitBlt(dc_, x, y, width, height, from.dc(), src_x + origin.x, src_y + origin.y,
                  SRCCOPY) != FALSE;
}

bool RenderContext_GdiPlus::AlphaBlend(int x, int y, int width, int height,
                                       const PixelImage* source, int src_x, int src_y,
                                       int src_width, int src_height, uint8_t alpha) {
  if (!source || width <= 0 || height <= 0 || src_width <= 0 || src_height <= 0) return false;
  SourceDc from(*source);
  if (!from.dc()) return false;
  const POINT origin = from.origin();
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
  return GdiAlphaBlend(dc_, x, y, width, height, from.dc(), src_x + origin.x, src_y + origin.y,
                       src_width, src_height, blend) != FALSE;
}

void RenderContext_GdiPlus::ForEachVisibleRow(
    const UiRect& rect, const std::function<void(uint8_t* row, int count)>& visit) {
  PixelImage* image = bitmap_.GetBitmap();
  if (!image) return;
  const CPoint origin = GetWindowOrg();
  UiRect device = rect;
  device.Offset(-origin.x, -origin.y);
  if (!device.Intersect(UiRect(0, 0, image->GetWidth(), image->GetHeight()))) return;
  HRGN area = CreateRectRgn(device.left, device.top, device.right, device.bottom);
  HRGN clip = CreateRectRgn(0, 0, 0, 0);
  if (area && clip && GetClipRgn(dc_, clip) == 1) CombineRgn(area, area, clip, RGN_AND);
  if (clip) DeleteObject(clip);
  if (!area) return;
  std::vector<RECT> rects;
  if (const DWORD size = GetRegionData(area, 0, nullptr); size > 0) {
    std::vector<char> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    if (GetRegionData(area, size, data) == size) {
      const auto* first = reinterpret_cast<const RECT*>(data->Buffer);
      rects.assign(first, first + data->rdh.nCount);
    }
  }
  DeleteObject(area);
  GdiFlush();
  for (const RECT& r : rects) {
    for (LONG row = r.top; row < r.bottom; ++row) {
      visit(image->GetRow(row) + static_cast<size_t>(r.left) * 4, r.right - r.left);
    }
  }
}

void RenderContext_GdiPlus::MakeOpaque(const UiRect& rect) {
  ForEachVisibleRow(rect, [](uint8_t* pixel, int count) {
    for (int i = 0; i < count; ++i, pixel += 4) pixel[3] = 255;
  });
}

void RenderContext_GdiPlus::BlitPiece(HDC source_dc, POINT source_origin, bool has_alpha,
                                      const UiRect& dest, const UiRect& source, uint8_t fade) {
  BlitRecord record;
  record.dest = dest;
  record.source = source;
  record.alpha = fade;
  record.mode = ChooseBlitMode(transparent_, has_alpha, fade, dest, source);
  if (blit_observer_) blit_observer_(record);
  const int dw = dest.GetWidth(), dh = dest.GetHeight();
  const int sw = source.GetWidth(), sh = source.GetHeight();
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  const int sx = source.left + source_origin.x, sy = source.top + source_origin.y;
  if (record.mode == BlitRecord::kStretch) {
    // Half-tone stretching under a clip samples as if the piece began where
    // the clip does (so under Wine): a repaint of part of the piece would
    // shift its edges against the piece drawn whole. A piece the clip cuts is
    // stretched whole aside and the part the clip leaves copied.
    const bool stretched = dw != sw || dh != sh;
    if (!stretched || !ClipCuts(dest) || !StretchAside(source_dc, sx, sy, sw, sh, dest)) {
      StretchBlt(dc_, dest.left, dest.top, dw, dh, source_dc, sx, sy, sw, sh, SRCCOPY);
    }
    // Half-tone stretching drops the alpha byte; the piece is opaque.
    MakeOpaque(dest);
  } else {
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, fade, AC_SRC_ALPHA};
    GdiAlphaBlend(dc_, dest.left, dest.top, dw, dh, source_dc, sx, sy, sw, sh, blend);
  }
}

bool RenderContext_GdiPlus::ClipCuts(const UiRect& rect) const {
  PixelImage* image = bitmap_.GetBitmap();
  if (!image) return false;
  const CPoint origin = GetWindowOrg();
  UiRect device = rect;
  device.Offset(-origin.x, -origin.y);
  UiRect inside = device;
  if (!inside.Intersect(UiRect(0, 0, image->GetWidth(), image->GetHeight())) ||
      !(inside == device)) {
    return true;
  }
  HRGN clip = CreateRectRgn(0, 0, 0, 0);
  if (!clip) return false;
  bool cuts = false;
  if (GetClipRgn(dc_, clip) == 1) {
    HRGN left_out = CreateRectRgn(device.left, device.top, device.right, device.bottom);
    if (left_out) {
      cuts = CombineRgn(left_out, left_out, clip, RGN_DIFF) != NULLREGION;
      DeleteObject(left_out);
    }
  }
  DeleteObject(clip);
  return cuts;
}

bool RenderContext_GdiPlus::StretchAside(HDC source_dc, int sx, int sy, int sw, int sh,
                                         const UiRect& dest) {
  const int dw = dest.GetWidth(), dh = dest.GetHeight();
  // A piece far larger than any window (mostly off the pixels) is not
  // worth a scratch of its size.
  constexpr int64_t kMostPixels = int64_t{4096} * 4096;
  if (int64_t{dw} * dh > kMostPixels) return false;
  if (!stretch_scratch_ || stretch_scratch_->GetWidth() < dw ||
      stretch_scratch_->GetHeight() < dh) {
    const int width = stretch_scratch_ ? std::max(stretch_scratch_->GetWidth(), dw) : dw;
    const int height = stretch_scratch_ ? std::max(stretch_scratch_->GetHeight(), dh) : dh;
    stretch_scratch_ = CreateDibPixelImage(width, height);
  }
  if (!stretch_scratch_) return false;
  POINT origin = {0, 0};
  HDC scratch = DibDcOf(*stretch_scratch_, &origin);
  if (!scratch) return false;
  const int old_mode = SetStretchBltMode(scratch, HALFTONE);
  POINT old_brush_origin;
  SetBrushOrgEx(scratch, 0, 0, &old_brush_origin);
  const bool ok =
      StretchBlt(scratch, origin.x, origin.y, dw, dh, source_dc, sx, sy, sw, sh, SRCCOPY) &&
      ::BitBlt(dc_, dest.left, dest.top, dw, dh, scratch, origin.x, origin.y, SRCCOPY);
  SetBrushOrgEx(scratch, old_brush_origin.x, old_brush_origin.y, nullptr);
  if (old_mode) SetStretchBltMode(scratch, old_mode);
  return ok;
}

void RenderContext_GdiPlus::DrawImage(const UiRect& paint_rect, const PixelImage* image,
                                      bool has_alpha, const UiRect& dest, const UiRect& source,
                                      const UiRect& corner, uint8_t fade, bool xtiled,
                                      bool ytiled) {
  if (!image || !bitmap_.GetBitmap()) return;
  UiRect visible = dest;
  if (!visible.Intersect(paint_rect)) return;
  SourceDc from(*image);
  if (!from.dc()) return;
  const int old_mode = SetStretchBltMode(dc_, HALFTONE);
  POINT old_brush_origin;
  SetBrushOrgEx(dc_, 0, 0, &old_brush_origin);
  ForEachNineSlicePiece(paint_rect, dest, source, corner, xtiled, ytiled,
                        [&](const UiRect& piece_dest, const UiRect& piece_source) {
                          BlitPiece(from.dc(), from.origin(), has_alpha, piece_dest, piece_source,
                                    fade);
                        });
  SetBrushOrgEx(dc_, old_brush_origin.x, old_brush_origin.y, nullptr);
  if (old_mode) SetStretchBltMode(dc_, old_mode);
}

void RenderContext_GdiPlus::DrawColor(const UiRect& rect, const std::wstring& color_name,
                                      uint8_t alpha) {
  if (color_name.empty()) return;
  DrawColor(rect, SkinResources::GetTextColor(color_name), alpha);
}

void RenderContext_GdiPlus::DrawColor(const UiRect& rect, uint32_t color, uint8_t alpha) {
  if (rect.IsRectEmpty()) return;
  if (alpha < 255) {
    auto a = static_cast<uint32_t>(((color >> 24) & 0xFF) * static_cast<double>(alpha) / 255.0);
    color = (color & 0x00FFFFFF) | (a << 24);
  }
  if ((color >> 24) == 0xFF) {
    // An opaque colour replaces what is below, bytes and all: written
    // straight into what the clip leaves of the rect (GDI+ would take a
    // round trip through straight alpha for each pixel under Wine).
    ForEachVisibleRow(rect, [color](uint8_t* row, int count) {
      std::fill_n(reinterpret_cast<uint32_t*>(row), count, color);
    });
    return;
  }
  Graphics graphics(this, false);
  if (!graphics.get()) return;
  auto brush = SolidBrush(color);
  gp::GdipFillRectangle(graphics.get(), brush.get(), static_cast<Gdiplus::REAL>(rect.left),
                        static_cast<Gdiplus::REAL>(rect.top),
                        static_cast<Gdiplus::REAL>(rect.GetWidth()),
                        static_cast<Gdiplus::REAL>(rect.GetHeight()));
}

void RenderContext_GdiPlus::StrokeWithNewPen(
    int width, uint32_t color, bool antialias,
    const std::function<void(Gdiplus::GpGraphics*, Gdiplus::GpPen*)>& draw) {
  Graphics graphics(this, antialias);
  if (!graphics.get()) return;
  auto pen = NewPen(color, width);
  if (pen) draw(graphics.get(), pen.get());
}

void RenderContext_GdiPlus::DrawLine(const IPen* pen, int x1, int y1, int x2, int y2) {
  auto* gdi_pen = dynamic_cast<const Pen_GdiPlus*>(pen);
  if (!gdi_pen || !gdi_pen->pen()) return;
  Graphics graphics(this, true);
  if (graphics.get()) gp::GdipDrawLineI(graphics.get(), gdi_pen->pen(), x1, y1, x2, y2);
}

void RenderContext_GdiPlus::DrawLine(const UiRect& rect, int width, uint32_t color) {
  // GDI+ sets the end pixel of an aliased line too; the line stops before
  // it, as the line of the other target does, so that borders look the same.
  const int dx = rect.right - rect.left, dy = rect.bottom - rect.top;
  const int steps = std::max(std::abs(dx), std::abs(dy));
  if (steps == 0) return;
  const Gdiplus::REAL end_x = rect.right - static_cast<Gdiplus::REAL>(dx) / steps;
  const Gdiplus::REAL end_y = rect.bottom - static_cast<Gdiplus::REAL>(dy) / steps;
  StrokeWithNewPen(width, color, false, [&](Gdiplus::GpGraphics* g, Gdiplus::GpPen* pen) {
    gp::GdipDrawLine(g, pen, static_cast<Gdiplus::REAL>(rect.left),
                     static_cast<Gdiplus::REAL>(rect.top), end_x, end_y);
  });
}

void RenderContext_GdiPlus::DrawBezier(const IPen* pen, int x1, int y1, int x2, int y2, int x3,
                                       int y3, int x4, int y4) {
  auto* gdi_pen = dynamic_cast<const Pen_GdiPlus*>(pen);
  if (!gdi_pen || !gdi_pen->pen()) return;
  Graphics graphics(this, true);
  if (graphics.get()) {
    gp::GdipDrawBezierI(graphics.get(), gdi_pen->pen(), x1, y1, x2, y2, x3, y3, x4, y4);
  }
}

void RenderContext_GdiPlus::DrawRect(const UiRect& rect, int width, uint32_t color) {
  StrokeWithNewPen(width, color, false, [&](Gdiplus::GpGraphics* g, Gdiplus::GpPen* pen) {
    gp::GdipDrawRectangleI(g, pen, rect.left, rect.top, rect.GetWidth(), rect.GetHeight());
  });
}

void RenderContext_GdiPlus::DrawEllipse(const UiRect& rect, int width, uint32_t color) {
  StrokeWithNewPen(width, color, true, [&](Gdiplus::GpGraphics* g, Gdiplus::GpPen* pen) {
    gp::GdipDrawEllipseI(g, pen, rect.left, rect.top, rect.GetWidth(), rect.GetHeight());
  });
}

void RenderContext_GdiPlus::FillEllipse(const UiRect& rect, uint32_t color) {
  Graphics graphics(this, true);
  if (!graphics.get()) return;
  auto brush = SolidBrush(color);
  gp::GdipFillEllipseI(graphics.get(), brush.get(), rect.left, rect.top, rect.GetWidth(),
                       rect.GetHeight());
}

void RenderContext_GdiPlus::DrawPath(const IPath* path, const IPen* pen) {
  auto* gdi_path = dynamic_cast<const Path_Gdiplus*>(path);
  auto* gdi_pen = dynamic_cast<const Pen_GdiPlus*>(pen);
  if (!gdi_path || !gdi_pen || !gdi_path->path() || !gdi_pen->pen()) return;
  Graphics graphics(this, true);
  if (graphics.get()) gp::GdipDrawPath(graphics.get(), gdi_pen->pen(), gdi_path->path());
}

void RenderContext_GdiPlus::FillPath(const IPath* path, const IBrush* brush) {
  auto* gdi_path = dynamic_cast<const Path_Gdiplus*>(path);
  auto* gdi_brush = dynamic_cast<const Brush_Gdiplus*>(brush);
  if (!gdi_path || !gdi_brush || !gdi_path->path() || !gdi_brush->brush()) return;
  Graphics graphics(this, true);
  if (graphics.get()) gp::GdipFillPath(graphics.get(), gdi_brush->brush(), gdi_path->path());
}

void RenderContext_GdiPlus::DrawText(const UiRect& rect, const std::wstring& text, uint32_t color,
                                     int font_index, uint32_t style, uint8_t fade,
                                     bool line_limit) {
  if (text.empty()) return;
  Graphics graphics(this, false);
  if (!graphics.get()) return;
  auto font = FontFor(dc_, font_index);
  auto format = TypographicFormat();
  if (!font || !format) return;

  Gdiplus::RectF layout(static_cast<Gdiplus::REAL>(rect.left), static_cast<Gdiplus::REAL>(rect.top),
                        static_cast<Gdiplus::REAL>(rect.GetWidth()),
                        static_cast<Gdiplus::REAL>(rect.GetHeight()));
  // Alpha 255 is kept for opaque fills; text never reaches it.
  auto alpha = static_cast<uint32_t>(((color >> 24) & 0xFF) / 255.0 * fade) & 0xFF;
  if (alpha == 255) alpha = 254;
  auto brush = SolidBrush((color & 0x00FFFFFF) | (alpha << 24));

  INT flags = 0;
  if (style & DT_NOCLIP) flags |= Gdiplus::StringFormatFlagsNoClip;
  if (style & DT_SINGLELINE) flags |= Gdiplus::StringFormatFlagsNoWrap;
  if (line_limit) flags |= Gdiplus::StringFormatFlagsLineLimit;
  gp::GdipSetStringFormatFlags(format.get(), flags);
  if (style & DT_END_ELLIPSIS) {
    gp::GdipSetStringFormatTrimming(format.get(), Gdiplus::StringTrimmingEllipsisCharacter);
  }
  gp::GdipSetStringFormatAlign(format.get(), (style & DT_CENTER)  ? Gdiplus::StringAlignmentCenter
                                             : (style & DT_RIGHT) ? Gdiplus::StringAlignmentFar
                                                                  : Gdiplus::StringAlignmentNear);
  gp::GdipSetStringFormatLineAlign(format.get(),
                                   (style & DT_VCENTER)  ? Gdiplus::StringAlignmentCenter
                                   : (style & DT_BOTTOM) ? Gdiplus::StringAlignmentFar
                                                         : Gdiplus::StringAlignmentNear);
  if (style & DT_VCENTER) {
    const FontRecord* record = SkinResources::GetFont(font_index);
    if (record && record->face_name == L"新宋体" && layout.Height >= record->size + 2) {
      layout.Y += 1.0f;
    }
  }
  const bool ellipsis = style & DT_END_ELLIPSIS;
  const std::wstring shown =
      ellipsis ? EllipsizedText(graphics.get(), text, font.get(), layout, flags) : text;
  if ((style & DT_SINGLELINE) && (style & DT_NOCLIP) && !ellipsis) {
    // One unclipped line runs past the rect. Wine's GDI+ cuts it at the
    // rect's width all the same; a rect of no width, anchored where the
    // alignment puts the line, lets it run on both.
    if (style & DT_CENTER) {
      layout.X += layout.Width / 2;
    } else if (style & DT_RIGHT) {
      layout.X += layout.Width;
    }
    layout.Width = 0;
  }
  gp::GdipDrawString(graphics.get(), shown.c_str(), static_cast<INT>(shown.size()), font.get(),
                     &layout, format.get(), brush.get());
  const FontRecord* record = SkinResources::GetFont(font_index);
  if (record && record->underline) {
    DrawUnderline(graphics.get(), shown, font.get(), layout, format.get(), brush.get(),
                  UnderlineOf(dc_, GdiFontFor(font_index)));
  }
}

UiRect RenderContext_GdiPlus::MeasureText(const std::wstring& text, int font_index, uint32_t style,
                                          int width) {
  if (text.empty()) return UiRect(0, 0, 1, 1);
  MeasureSurface surface;
  auto font = FontFor(dc_, font_index);
  auto format = TypographicFormat();
  if (!surface.get() || !font || !format) return UiRect(0, 0, 1, 1);
  const bool single = style & DT_SINGLELINE;
  gp::GdipSetStringFormatFlags(format.get(), single ? Gdiplus::StringFormatFlagsNoWrap : 0);
  // Width -1 (or none) is unbounded: an empty layout rect.
  Gdiplus::RectF layout(0, 0, 0, 0);
  Gdiplus::REAL line_height = 0;
  if (width > 0) {
    if (single) {
      line_height =
          MeasureBox(surface.get(), L"测试", font.get(), Gdiplus::RectF(0, 0, 0, 0), format.get())
              .Height;
    }
    layout = Gdiplus::RectF(0, 0, static_cast<Gdiplus::REAL>(width), line_height);
  }
  Gdiplus::RectF box = MeasureBox(surface.get(), text, font.get(), layout, format.get());
  if (width > 0 && single) {
    // One line inside the width, whatever line breaks the text holds.
    box.Width = std::min(box.Width, static_cast<Gdiplus::REAL>(width));
    box.Height = std::min(box.Height, line_height);
  }
  Gdiplus::REAL exact = 0, rounded = 0;
  if (box.Height > 0 && LineHeights(surface.get(), font.get(), &exact, &rounded)) {
    const int lines = std::max(1, static_cast<int>(std::lround(box.Height / exact)));
    box.Height = lines * rounded;
  }
  return UiRect(static_cast<int>(box.X), static_cast<int>(box.Y),
                static_cast<int>(box.X + box.Width + 1.0),
                static_cast<int>(box.Y + box.Height + 1.0));
}

}  // namespace ui
