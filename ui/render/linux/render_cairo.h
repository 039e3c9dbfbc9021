#pragma once

// The Cairo back end of the render interfaces; text goes through Pango.

#include <cairo.h>
#include <pango/pango.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/render/nine_slice.h"
#include "ui/render/render.h"
#include "ui/resource/linux/pango_font.h"

namespace ui {

// The Cairo image surface over `image`'s pixels, made on first use and kept
// with the image (it goes when the image goes). Whoever keeps the surface
// past a call keeps the image too.
cairo_surface_t* CairoSurfaceOf(const PixelImage& image);

class PenCairo : public IPen {
 public:
  PenCairo(uint32_t color, int width);

  std::unique_ptr<IPen> Clone() const override;
  void SetWidth(int width) override { width_ = static_cast<double>(width); }
  int GetWidth() const override { return static_cast<int>(width_); }
  void SetColor(uint32_t color) override { color_ = color; }
  void SetStartCap(LineCap cap) override { start_cap_ = cap; }
  void SetEndCap(LineCap cap) override { end_cap_ = cap; }
  void SetDashCap(DashCap cap) override { dash_cap_ = cap; }
  LineCap GetStartCap() const override { return start_cap_; }
  LineCap GetEndCap() const override { return end_cap_; }
  DashCap GetDashCap() const override { return dash_cap_; }
  void SetLineJoin(LineJoin join) override { line_join_ = join; }
  LineJoin GetLineJoin() const override { return line_join_; }
  void SetDashStyle(DashStyle style) override { dash_style_ = style; }
  DashStyle GetDashStyle() const override { return dash_style_; }

  // Puts width, caps, join and dashes (not the colour) on `cr`.
  void ApplyStroke(cairo_t* cr) const;
  double width() const { return width_; }

 private:
  double width_;
  LineCap start_cap_ = kLineCapFlat;
  LineCap end_cap_ = kLineCapFlat;
  DashCap dash_cap_ = kDashCapFlat;
  LineJoin line_join_ = kLineJoinMiter;
  DashStyle dash_style_ = kDashStyleSolid;
};

class BrushCairo : public IBrush {
 public:
  explicit BrushCairo(uint32_t color);
  // Tiles `bitmap`; the brush colour stays 0.
  explicit BrushCairo(std::shared_ptr<PixelImage> bitmap);
  ~BrushCairo() override;
  BrushCairo(const BrushCairo&) = delete;
  BrushCairo& operator=(const BrushCairo&) = delete;

  std::unique_ptr<IBrush> Clone() const override;
  // Solid colour or tiled texture; null for a brush made from no bitmap.
  cairo_pattern_t* pattern() const { return pattern_; }

 private:
  cairo_pattern_t* pattern_ = nullptr;
  // The pixels a texture pattern reads.
  std::shared_ptr<PixelImage> texture_;
};

class MatrixCairo : public IMatrix {
 public:
  MatrixCairo();
  void Translate(int dx, int dy) override;
  void Scale(int sx, int sy) override;
  void Rotate(float degrees) override;
  void RotateAt(float degrees, const CPoint& center) override;
  const cairo_matrix_t& matrix() const { return matrix_; }

 private:
  cairo_matrix_t matrix_;
};

// The path lives as the current path of a private scratch context, which also
// answers the hit tests.
class PathCairo : public IPath {
 public:
  PathCairo();
  ~PathCairo() override;
  PathCairo(const PathCairo&) = delete;
  PathCairo& operator=(const PathCairo&) = delete;

  std::unique_ptr<IPath> Clone() const override;
  void Reset() override;
  void SetFillMode(FillMode mode) override;
  FillMode GetFillMode() const override { return fill_mode_; }
  void StartFigure() override;
  void CloseFigure() override;
  void AddLine(int x1, int y1, int x2, int y2) override;
  void AddLines(const CPoint* points, int count) override;
  void AddBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) override;
  void AddCurve(const CPoint* points, int count) override;
  void AddRect(const UiRect& rect) override;
  void AddRect(int left, int top, int right, int bottom) override;
  void AddEllipse(const UiRect& rect) override;
  void AddEllipse(int left, int top, int right, int bottom) override;
  void AddArc(int x, int y, int width, int height, float start_angle, float sweep_angle) override;
  void AddPie(int x, int y, int width, int height, float start_angle, float sweep_angle) override;
  void AddPolygon(const CPoint* points, int count) override;
  UiRect GetBounds(const IPen* pen) const override;
  bool ContainsPoint(int x, int y) const override;
  bool StrokeContainsPoint(int x, int y, const IPen* pen) const override;
  void Transform(const IMatrix* matrix) override;

  // Replaces the current path of `cr` with this path and sets its fill rule.
  void AppendTo(cairo_t* cr) const;

 private:
  // Continues the open figure from its last point, or starts one at (x, y).
  void ConnectTo(double x, double y);
  void EllipticArc(double x, double y, double width, double height, double start_angle,
                   double sweep_angle);
  void ClosedFigure();

  cairo_t* cr_;
  FillMode fill_mode_ = kFillModeAlternate;
};

class BitmapCairo : public IBitmap {
 public:
  BitmapCairo() = default;
  ~BitmapCairo() override;
  BitmapCairo(const BitmapCairo&) = delete;
  BitmapCairo& operator=(const BitmapCairo&) = delete;

