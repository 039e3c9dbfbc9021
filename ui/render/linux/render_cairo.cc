// The render context of the Cairo back end.

#include "ui/render/linux/render_cairo.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/string_util.h"
#include "ui/render/nine_slice.h"
#include "ui/resource/skin_resources.h"

namespace ui {

namespace {

void SetSourceArgb(cairo_t* cr, uint32_t color) {
  cairo_set_source_rgba(cr, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                        (color & 0xFF) / 255.0, ((color >> 24) & 0xFF) / 255.0);
}

// Draws the `source` rect of `frame` into `dest` with `op`, stretching when
// the sizes differ; the source never bleeds in from outside its rect.
void PaintPiece(cairo_t* cr, cairo_surface_t* frame, const UiRect& dest, const UiRect& source,
                cairo_operator_t op, uint8_t alpha) {
  int dw = dest.GetWidth(), dh = dest.GetHeight();
  int sw = source.GetWidth(), sh = source.GetHeight();
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  cairo_save(cr);
  cairo_set_operator(cr, op);
  cairo_new_path(cr);
  cairo_rectangle(cr, dest.left, dest.top, dw, dh);
  cairo_surface_t* sub = nullptr;
  cairo_pattern_t* pattern = nullptr;
  if (dw == sw && dh == sh) {
    cairo_set_source_surface(cr, frame, dest.left - source.left, dest.top - source.top);
  } else {
    sub = cairo_surface_create_for_rectangle(frame, source.left, source.top, sw, sh);
    pattern = cairo_pattern_create_for_surface(sub);
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, static_cast<double>(sw) / dw, static_cast<double>(sh) / dh);
    cairo_matrix_translate(&matrix, -dest.left, -dest.top);
    cairo_pattern_set_matrix(pattern, &matrix);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
    cairo_set_source(cr, pattern);
  }
  if (alpha == 255) {
    cairo_fill(cr);
  } else {
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, alpha / 255.0);
  }
  cairo_restore(cr);
  if (pattern) cairo_pattern_destroy(pattern);
  if (sub) cairo_surface_destroy(sub);
}

// Pixels in Pango units; a huge extent saturates instead of wrapping round to
// a tiny or negative layout width.
int ToPangoUnits(int pixels) {
  return pixels > G_MAXINT / PANGO_SCALE ? G_MAXINT / PANGO_SCALE * PANGO_SCALE
                                         : pixels * PANGO_SCALE;
}

// Odd stroke widths sit on pixel centres so that integer lines stay crisp.
void AlignStroke(cairo_t* cr, double width) {
  if (static_cast<int64_t>(std::lround(width)) % 2 == 1) cairo_translate(cr, 0.5, 0.5);
}

}  // namespace

RenderContextCairo::RenderContextCairo() {
  AttachContext();
}

RenderContextCairo::~RenderContextCairo() {
  if (pango_) g_object_unref(pango_);
  cairo_destroy(cr_);
}

void RenderContextCairo::AttachContext() {
  CPoint origin = cr_ ? GetWindowOrg() : CPoint();
  cairo_surface_t* target = bitmap_.surface();
  cairo_surface_t* empty = nullptr;
  if (!target) target = empty = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 0, 0);
  cairo_t* cr = cairo_create(target);
  if (empty) cairo_surface_destroy(empty);
  if (cr_) cairo_destroy(cr_);
  cr_ = cr;
  depth_ = 0;
  saved_state_ = 0;
  SetWindowOrg(origin);
}

bool RenderContextCairo::Resize(int width, int height, bool flip) {
  if (width == bitmap_.GetWidth() && height == bitmap_.GetHeight()) return false;
  bool ok = bitmap_.InitBitmap(width, height, flip);
  AttachContext();
  return ok;
}

std::unique_ptr<IRenderContext> RenderContextCairo::Clone() {
  auto clone = std::make_unique<RenderContextCairo>();
  if (clone->Resize(GetWidth(), GetHeight(), true)) {
    std::memcpy(clone->bitmap_.GetBits(), bitmap_.GetBits(),
                static_cast<size_t>(GetWidth()) * GetHeight() * 4);
    cairo_surface_mark_dirty(clone->bitmap_.surface());
  }
  return clone;
}

std::shared_ptr<PixelImage> RenderContextCairo::DetachBitmap() {
  if (!bitmap_.GetBitmap()) return nullptr;
  std::shared_ptr<PixelImage> image = bitmap_.DetachBitmap();
  AttachContext();
  return image;
}

PixelImage* RenderContextCairo::GetPixelImage() {
  if (cairo_surface_t* surface = bitmap_.surface()) cairo_surface_flush(surface);
  return bitmap_.GetBitmap();
}

