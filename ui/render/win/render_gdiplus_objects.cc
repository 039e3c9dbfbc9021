// Pens, brushes, matrices, paths, bitmaps, clips and the factory of the GDI+
// back end.

#include <algorithm>
#include <cmath>

#include "ui/render/win/gdi_pixels.h"
#include "ui/render/win/gdiplus_session.h"
#include "ui/render/win/render_gdiplus.h"

namespace ui {

namespace gp = Gdiplus::DllExports;

namespace {

// GDI+ runs its own bounds checks; counts below 1 mean no points at all.
bool HasPoints(const CPoint* points, int count) {
  return points && count >= 1;
}

// CPoint is two ints, as GDI+'s integer point is.
const Gdiplus::GpPoint* AsGpPoints(const CPoint* points) {
  static_assert(sizeof(CPoint) == sizeof(Gdiplus::GpPoint));
  return reinterpret_cast<const Gdiplus::GpPoint*>(points);
}

}  // namespace

// ---- Pen ----

Pen_GdiPlus::Pen_GdiPlus(uint32_t color, int width) : IPen(color) {
  status_ = gp::GdipCreatePen1(color, static_cast<Gdiplus::REAL>(width), Gdiplus::UnitWorld, &pen_);
}

Pen_GdiPlus::~Pen_GdiPlus() {
  if (pen_) gp::GdipDeletePen(pen_);
}

std::unique_ptr<IPen> Pen_GdiPlus::Clone() const {
  std::unique_ptr<Pen_GdiPlus> clone(new Pen_GdiPlus(color_));
  if (pen_) clone->status_ = gp::GdipClonePen(pen_, &clone->pen_);
  return clone;
}

void Pen_GdiPlus::SetWidth(int width) {
  status_ = gp::GdipSetPenWidth(pen_, static_cast<Gdiplus::REAL>(width));
}

int Pen_GdiPlus::GetWidth() const {
  Gdiplus::REAL width = 0;
  status_ = gp::GdipGetPenWidth(pen_, &width);
  return static_cast<int>(width);
}

void Pen_GdiPlus::SetColor(uint32_t color) {
  color_ = color;
  status_ = gp::GdipSetPenColor(pen_, color);
}

void Pen_GdiPlus::SetStartCap(LineCap cap) {
  status_ = gp::GdipSetPenStartCap(pen_, static_cast<Gdiplus::GpLineCap>(cap));
}

void Pen_GdiPlus::SetEndCap(LineCap cap) {
  status_ = gp::GdipSetPenEndCap(pen_, static_cast<Gdiplus::GpLineCap>(cap));
}

void Pen_GdiPlus::SetDashCap(DashCap cap) {
  status_ = gp::GdipSetPenDashCap197819(pen_, static_cast<Gdiplus::GpDashCap>(cap));
}

IPen::LineCap Pen_GdiPlus::GetStartCap() const {
  Gdiplus::GpLineCap cap = Gdiplus::LineCapFlat;
  status_ = gp::GdipGetPenStartCap(pen_, &cap);
  return static_cast<LineCap>(cap);
}

IPen::LineCap Pen_GdiPlus::GetEndCap() const {
  Gdiplus::GpLineCap cap = Gdiplus::LineCapFlat;
  status_ = gp::GdipGetPenEndCap(pen_, &cap);
  return static_cast<LineCap>(cap);
}

IPen::DashCap Pen_GdiPlus::GetDashCap() const {
  Gdiplus::GpDashCap cap = Gdiplus::DashCapFlat;
  status_ = gp::GdipGetPenDashCap197819(pen_, &cap);
  return static_cast<DashCap>(cap);
}

void Pen_GdiPlus::SetLineJoin(LineJoin join) {
  status_ = gp::GdipSetPenLineJoin(pen_, static_cast<Gdiplus::GpLineJoin>(join));
}

IPen::LineJoin Pen_GdiPlus::GetLineJoin() const {
  Gdiplus::GpLineJoin join = Gdiplus::LineJoinMiter;
  status_ = gp::GdipGetPenLineJoin(pen_, &join);
  return static_cast<LineJoin>(join);
}

void Pen_GdiPlus::SetDashStyle(DashStyle style) {
  status_ = gp::GdipSetPenDashStyle(pen_, static_cast<Gdiplus::GpDashStyle>(style));
}

IPen::DashStyle Pen_GdiPlus::GetDashStyle() const {
  Gdiplus::GpDashStyle style = Gdiplus::DashStyleSolid;
  status_ = gp::GdipGetPenDashStyle(pen_, &style);
  return static_cast<DashStyle>(style);
}

// ---- Brush ----

Brush_Gdiplus::Brush_Gdiplus(uint32_t color) : IBrush(color) {
  gp::GdipCreateSolidFill(color, &solid_);
}

Brush_Gdiplus::Brush_Gdiplus(std::shared_ptr<PixelImage> bitmap) : IBrush(0) {
  if (!bitmap) return;
  // The texture keeps a copy of the pixels; the wrapper over the image's
  // memory goes at once.
  if (Gdiplus::GpBitmap* source = WrapInGdiplusBitmap(*bitmap)) {
    gp::GdipCreateTexture(source, Gdiplus::WrapModeTile, &texture_);
    gp::GdipDisposeImage(source);
  }
}

Brush_Gdiplus::~Brush_Gdiplus() {
  if (solid_) gp::GdipDeleteBrush(solid_);
  if (texture_) gp::GdipDeleteBrush(texture_);
}

std::unique_ptr<IBrush> Brush_Gdiplus::Clone() const {
  auto clone = std::make_unique<Brush_Gdiplus>(std::shared_ptr<PixelImage>());
  clone->color_ = color_;
  Gdiplus::GpBrush* copy = nullptr;
  if (solid_ && gp::GdipCloneBrush(solid_, &copy) == Gdiplus::Ok) {
    clone->solid_ = static_cast<Gdiplus::GpSolidFill*>(copy);
  }
  copy = nullptr;
  if (texture_ && gp::GdipCloneBrush(texture_, &copy) == Gdiplus::Ok) {
    clone->texture_ = static_cast<Gdiplus::GpTexture*>(copy);
  }
  return clone;
}

Gdiplus::GpBrush* Brush_Gdiplus::brush() const {
  if (solid_) return solid_;
  return texture_;
}

// ---- Matrix ----

Matrix_Gdiplus::Matrix_Gdiplus() {
  status_ = gp::GdipCreateMatrix(&matrix_);
}

Matrix_Gdiplus::~Matrix_Gdiplus() {
  if (matrix_) gp::GdipDeleteMatrix(matrix_);
}

void Matrix_Gdiplus::Translate(int dx, int dy) {
  status_ = gp::GdipTranslateMatrix(matrix_, static_cast<Gdiplus::REAL>(dx),
                                    static_cast<Gdiplus::REAL>(dy), Gdiplus::MatrixOrderPrepend);
}

void Matrix_Gdiplus::Scale(int sx, int sy) {
  status_ = gp::GdipScaleMatrix(matrix_, static_cast<Gdiplus::REAL>(sx),
                                static_cast<Gdiplus::REAL>(sy), Gdiplus::MatrixOrderPrepend);
}

void Matrix_Gdiplus::Rotate(float degrees) {
  status_ = gp::GdipRotateMatrix(matrix_, degrees, Gdiplus::MatrixOrderPrepend);
}

void Matrix_Gdiplus::RotateAt(float degrees, const CPoint& center) {
  Translate(center.x, center.y);
  Rotate(degrees);
  Translate(-center.x, -center.y);
}

// ---- Path ----

Path_Gdiplus::Path_Gdiplus() {
  status_ = gp::GdipCreatePath(Gdiplus::FillModeAlternate, &path_);
}

Path_Gdiplus::~Path_Gdiplus() {
  if (path_) gp::GdipDeletePath(path_);
}

std::unique_ptr<IPath> Path_Gdiplus::Clone() const {
  auto clone = std::make_unique<Path_Gdiplus>();
  Gdiplus::GpPath* copy = nullptr;
  if (path_ && gp::GdipClonePath(path_, &copy) == Gdiplus::Ok) {
    if (clone->path_) gp::GdipDeletePath(clone->path_);
    clone->path_ = copy;
  }
  return clone;
}

void Path_Gdiplus::Reset() {
  status_ = gp::GdipResetPath(path_);
}

void Path_Gdiplus::SetFillMode(FillMode mode) {
  status_ = gp::GdipSetPathFillMode(path_, static_cast<Gdiplus::GpFillMode>(mode));
}

IPath::FillMode Path_Gdiplus::GetFillMode() const {
  Gdiplus::GpFillMode mode = Gdiplus::FillModeAlternate;
  status_ = gp::GdipGetPathFillMode(path_, &mode);
  return static_cast<FillMode>(mode);
}

void Path_Gdiplus::StartFigure() {
  status_ = gp::GdipStartPathFigure(path_);
}

void Path_Gdiplus::CloseFigure() {
  status_ = gp::GdipClosePathFigure(path_);
}

void Path_Gdiplus::AddLine(int x1, int y1, int x2, int y2) {
  status_ = gp::GdipAddPathLineI(path_, x1, y1, x2, y2);
}

void Path_Gdiplus::AddLines(const CPoint* points, int count) {
  if (!HasPoints(points, count)) return;
  status_ = gp::GdipAddPathLine2I(path_, AsGpPoints(points), count);
}

void Path_Gdiplus::AddBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  status_ = gp::GdipAddPathBezierI(path_, x1, y1, x2, y2, x3, y3, x4, y4);
}

