#pragma once

// Painting interfaces of the UI library. Every object a factory makes belongs
// to the caller and is deleted through its virtual destructor.

#include <cstdint>
#include <memory>
#include <string>

#include "base/callback.h"
#include "ui/geometry/geometry.h"
#include "ui/render/pixel_image.h"

namespace ui {

// Text style word bits shared by every control.
inline constexpr uint32_t DT_CENTER = 0x1;
inline constexpr uint32_t DT_RIGHT = 0x2;
inline constexpr uint32_t DT_VCENTER = 0x4;
inline constexpr uint32_t DT_BOTTOM = 0x8;
inline constexpr uint32_t DT_SINGLELINE = 0x20;
inline constexpr uint32_t DT_NOCLIP = 0x100;
inline constexpr uint32_t DT_END_ELLIPSIS = 0x8000;

class IRenderContext;

class IPen : public nbase::SupportWeakCallback {
 public:
  enum LineCap { kLineCapFlat = 0, kLineCapSquare = 1, kLineCapRound = 2, kLineCapTriangle = 3 };
  enum DashCap { kDashCapFlat = 0, kDashCapRound = 2, kDashCapTriangle = 3 };
  enum LineJoin {
    kLineJoinMiter = 0,
    kLineJoinBevel = 1,
    kLineJoinRound = 2,
    kLineJoinMiterClipped = 3
  };
  enum DashStyle {
    kDashStyleSolid = 0,
    kDashStyleDash = 1,
    kDashStyleDot = 2,
    kDashStyleDashDot = 3,
    kDashStyleDashDotDot = 4
  };

  explicit IPen(uint32_t color) : color_(color) {}
  virtual ~IPen() = default;

  virtual std::unique_ptr<IPen> Clone() const = 0;
  virtual void SetWidth(int width) = 0;
  virtual int GetWidth() const = 0;
  virtual void SetColor(uint32_t color) = 0;
  virtual uint32_t GetColor() const { return color_; }
  virtual void SetStartCap(LineCap cap) = 0;
  virtual void SetEndCap(LineCap cap) = 0;
  virtual void SetDashCap(DashCap cap) = 0;
  virtual LineCap GetStartCap() const = 0;
  virtual LineCap GetEndCap() const = 0;
  virtual DashCap GetDashCap() const = 0;
  virtual void SetLineJoin(LineJoin join) = 0;
  virtual LineJoin GetLineJoin() const = 0;
  virtual void SetDashStyle(DashStyle style) = 0;
  virtual DashStyle GetDashStyle() const = 0;

 protected:
  uint32_t color_ = 0;
};

// An off-screen 32-bit bitmap: a PixelImage (premultiplied, bytes blue,
// green, red, alpha, rows top-down, a row is width * 4 bytes).
class IBitmap : public nbase::SupportWeakCallback {
 public:
  virtual ~IBitmap() = default;
  // Replaces any previous pixels; false (and an empty bitmap) for a size of 0
  // or below or when the memory cannot be had. Rows are always top-down;
  // `flip` is accepted for callers that pass it.
  virtual bool InitBitmap(int width, int height, bool flip = true) = 0;
  virtual void Clear() = 0;
  // Hands the pixels to the caller and empties the bitmap; null when empty.
  virtual std::shared_ptr<PixelImage> DetachBitmap() = 0;
  // The pixels, or null; valid until the next InitBitmap or DetachBitmap.
  virtual PixelImage* GetBitmap() const = 0;
  virtual uint8_t* GetBits() = 0;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  // Sets all four bytes of every pixel of `rect` (clipped to the bitmap).
  virtual void ClearAlpha(const UiRect& rect, uint8_t value) = 0;
  // Makes the pixels of `rect` outside the padding corners opaque, or
  // transparent where the alpha byte equals a non-zero `key`.
  virtual void RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key) = 0;
};

class IBrush : public nbase::SupportWeakCallback {
 public:
  explicit IBrush(uint32_t color) : color_(color) {}
  virtual ~IBrush() = default;

  virtual std::unique_ptr<IBrush> Clone() const = 0;
  uint32_t GetColor() const { return color_; }
  // Slot for a bitmap the brush owns; no back end fills it.
  IBitmap* GetBitmap() const { return bitmap_.get(); }