void RenderContextCairo::ClearAlpha(const UiRect& rect, uint8_t value) {
  bitmap_.ClearAlpha(rect, value);
}

void RenderContextCairo::RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key) {
  bitmap_.RestoreAlpha(rect, padding, key);
}

bool RenderContextCairo::SetRenderTransparent(bool transparent) {
  bool old = transparent_;
  transparent_ = transparent;
  return old;
}

void RenderContextCairo::Save() {
  cairo_save(cr_);
  saved_state_ = ++depth_;
}

void RenderContextCairo::Restore() {
  // Popping past the saved level would leave Cairo in an error state for good.
  if (saved_state_ <= 0 || saved_state_ > depth_) return;
  while (depth_ >= saved_state_) {
    cairo_restore(cr_);
    --depth_;
  }
}

CPoint RenderContextCairo::OffsetWindowOrg(const CPoint& offset) {
  CPoint old = GetWindowOrg();
  SetWindowOrg(CPoint(old.x + offset.x, old.y + offset.y));
  return old;
}

CPoint RenderContextCairo::SetWindowOrg(const CPoint& origin) {
  CPoint old = GetWindowOrg();
  cairo_matrix_t matrix;
  cairo_matrix_init_translate(&matrix, -origin.x, -origin.y);
  cairo_set_matrix(cr_, &matrix);
  return old;
}

CPoint RenderContextCairo::GetWindowOrg() const {
  cairo_matrix_t matrix;
  cairo_get_matrix(cr_, &matrix);
  return CPoint(static_cast<int>(std::lround(-matrix.x0)),
                static_cast<int>(std::lround(-matrix.y0)));
}

void RenderContextCairo::SetClip(const UiRect& rect) {
  clip_.CreateClip(this, rect);
  ++depth_;
}

void RenderContextCairo::SetRoundClip(const UiRect& rect, int width, int height) {
  clip_.CreateRoundClip(this, rect, width, height);
  ++depth_;
}

void RenderContextCairo::ClearClip() {
  if (depth_ <= 0) return;
  clip_.ClearClip(this);
  --depth_;
}

bool RenderContextCairo::BitBlt(int x, int y, int width, int height, const PixelImage* source,
                                int src_x, int src_y) {
  if (!source || width <= 0 || height <= 0) return false;
  PaintPiece(cr_, CairoSurfaceOf(*source), UiRect(x, y, x + width, y + height),
             UiRect(src_x, src_y, src_x + width, src_y + height), CAIRO_OPERATOR_SOURCE, 255);
  return true;
}

bool RenderContextCairo::AlphaBlend(int x, int y, int width, int height, const PixelImage* source,
                                    int src_x, int src_y, int src_width, int src_height,
                                    uint8_t alpha) {
  if (!source || width <= 0 || height <= 0 || src_width <= 0 || src_height <= 0) return false;
  PaintPiece(cr_, CairoSurfaceOf(*source), UiRect(x, y, x + width, y + height),
             UiRect(src_x, src_y, src_x + src_width, src_y + src_height), CAIRO_OPERATOR_OVER,
             alpha);
  return true;
}

void RenderContextCairo::BlitPiece(cairo_surface_t* frame, bool has_alpha, const UiRect& dest,
                                   const UiRect& source, uint8_t fade) {
  BlitRecord record;
  record.dest = dest;
  record.source = source;
  record.alpha = fade;
  record.mode = ChooseBlitMode(transparent_, has_alpha, fade, dest, source);
  if (blit_observer_) blit_observer_(record);
  PaintPiece(cr_, frame, dest, source,
             record.mode == BlitRecord::kStretch ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER,
             fade);
}

void RenderContextCairo::DrawImage(const UiRect& paint_rect, const PixelImage* image,
                                   bool has_alpha, const UiRect& dest, const UiRect& source,
                                   const UiRect& corner, uint8_t fade, bool xtiled, bool ytiled) {
  if (!image) return;
  cairo_surface_t* const frame = CairoSurfaceOf(*image);
  ForEachNineSlicePiece(paint_rect, dest, source, corner, xtiled, ytiled,
                        [&](const UiRect& piece_dest, const UiRect& piece_source) {
                          BlitPiece(frame, has_alpha, piece_dest, piece_source, fade);
                        });
}

void RenderContextCairo::DrawColor(const UiRect& rect, const std::wstring& color_name,
                                   uint8_t alpha) {
  if (color_name.empty()) return;
  DrawColor(rect, SkinResources::GetTextColor(color_name), alpha);
}

