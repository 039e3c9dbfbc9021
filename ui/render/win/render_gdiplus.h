#pragma once

// The GDI+ back end of the render interfaces. A render context owns a memory
// DC with its pixels (a DIB section, see gdi_pixels.h) selected: clips,
// window origin and saved states live in the DC, blits and nine-slice images
// go through GDI, and shapes and text through GDI+, drawing straight into
// the same memory as 32bppPARGB, so that per-pixel alpha stays exact.

#include "ui/render/win/gdiplus_headers.h"

#include <functional>
#include <memory>
#include <string>

#include "ui/render/nine_slice.h"
#include "ui/render/render.h"

namespace ui {

class Pen_GdiPlus : public IPen {
 public:
  Pen_GdiPlus(uint32_t color, int width);
  ~Pen_GdiPlus() override;
  Pen_GdiPlus(const Pen_GdiPlus&) = delete;
  Pen_GdiPlus& operator=(const Pen_GdiPlus&) = delete;

  std::unique_ptr<IPen> Clone() const override;
  void SetWidth(int width) override;
  int GetWidth() const override;
  void SetColor(uint32_t color) override;
  void SetStartCap(LineCap cap) override;
  void SetEndCap(LineCap cap) override;
  void SetDashCap(DashCap cap) override;
  LineCap GetStartCap() const override;
  LineCap GetEndCap() const override;
  DashCap GetDashCap() const override;
  void SetLineJoin(LineJoin join) override;
  LineJoin GetLineJoin() const override;
  void SetDashStyle(DashStyle style) override;
  DashStyle GetDashStyle() const override;

  Gdiplus::GpPen* pen() const { return pen_; }

 private:
  explicit Pen_GdiPlus(uint32_t color) : IPen(color) {}

  Gdiplus::GpPen* pen_ = nullptr;
  mutable Gdiplus::GpStatus status_ = Gdiplus::Ok;
};

class Brush_Gdiplus : public IBrush {
 public:
  explicit Brush_Gdiplus(uint32_t color);
  // Tiles `bitmap`; the brush colour stays 0.
  explicit Brush_Gdiplus(std::shared_ptr<PixelImage> bitmap);
  ~Brush_Gdiplus() override;
  Brush_Gdiplus(const Brush_Gdiplus&) = delete;
  Brush_Gdiplus& operator=(const Brush_Gdiplus&) = delete;

  std::unique_ptr<IBrush> Clone() const override;
  // The solid brush, else the texture brush; null for a brush of no bitmap.
  Gdiplus::GpBrush* brush() const;

 private:
  Gdiplus::GpSolidFill* solid_ = nullptr;
  Gdiplus::GpTexture* texture_ = nullptr;
};

class Matrix_Gdiplus : public IMatrix {
 public:
  Matrix_Gdiplus();
  ~Matrix_Gdiplus() override;
  Matrix_Gdiplus(const Matrix_Gdiplus&) = delete;
  Matrix_Gdiplus& operator=(const Matrix_Gdiplus&) = delete;

  void Translate(int dx, int dy) override;
  void Scale(int sx, int sy) override;
  void Rotate(float degrees) override;
  void RotateAt(float degrees, const CPoint& center) override;

  Gdiplus::GpMatrix* matrix() const { return matrix_; }

 private:
  Gdiplus::GpMatrix* matrix_ = nullptr;
  Gdiplus::GpStatus status_ = Gdiplus::Ok;
};

class Path_Gdiplus : public IPath {
 public:
  Path_Gdiplus();
  ~Path_Gdiplus() override;
  Path_Gdiplus(const Path_Gdiplus&) = delete;
  Path_Gdiplus& operator=(const Path_Gdiplus&) = delete;

  std::unique_ptr<IPath> Clone() const override;
  void Reset() override;
  void SetFillMode(FillMode mode) override;
  FillMode GetFillMode() const override;
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

  Gdiplus::GpPath* path() const { return path_; }

 private:
  Gdiplus::GpPath* path_ = nullptr;
  mutable Gdiplus::GpStatus status_ = Gdiplus::Ok;
};

// The pixels of a render context: a DIB section as a PixelImage.
class GdiBitmap : public IBitmap {
 public:
  GdiBitmap() = default;
  ~GdiBitmap() override = default;
  GdiBitmap(const GdiBitmap&) = delete;
  GdiBitmap& operator=(const GdiBitmap&) = delete;