 protected:
  uint32_t color_ = 0;
  std::unique_ptr<IBitmap> bitmap_;
};

class IMatrix : public nbase::SupportWeakCallback {
 public:
  virtual ~IMatrix() = default;
  // All operations are applied before the existing transformation.
  virtual void Translate(int dx, int dy) = 0;
  virtual void Scale(int sx, int sy) = 0;
  virtual void Rotate(float degrees) = 0;
  virtual void RotateAt(float degrees, const CPoint& center) = 0;
};

class IPath : public nbase::SupportWeakCallback {
 public:
  enum FillMode { kFillModeAlternate = 0, kFillModeWinding = 1 };

  virtual ~IPath() = default;
  virtual std::unique_ptr<IPath> Clone() const = 0;
  virtual void Reset() = 0;
  virtual void SetFillMode(FillMode mode) = 0;
  virtual FillMode GetFillMode() const = 0;
  virtual void StartFigure() = 0;
  virtual void CloseFigure() = 0;
  virtual void AddLine(int x1, int y1, int x2, int y2) = 0;
  virtual void AddLines(const CPoint* points, int count) = 0;
  virtual void AddBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) = 0;
  virtual void AddCurve(const CPoint* points, int count) = 0;
  virtual void AddRect(const UiRect& rect) = 0;
  virtual void AddRect(int left, int top, int right, int bottom) = 0;
  virtual void AddEllipse(const UiRect& rect) = 0;
  virtual void AddEllipse(int left, int top, int right, int bottom) = 0;
  virtual void AddArc(int x, int y, int width, int height, float start_angle,
                      float sweep_angle) = 0;
  virtual void AddPie(int x, int y, int width, int height, float start_angle,
                      float sweep_angle) = 0;
  virtual void AddPolygon(const CPoint* points, int count) = 0;
  // Bounds of the path, widened by the pen's stroke when a pen is given.
  virtual UiRect GetBounds(const IPen* pen) const = 0;
  virtual bool ContainsPoint(int x, int y) const = 0;
  virtual bool StrokeContainsPoint(int x, int y, const IPen* pen) const = 0;
  virtual void Transform(const IMatrix* matrix) = 0;
};

// Clip operations on a render context of the same back end (any other does
// nothing); each clip saves the context's state and intersects, each
// ClearClip pops the last one. Rects are logical coordinates.
class IClip : public nbase::SupportWeakCallback {
 public:
  virtual ~IClip() = default;
  virtual void CreateClip(IRenderContext* context, const UiRect& rect) = 0;
  virtual void CreateRoundClip(IRenderContext* context, const UiRect& rect, int width,
                               int height) = 0;
  virtual void ClearClip(IRenderContext* context) = 0;
};

class IRenderContext : public nbase::SupportWeakCallback {
 public:
  virtual ~IRenderContext() = default;