void Path_Gdiplus::AddCurve(const CPoint* points, int count) {
  if (!HasPoints(points, count)) return;
  status_ = gp::GdipAddPathCurveI(path_, AsGpPoints(points), count);
}

void Path_Gdiplus::AddRect(const UiRect& rect) {
  AddRect(rect.left, rect.top, rect.right, rect.bottom);
}

void Path_Gdiplus::AddRect(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  status_ = gp::GdipAddPathRectangleI(path_, left, top, right - left, bottom - top);
}

void Path_Gdiplus::AddEllipse(const UiRect& rect) {
  AddEllipse(rect.left, rect.top, rect.right, rect.bottom);
}

void Path_Gdiplus::AddEllipse(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  status_ = gp::GdipAddPathEllipseI(path_, left, top, right - left, bottom - top);
}

void Path_Gdiplus::AddArc(int x, int y, int width, int height, float start_angle,
                          float sweep_angle) {
  if (width <= 0 || height <= 0) return;
  status_ = gp::GdipAddPathArcI(path_, x, y, width, height, start_angle, sweep_angle);
}

void Path_Gdiplus::AddPie(int x, int y, int width, int height, float start_angle,
                          float sweep_angle) {
  if (width <= 0 || height <= 0) return;
  status_ = gp::GdipAddPathPieI(path_, x, y, width, height, start_angle, sweep_angle);
}