  bool InitBitmap(int width, int height, bool flip = true) override;
  void Clear() override;
  std::shared_ptr<PixelImage> DetachBitmap() override;
  PixelImage* GetBitmap() const override { return image_.get(); }
  uint8_t* GetBits() override;
  int GetWidth() const override { return width_; }
  int GetHeight() const override { return height_; }
  void ClearAlpha(const UiRect& rect, uint8_t value) override;
  void RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key) override;

  // The surface Cairo draws into, null without pixels.
  cairo_surface_t* surface() const { return surface_; }

 private:
  void Reset();

  std::shared_ptr<PixelImage> image_;
  cairo_surface_t* surface_ = nullptr;  // CairoSurfaceOf(*image_)
  uint8_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

class ClipCairo : public IClip {
 public:
  void CreateClip(IRenderContext* context, const UiRect& rect) override;
  void CreateRoundClip(IRenderContext* context, const UiRect& rect, int width, int height) override;
  void ClearClip(IRenderContext* context) override;
};

class RenderContextCairo : public IRenderContext {
 public:
  RenderContextCairo();
  ~RenderContextCairo() override;
  RenderContextCairo(const RenderContextCairo&) = delete;
  RenderContextCairo& operator=(const RenderContextCairo&) = delete;

  // The drawing context, for the Cairo and Pango code of this target.
  cairo_t* cairo() const { return cr_; }
  bool Resize(int width, int height, bool flip = true) override;
  void Clear() override { bitmap_.Clear(); }
  std::unique_ptr<IRenderContext> Clone() override;
  std::shared_ptr<PixelImage> DetachBitmap() override;
  PixelImage* GetPixelImage() override;
  uint8_t* GetBits() override { return bitmap_.GetBits(); }
  int GetWidth() const override { return bitmap_.GetWidth(); }
  int GetHeight() const override { return bitmap_.GetHeight(); }
  void ClearAlpha(const UiRect& rect, uint8_t value) override;
  void RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key) override;

  bool IsRenderTransparent() const override { return transparent_; }
  bool SetRenderTransparent(bool transparent) override;

  void Save() override;
  void Restore() override;

  CPoint OffsetWindowOrg(const CPoint& offset) override;
  CPoint SetWindowOrg(const CPoint& origin) override;
  CPoint GetWindowOrg() const override;

  void SetClip(const UiRect& rect) override;
  void SetRoundClip(const UiRect& rect, int width, int height) override;
  void ClearClip() override;

  bool BitBlt(int x, int y, int width, int height, const PixelImage* source, int src_x,
              int src_y) override;
  bool AlphaBlend(int x, int y, int width, int height, const PixelImage* source, int src_x,
                  int src_y, int src_width, int src_height, uint8_t alpha = 255) override;
  void DrawImage(const UiRect& paint_rect, const PixelImage* frame, bool has_alpha,
                 const UiRect& dest, const UiRect& source, const UiRect& corner, uint8_t fade = 255,
                 bool xtiled = false, bool ytiled = false) override;

  void DrawColor(const UiRect& rect, const std::wstring& color_name, uint8_t alpha) override;
  void DrawColor(const UiRect& rect, uint32_t color, uint8_t alpha = 255) override;
  void DrawLine(const IPen* pen, int x1, int y1, int x2, int y2) override;
  void DrawLine(const UiRect& rect, int width, uint32_t color) override;
  void DrawBezier(const IPen* pen, int x1, int y1, int x2, int y2, int x3, int y3, int x4,
                  int y4) override;
  void DrawRect(const UiRect& rect, int width, uint32_t color) override;
  void DrawText(const UiRect& rect, const std::wstring& text, uint32_t color, int font_index,
                uint32_t style, uint8_t fade = 255, bool line_limit = false) override;
  void DrawEllipse(const UiRect& rect, int width, uint32_t color) override;
  void FillEllipse(const UiRect& rect, uint32_t color) override;
  UiRect MeasureText(const std::wstring& text, int font_index, uint32_t style,
                     int width = -1) override;
  void DrawPath(const IPath* path, const IPen* pen) override;
  void FillPath(const IPath* path, const IBrush* brush) override;

  // Called for every image piece DrawImage blits; empty to stop watching.
  void SetBlitObserver(std::function<void(const BlitRecord&)> observer) {
    blit_observer_ = std::move(observer);
  }

 private:
  // Points the drawing context at the bitmap (or at an empty surface when there
  // is none), keeping the window origin; pushed clips are dropped.
  void AttachContext();
  void BlitPiece(cairo_surface_t* frame, bool has_alpha, const UiRect& dest, const UiRect& source,
                 uint8_t fade);
  // Strokes the path `build_path` makes, with the pen's settings or a plain
  // line of `width`.
  void Stroke(const PenCairo* pen, double width, uint32_t color, bool antialias,
              const std::function<void()>& build_path);
  PangoLayout* CreateLayout(const std::string& utf8, int font_index);

  BitmapCairo bitmap_;
  ClipCairo clip_;
  cairo_t* cr_ = nullptr;
  PangoContext* pango_ = nullptr;
  // Depth of the state stack: clips and Save push, ClearClip and Restore pop.
  int depth_ = 0;
  int saved_state_ = 0;
  bool transparent_ = false;
  std::function<void(const BlitRecord&)> blit_observer_;
};

class RenderFactoryCairo : public IRenderFactory {
 public:
  std::unique_ptr<IPen> CreatePen(uint32_t color, int width = 1) override;
  std::unique_ptr<IBrush> CreateBrush(std::shared_ptr<PixelImage> bitmap) override;
  std::unique_ptr<IBrush> CreateBrush(uint32_t color) override;
  std::unique_ptr<IMatrix> CreateMatrix() override;
  std::unique_ptr<IPath> CreatePath() override;
  std::unique_ptr<IBitmap> CreateBitmap() override;
  std::unique_ptr<IRenderContext> CreateRenderContext() override;
};

}  // namespace ui