  // False and nothing else when the size is unchanged; otherwise a fresh,
  // cleared bitmap (the result of InitBitmap).
  virtual bool Resize(int width, int height, bool flip = true) = 0;
  virtual void Clear() = 0;
  virtual std::unique_ptr<IRenderContext> Clone() = 0;
  // Hands the pixels to the caller; the context is left without a bitmap.
  virtual std::shared_ptr<PixelImage> DetachBitmap() = 0;
  // The pixels drawn so far, up to date (null without a bitmap): what a
  // window presents, or the source of a blit into another context. Valid
  // until the next Resize or DetachBitmap.
  virtual PixelImage* GetPixelImage() = 0;
  virtual uint8_t* GetBits() = 0;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  virtual void ClearAlpha(const UiRect& rect, uint8_t value) = 0;
  virtual void RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key) = 0;

  virtual bool IsRenderTransparent() const = 0;
  virtual bool SetRenderTransparent(bool transparent) = 0;

  // One saved slot: Restore returns to the state of the last Save.
  virtual void Save() = 0;
  virtual void Restore() = 0;

  virtual CPoint OffsetWindowOrg(const CPoint& offset) = 0;
  virtual CPoint SetWindowOrg(const CPoint& origin) = 0;
  virtual CPoint GetWindowOrg() const = 0;

  virtual void SetClip(const UiRect& rect) = 0;
  virtual void SetRoundClip(const UiRect& rect, int width, int height) = 0;
  virtual void ClearClip() = 0;

  // Copies (replacing alpha too) from `source`'s pixels at (src_x, src_y).
  // `source` may be another context's pixels (GetPixelImage).
  virtual bool BitBlt(int x, int y, int width, int height, const PixelImage* source, int src_x,
                      int src_y) = 0;
  // Per-pixel alpha blend with the constant alpha, stretching the source rect.
  virtual bool AlphaBlend(int x, int y, int width, int height, const PixelImage* source, int src_x,
                          int src_y, int src_width, int src_height, uint8_t alpha = 255) = 0;
  // Nine-slice drawing: `corner` holds the four inset widths in source pixels.
  virtual void DrawImage(const UiRect& paint_rect, const PixelImage* frame, bool has_alpha,
                         const UiRect& dest, const UiRect& source, const UiRect& corner,
                         uint8_t fade = 255, bool xtiled = false, bool ytiled = false) = 0;

  virtual void DrawColor(const UiRect& rect, const std::wstring& color_name, uint8_t alpha) = 0;
  virtual void DrawColor(const UiRect& rect, uint32_t color, uint8_t alpha = 255) = 0;
  virtual void DrawLine(const IPen* pen, int x1, int y1, int x2, int y2) = 0;
  virtual void DrawLine(const UiRect& rect, int width, uint32_t color) = 0;
  virtual void DrawBezier(const IPen* pen, int x1, int y1, int x2, int y2, int x3, int y3, int x4,
                          int y4) = 0;
  virtual void DrawRect(const UiRect& rect, int width, uint32_t color) = 0;
  virtual void DrawText(const UiRect& rect, const std::wstring& text, uint32_t color,
                        int font_index, uint32_t style, uint8_t fade = 255,
                        bool line_limit = false) = 0;
  virtual void DrawEllipse(const UiRect& rect, int width, uint32_t color) = 0;
  virtual void FillEllipse(const UiRect& rect, uint32_t color) = 0;
  virtual UiRect MeasureText(const std::wstring& text, int font_index, uint32_t style,
                             int width = -1) = 0;
  virtual void DrawPath(const IPath* path, const IPen* pen) = 0;
  virtual void FillPath(const IPath* path, const IBrush* brush) = 0;
};

class IRenderFactory {
 public:
  virtual ~IRenderFactory() = default;
  virtual std::unique_ptr<IPen> CreatePen(uint32_t color, int width = 1) = 0;
  // A brush that tiles `bitmap`; the brush keeps it.
  virtual std::unique_ptr<IBrush> CreateBrush(std::shared_ptr<PixelImage> bitmap) = 0;
  virtual std::unique_ptr<IBrush> CreateBrush(uint32_t color) = 0;
  virtual std::unique_ptr<IMatrix> CreateMatrix() = 0;
  virtual std::unique_ptr<IPath> CreatePath() = 0;
  virtual std::unique_ptr<IBitmap> CreateBitmap() = 0;
  virtual std::unique_ptr<IRenderContext> CreateRenderContext() = 0;
};

// The factory of the target's back end (Cairo on Linux, GDI+ on Windows).
std::unique_ptr<IRenderFactory> CreateRenderFactory();

// The back end's process-wide library (GDI+ on Windows; Cairo needs nothing).
// It also starts by itself on first use. Stop belongs to the end of an
// orderly shutdown, when no pen, brush, path or matrix is left.
void StartRenderBackEnd();
void StopRenderBackEnd();

// Clips a render context for the life of the guard.
class AutoClip {
 public:
  AutoClip(IRenderContext* context, const UiRect& rect, bool enabled = true);
  AutoClip(IRenderContext* context, const UiRect& rect, int round_width, int round_height,
           bool enabled = true);
  ~AutoClip();
  AutoClip(const AutoClip&) = delete;
  AutoClip& operator=(const AutoClip&) = delete;

 private:
  IRenderContext* context_;
  bool clipped_;
};

}  // namespace ui