void Path_Gdiplus::AddPolygon(const CPoint* points, int count) {
  if (!HasPoints(points, count)) return;
  status_ = gp::GdipAddPathPolygonI(path_, AsGpPoints(points), count);
}

UiRect Path_Gdiplus::GetBounds(const IPen* pen) const {
  auto* gdi_pen = dynamic_cast<const Pen_GdiPlus*>(pen);
  Gdiplus::GpRectF bounds(0, 0, 0, 0);
  if (gdi_pen && gdi_pen->pen()) {
    // The outline the pen strokes, widened for real: GDI+'s own estimate
    // with a pen pads by the miter limit whatever the corners are.
    Gdiplus::GpPath* outline = nullptr;
    if (gp::GdipClonePath(path_, &outline) == Gdiplus::Ok) {
      if (gp::GdipWidenPath(outline, gdi_pen->pen(), nullptr, 0.25f) == Gdiplus::Ok) {
        status_ = gp::GdipGetPathWorldBounds(outline, &bounds, nullptr, nullptr);
      }
      gp::GdipDeletePath(outline);
    }
  } else {
    status_ = gp::GdipGetPathWorldBounds(path_, &bounds, nullptr, nullptr);
  }
  // GDI+ computes in floats: a rotated corner lands a hair off its pixel,
  // which must not widen the bounds by a whole one.
  constexpr double kSlack = 1e-3;
  auto low = [](double v) { return static_cast<int>(std::floor(v + kSlack)); };
  auto high = [](double v) { return static_cast<int>(std::ceil(v - kSlack)); };
  return UiRect(low(bounds.X), low(bounds.Y), high(double{bounds.X} + bounds.Width),
                high(double{bounds.Y} + bounds.Height));
}