  bool InitBitmap(int width, int height, bool flip = true) override;
  void Clear() override;
  std::shared_ptr<PixelImage> DetachBitmap() override;
  PixelImage* GetBitmap() const override { return image_.get(); }
  uint8_t* GetBits() override;
  int GetWidth() const override { return width_; }
  int GetHeight() const override { return height_; }
  void ClearAlpha(const UiRect& rect, uint8_t value) override;
  void RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key) override;

  HBITMAP GetHBitmap() const;

 private:
  void Reset();

  std::shared_ptr<PixelImage> image_;
  int width_ = 0;
  int height_ = 0;
};

// Clips through the saved-state stack of a GDI+ render context's DC.
class GdiClip : public IClip {
 public:
  void CreateClip(IRenderContext* context, const UiRect& rect) override;
  void CreateRoundClip(IRenderContext* context, const UiRect& rect, int width, int height) override;
  void ClearClip(IRenderContext* context) override;
};

class RenderContext_GdiPlus : public IRenderContext {
 public:
  RenderContext_GdiPlus();
  ~RenderContext_GdiPlus() override;
  RenderContext_GdiPlus(const RenderContext_GdiPlus&) = delete;
  RenderContext_GdiPlus& operator=(const RenderContext_GdiPlus&) = delete;

  // The memory DC, pixels selected (when there are any).
  HDC GetHDC() const { return dc_; }
  bool Resize(int width, int height, bool flip = true) override;
  void Clear() override;
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
  class Graphics;

  // Puts the pixels back out of the DC.
  void LeaveDc();
  void BlitPiece(HDC source_dc, POINT source_origin, bool has_alpha, const UiRect& dest,
                 const UiRect& source, uint8_t fade);
  // Calls `visit` for each run of pixels of what the clip leaves of `rect`
  // (logical coordinates), GDI's drawing flushed.
  void ForEachVisibleRow(const UiRect& rect,
                         const std::function<void(uint8_t* row, int count)>& visit);
  // Sets alpha 255 on what the clip leaves of `rect`.
  void MakeOpaque(const UiRect& rect);
  // Whether the clip or the pixels' edge leave out part of `rect` (logical).
  bool ClipCuts(const UiRect& rect) const;
  // Stretches the source rect over all of `dest` in a scratch DIB, as if
  // nothing were clipped, and copies into the DC what the clip leaves.
  bool StretchAside(HDC source_dc, int sx, int sy, int sw, int sh, const UiRect& dest);
  void StrokeWithNewPen(int width, uint32_t color, bool antialias,
                        const std::function<void(Gdiplus::GpGraphics*, Gdiplus::GpPen*)>& draw);

  HDC dc_ = nullptr;
  int saved_state_ = 0;
  // Levels of the DC's saved-state stack this context pushed (clips, Save).
  int depth_ = 0;
  HGDIOBJ previous_bitmap_ = nullptr;
  bool transparent_ = false;
  GdiClip clip_;
  GdiBitmap bitmap_;
  // Where StretchAside stretches; kept for the next piece, grown as needed.
  std::shared_ptr<PixelImage> stretch_scratch_;
  std::function<void(const BlitRecord&)> blit_observer_;
};

class RenderFactory_GdiPlus : public IRenderFactory {
 public:
  RenderFactory_GdiPlus();
  std::unique_ptr<IPen> CreatePen(uint32_t color, int width = 1) override;
  std::unique_ptr<IBrush> CreateBrush(std::shared_ptr<PixelImage> bitmap) override;
  std::unique_ptr<IBrush> CreateBrush(uint32_t color) override;
  std::unique_ptr<IMatrix> CreateMatrix() override;
  std::unique_ptr<IPath> CreatePath() override;
  std::unique_ptr<IBitmap> CreateBitmap() override;
  std::unique_ptr<IRenderContext> CreateRenderContext() override;
};

// A GDI+ bitmap over the image's memory as 32bppPARGB (no copy); null when
// GDI+ refuses. The caller disposes of it before the image goes.
Gdiplus::GpBitmap* WrapInGdiplusBitmap(const PixelImage& image);

}  // namespace ui