void RenderContextCairo::DrawColor(const UiRect& rect, uint32_t color, uint8_t alpha) {
  if (rect.IsRectEmpty()) return;
  if (alpha < 255) {
    auto a = static_cast<uint32_t>(((color >> 24) & 0xFF) * static_cast<double>(alpha) / 255.0);
    color = (color & 0x00FFFFFF) | (a << 24);
  }
  cairo_save(cr_);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
  SetSourceArgb(cr_, color);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, rect.left, rect.top, rect.GetWidth(), rect.GetHeight());
  cairo_fill(cr_);
  cairo_restore(cr_);
}

void RenderContextCairo::Stroke(const PenCairo* pen, double width, uint32_t color, bool antialias,
                                const std::function<void()>& build_path) {
  cairo_save(cr_);
  AlignStroke(cr_, width);
  cairo_new_path(cr_);
  build_path();
  if (pen) {
    pen->ApplyStroke(cr_);
  } else {
    cairo_set_line_width(cr_, width);
  }
  cairo_set_antialias(cr_, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  SetSourceArgb(cr_, color);
  cairo_stroke(cr_);
  cairo_restore(cr_);
}

void RenderContextCairo::DrawLine(const IPen* pen, int x1, int y1, int x2, int y2) {
  auto* cairo_pen = dynamic_cast<const PenCairo*>(pen);
  if (!cairo_pen) return;
  Stroke(cairo_pen, cairo_pen->width(), cairo_pen->GetColor(), true, [&] {
    cairo_move_to(cr_, x1, y1);
    cairo_line_to(cr_, x2, y2);
  });
}

void RenderContextCairo::DrawLine(const UiRect& rect, int width, uint32_t color) {
  Stroke(nullptr, width, color, false, [&] {
    cairo_move_to(cr_, rect.left, rect.top);
    cairo_line_to(cr_, rect.right, rect.bottom);
  });
}

void RenderContextCairo::DrawBezier(const IPen* pen, int x1, int y1, int x2, int y2, int x3, int y3,
                                    int x4, int y4) {
  auto* cairo_pen = dynamic_cast<const PenCairo*>(pen);
  if (!cairo_pen) return;
  Stroke(cairo_pen, cairo_pen->width(), cairo_pen->GetColor(), true, [&] {
    cairo_move_to(cr_, x1, y1);
    cairo_curve_to(cr_, x2, y2, x3, y3, x4, y4);
  });
}

void RenderContextCairo::DrawRect(const UiRect& rect, int width, uint32_t color) {
  Stroke(nullptr, width, color, false,
         [&] { cairo_rectangle(cr_, rect.left, rect.top, rect.GetWidth(), rect.GetHeight()); });
}

void RenderContextCairo::DrawEllipse(const UiRect& rect, int width, uint32_t color) {
  PathCairo path;
  path.AddEllipse(rect);
  Stroke(nullptr, width, color, true, [&] { path.AppendTo(cr_); });
}

void RenderContextCairo::FillEllipse(const UiRect& rect, uint32_t color) {
  PathCairo path;
  path.AddEllipse(rect);
  cairo_save(cr_);
  path.AppendTo(cr_);
  SetSourceArgb(cr_, color);
  cairo_fill(cr_);
  cairo_restore(cr_);
}

void RenderContextCairo::DrawPath(const IPath* path, const IPen* pen) {
  auto* cairo_path = dynamic_cast<const PathCairo*>(path);
  auto* cairo_pen = dynamic_cast<const PenCairo*>(pen);
  if (!cairo_path || !cairo_pen) return;
  Stroke(cairo_pen, cairo_pen->width(), cairo_pen->GetColor(), true,
         [&] { cairo_path->AppendTo(cr_); });
}

void RenderContextCairo::FillPath(const IPath* path, const IBrush* brush) {
  auto* cairo_path = dynamic_cast<const PathCairo*>(path);
  auto* cairo_brush = dynamic_cast<const BrushCairo*>(brush);
  if (!cairo_path || !cairo_brush || !cairo_brush->pattern()) return;
  cairo_save(cr_);
  cairo_path->AppendTo(cr_);
  cairo_set_source(cr_, cairo_brush->pattern());
  cairo_fill(cr_);
  cairo_restore(cr_);
}

PangoLayout* RenderContextCairo::CreateLayout(const std::string& utf8, int font_index) {
  if (!pango_) {
    pango_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
    // Grey antialiasing: sub-pixel colour fringes are wrong on a surface with alpha.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(pango_, options);
    cairo_font_options_destroy(options);
  }
  PangoLayout* layout = pango_layout_new(pango_);
  const FontRecord* font = SkinResources::GetFont(font_index);
  const PangoFontDescription* desc = font ? PangoFontOf(font->font.get()) : nullptr;
  pango_layout_set_font_description(layout, desc ? desc : DefaultFontDescription());
  if (font && font->underline) {
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  return layout;
}

namespace {

// Height of the lines that fit whole into `limit`, in Pango units.
int WholeLinesHeight(PangoLayout* layout, int limit) {
  int fitting = 0;
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    PangoRectangle line;
    pango_layout_iter_get_line_extents(iter, nullptr, &line);
    if (line.y + line.height > limit) break;
    fitting = line.y + line.height;
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  return fitting;
}

}  // namespace

void RenderContextCairo::DrawText(const UiRect& rect, const std::wstring& text, uint32_t color,
                                  int font_index, uint32_t style, uint8_t fade, bool line_limit) {
  if (text.empty()) return;
  // Alpha 255 is kept for opaque fills; text never reaches it.
  auto alpha = static_cast<uint32_t>(((color >> 24) & 0xFF) / 255.0 * fade);
  if (alpha == 255) alpha = 254;
  color = (color & 0x00FFFFFF) | (alpha << 24);

  PangoLayout* layout = CreateLayout(nbase::WideToUTF8(text), font_index);
  const int width = rect.GetWidth(), height = rect.GetHeight();
  const bool single = style & DT_SINGLELINE;
  const bool ellipsis = style & DT_END_ELLIPSIS;
  // A single line without ellipsis is laid out unbounded, so it never wraps.
  const bool bounded = width > 0 && (!single || ellipsis);
  if (bounded) {
    pango_layout_set_width(layout, ToPangoUnits(width));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    if (ellipsis && (single || height > 0)) {
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
      if (!single) pango_layout_set_height(layout, ToPangoUnits(height));
    }
    if (style & DT_CENTER) {
      pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    } else if (style & DT_RIGHT) {
      pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);
    }
  }

  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  int text_height = logical.height;
  bool cut_lines = false;
  if (line_limit && height > 0 && text_height > ToPangoUnits(height)) {
    text_height = WholeLinesHeight(layout, ToPangoUnits(height));
    cut_lines = true;
    if (text_height == 0) {
      g_object_unref(layout);
      return;
    }
  }

  double x = rect.left;
  if (!bounded) {
    double text_width = static_cast<double>(logical.width) / PANGO_SCALE;
    if (style & DT_CENTER) {
      x += (width - text_width) / 2.0;
    } else if (style & DT_RIGHT) {
      x += width - text_width;
    }
  }
  double y = rect.top;
  double visible = static_cast<double>(text_height) / PANGO_SCALE;
  if (style & DT_VCENTER) {
    y += (height - visible) / 2.0;
    const FontRecord* font = SkinResources::GetFont(font_index);
    if (font && font->face_name == L"新宋体" && height >= font->size + 2) y += 1.0;
  } else if (style & DT_BOTTOM) {
    y += height - visible;
  }
  // Whole pixels keep glyphs crisp.
  x = std::round(x);
  y = std::round(y);

  cairo_save(cr_);
  cairo_new_path(cr_);
  if (!(style & DT_NOCLIP)) {
    cairo_rectangle(cr_, rect.left, rect.top, width, height);
    cairo_clip(cr_);
  }
  if (cut_lines) {
    cairo_rectangle(cr_, rect.left, y, width, visible);
    cairo_clip(cr_);
  }
  SetSourceArgb(cr_, color);
  cairo_move_to(cr_, x, y);
  pango_cairo_show_layout(cr_, layout);
  cairo_restore(cr_);
  g_object_unref(layout);
}

UiRect RenderContextCairo::MeasureText(const std::wstring& text, int font_index, uint32_t style,
                                       int width) {
  if (text.empty()) return UiRect(0, 0, 1, 1);
  PangoLayout* layout = CreateLayout(nbase::WideToUTF8(text), font_index);
  const bool single = style & DT_SINGLELINE;
  double line_height = 0;
  if (width > 0) {
    if (single) {
      // A single line is measured in a box one line of "测试" high.
      PangoLayout* probe = CreateLayout("测试", font_index);
      PangoRectangle probe_rect;
      pango_layout_get_extents(probe, nullptr, &probe_rect);
      line_height = static_cast<double>(probe_rect.height) / PANGO_SCALE;
      g_object_unref(probe);
    } else {
      pango_layout_set_width(layout, ToPangoUnits(width));
      pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
  }
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  double x = static_cast<double>(logical.x) / PANGO_SCALE;
  double y = static_cast<double>(logical.y) / PANGO_SCALE;
  double w = static_cast<double>(logical.width) / PANGO_SCALE;
  double h = static_cast<double>(logical.height) / PANGO_SCALE;
  if (width > 0 && single) {
    w = std::min(w, static_cast<double>(width));
    h = std::min(h, line_height);
  }
  return UiRect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(x + w + 1.0),
                static_cast<int>(y + h + 1.0));
}

}  // namespace ui