bool Path_Gdiplus::ContainsPoint(int x, int y) const {
  BOOL inside = FALSE;
  status_ = gp::GdipIsVisiblePathPointI(path_, x, y, nullptr, &inside);
  return inside != FALSE;
}

bool Path_Gdiplus::StrokeContainsPoint(int x, int y, const IPen* pen) const {
  auto* gdi_pen = dynamic_cast<const Pen_GdiPlus*>(pen);
  // No pen: a line one pixel wide.
  Pen_GdiPlus thin(0xFF000000u, 1);
  Gdiplus::GpPen* stroke = gdi_pen && gdi_pen->pen() ? gdi_pen->pen() : thin.pen();
  BOOL inside = FALSE;
  status_ = gp::GdipIsOutlineVisiblePathPointI(path_, x, y, stroke, nullptr, &inside);
  return inside != FALSE;
}

void Path_Gdiplus::Transform(const IMatrix* matrix) {
  auto* gdi_matrix = dynamic_cast<const Matrix_Gdiplus*>(matrix);
  if (!gdi_matrix || !gdi_matrix->matrix()) return;
  status_ = gp::GdipTransformPath(path_, gdi_matrix->matrix());
}

// ---- Bitmap ----

void GdiBitmap::Reset() {
  image_.reset();
  width_ = height_ = 0;
}

bool GdiBitmap::InitBitmap(int width, int height, bool /*flip*/) {
  Reset();
  std::shared_ptr<PixelImage> image = CreateDibPixelImage(width, height);
  if (!image) return false;
  image_ = std::move(image);
  width_ = width;
  height_ = height;
  return true;
}

void GdiBitmap::Clear() {
  if (!image_) return;
  GdiFlush();
  image_->Clear();
}

std::shared_ptr<PixelImage> GdiBitmap::DetachBitmap() {
  GdiFlush();
  std::shared_ptr<PixelImage> image = std::move(image_);
  Reset();
  return image;
}

uint8_t* GdiBitmap::GetBits() {
  if (!image_) return nullptr;
  // GDI may still hold drawing in its batch.
  GdiFlush();
  return image_->GetData();
}

void GdiBitmap::ClearAlpha(const UiRect& rect, uint8_t value) {
  if (!image_) return;
  GdiFlush();
  image_->ClearAlpha(rect, value);
}

void GdiBitmap::RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key) {
  if (!image_) return;
  GdiFlush();
  image_->RestoreAlpha(rect, padding, key);
}

HBITMAP GdiBitmap::GetHBitmap() const {
  return image_ ? DibSectionOf(*image_) : nullptr;
}

// ---- Clip ----

namespace {

HDC DcOf(IRenderContext* context) {
  auto* gdi = dynamic_cast<RenderContext_GdiPlus*>(context);
  return gdi ? gdi->GetHDC() : nullptr;
}

// Regions are in device pixels: the rect moves by minus the window origin.
void IntersectClip(HDC dc, HRGN region) {
  if (!region) return;
  SaveDC(dc);
  ExtSelectClipRgn(dc, region, RGN_AND);
  DeleteObject(region);
}

}  // namespace

void GdiClip::CreateClip(IRenderContext* context, const UiRect& rect) {
  HDC dc = DcOf(context);
  if (!dc) return;
  POINT origin = {0, 0};
  GetWindowOrgEx(dc, &origin);
  // GDI would swap the sides of an inverted rect; an empty one clips all.
  UiRect device = rect.IsRectEmpty() ? UiRect() : rect;
  if (!rect.IsRectEmpty()) device.Offset(-origin.x, -origin.y);
  IntersectClip(dc, CreateRectRgn(device.left, device.top, device.right, device.bottom));
}

void GdiClip::CreateRoundClip(IRenderContext* context, const UiRect& rect, int width, int height) {
  HDC dc = DcOf(context);
  if (!dc) return;
  POINT origin = {0, 0};
  GetWindowOrgEx(dc, &origin);
  if (rect.right < rect.left || rect.bottom < rect.top) {
    IntersectClip(dc, CreateRectRgn(0, 0, 0, 0));
    return;
  }
  UiRect device = rect;
  device.Offset(-origin.x, -origin.y);
  // The region takes in the rect's right and bottom edge (column `right`,
  // row `bottom`), where a pen stroking the rect draws. GDI's round regions
  // end one pixel short of the right and bottom they are given: + 2.
  IntersectClip(dc, CreateRoundRectRgn(device.left, device.top, device.right + 2, device.bottom + 2,
                                       width, height));
}

void GdiClip::ClearClip(IRenderContext* context) {
  if (HDC dc = DcOf(context)) RestoreDC(dc, -1);
}

// ---- AutoClip ----

AutoClip::AutoClip(IRenderContext* context, const UiRect& rect, bool enabled)
    : context_(context), clipped_(enabled && context) {
  if (clipped_) context_->SetClip(rect);
}

AutoClip::AutoClip(IRenderContext* context, const UiRect& rect, int round_width, int round_height,
                   bool enabled)
    : context_(context), clipped_(enabled && context) {
  if (clipped_) context_->SetRoundClip(rect, round_width, round_height);
}

AutoClip::~AutoClip() {
  if (clipped_) context_->ClearClip();
}

// ---- Factory ----

RenderFactory_GdiPlus::RenderFactory_GdiPlus() {
  EnsureGdiplus();
}

std::unique_ptr<IPen> RenderFactory_GdiPlus::CreatePen(uint32_t color, int width) {
  return std::make_unique<Pen_GdiPlus>(color, width);
}

std::unique_ptr<IBrush> RenderFactory_GdiPlus::CreateBrush(std::shared_ptr<PixelImage> bitmap) {
  return std::make_unique<Brush_Gdiplus>(std::move(bitmap));
}

std::unique_ptr<IBrush> RenderFactory_GdiPlus::CreateBrush(uint32_t color) {
  return std::make_unique<Brush_Gdiplus>(color);
}

std::unique_ptr<IMatrix> RenderFactory_GdiPlus::CreateMatrix() {
  return std::make_unique<Matrix_Gdiplus>();
}

std::unique_ptr<IPath> RenderFactory_GdiPlus::CreatePath() {
  return std::make_unique<Path_Gdiplus>();
}

std::unique_ptr<IBitmap> RenderFactory_GdiPlus::CreateBitmap() {
  return std::make_unique<GdiBitmap>();
}

std::unique_ptr<IRenderContext> RenderFactory_GdiPlus::CreateRenderContext() {
  return std::make_unique<RenderContext_GdiPlus>();
}

std::unique_ptr<IRenderFactory> CreateRenderFactory() {
  return std::make_unique<RenderFactory_GdiPlus>();
}

Gdiplus::GpBitmap* WrapInGdiplusBitmap(const PixelImage& image) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  // GDI+ only reads a source; the const of the image is the caller's.
  if (gp::GdipCreateBitmapFromScan0(image.GetWidth(), image.GetHeight(), image.GetStride(),
                                    PixelFormat32bppPARGB, const_cast<uint8_t*>(image.GetData()),
                                    &bitmap) != Gdiplus::Ok) {
    return nullptr;
  }
  return bitmap;
}

}  // namespace ui
