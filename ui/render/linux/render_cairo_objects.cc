// Pens, brushes, matrices, paths, bitmaps, clips and the factory of the Cairo
// back end.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "ui/render/linux/render_cairo.h"

namespace ui {

namespace {

double ToRadians(double degrees) {
  return degrees * std::numbers::pi / 180.0;
}

cairo_line_cap_t ToCairoCap(int cap) {
  switch (cap) {
    case IPen::kLineCapSquare:
      return CAIRO_LINE_CAP_SQUARE;
    case IPen::kLineCapRound:
    case IPen::kLineCapTriangle:  // no pointed cap in Cairo; round is the closest
      return CAIRO_LINE_CAP_ROUND;
    default:
      return CAIRO_LINE_CAP_BUTT;
  }
}

cairo_line_join_t ToCairoJoin(IPen::LineJoin join) {
  switch (join) {
    case IPen::kLineJoinBevel:
      return CAIRO_LINE_JOIN_BEVEL;
    case IPen::kLineJoinRound:
      return CAIRO_LINE_JOIN_ROUND;
    default:
      return CAIRO_LINE_JOIN_MITER;
  }
}

// Rounded rectangle from (x, y) with size (w, h) whose corners are quarter
// ellipses of the given full width and height.
void RoundRectPath(cairo_t* cr, double x, double y, double w, double h, double ew, double eh) {
  double rx = std::min(ew, w) / 2.0;
  double ry = std::min(eh, h) / 2.0;
  if (rx <= 0 || ry <= 0) {
    cairo_rectangle(cr, x, y, w, h);
    return;
  }
  auto corner = [cr, rx, ry](double cx, double cy, double from, double to) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, from, to);
    cairo_restore(cr);
  };
  const double pi = std::numbers::pi;
  cairo_new_sub_path(cr);
  corner(x + w - rx, y + ry, -pi / 2, 0);
  corner(x + w - rx, y + h - ry, 0, pi / 2);
  corner(x + rx, y + h - ry, pi / 2, pi);
  corner(x + rx, y + ry, pi, 3 * pi / 2);
  cairo_close_path(cr);
}

// Parametric angle of the point where a ray at `degrees` meets an ellipse
// with half-axes a and b: arcs are given in true angles.
double EllipseParameter(double degrees, double a, double b) {
  double theta = ToRadians(degrees);
  return std::atan2(a * std::sin(theta), b * std::cos(theta));
}

}  // namespace

// ---- Pen ----

PenCairo::PenCairo(uint32_t color, int width) : IPen(color), width_(width) {}

std::unique_ptr<IPen> PenCairo::Clone() const {
  return std::make_unique<PenCairo>(*this);
}

void PenCairo::ApplyStroke(cairo_t* cr) const {
  cairo_set_line_width(cr, width_);
  cairo_set_line_join(cr, ToCairoJoin(line_join_));
  // Cairo has one cap for both ends and every dash.
  bool dashed = dash_style_ != kDashStyleSolid;
  cairo_set_line_cap(cr, ToCairoCap(dashed ? static_cast<int>(dash_cap_) : start_cap_));
  if (!dashed) {
    cairo_set_dash(cr, nullptr, 0, 0);
    return;
  }
  // Dash lengths are in pen widths.
  static const double kDash[] = {3, 1};
  static const double kDot[] = {1, 1};
  static const double kDashDot[] = {3, 1, 1, 1};
  static const double kDashDotDot[] = {3, 1, 1, 1, 1, 1};
  const double* pattern = kDash;
  int count = 2;
  switch (dash_style_) {
    case kDashStyleDot:
      pattern = kDot;
      break;
    case kDashStyleDashDot:
      pattern = kDashDot, count = 4;
      break;
    case kDashStyleDashDotDot:
      pattern = kDashDotDot, count = 6;
      break;
    default:
      break;
  }
  double unit = width_ > 0 ? width_ : 1.0;
  double scaled[6];
  for (int i = 0; i < count; ++i) scaled[i] = pattern[i] * unit;
  cairo_set_dash(cr, scaled, count, 0);
}

// ---- Brush ----

namespace {

cairo_pattern_t* SolidPattern(uint32_t color) {
  return cairo_pattern_create_rgba(((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                                   (color & 0xFF) / 255.0, ((color >> 24) & 0xFF) / 255.0);
}

}  // namespace

BrushCairo::BrushCairo(uint32_t color) : IBrush(color), pattern_(SolidPattern(color)) {}

BrushCairo::BrushCairo(std::shared_ptr<PixelImage> bitmap) : IBrush(0) {
  if (!bitmap) return;
  texture_ = std::move(bitmap);
  pattern_ = cairo_pattern_create_for_surface(CairoSurfaceOf(*texture_));
  cairo_pattern_set_extend(pattern_, CAIRO_EXTEND_REPEAT);
}

BrushCairo::~BrushCairo() {
  if (pattern_) cairo_pattern_destroy(pattern_);
}

std::unique_ptr<IBrush> BrushCairo::Clone() const {
  auto clone = std::make_unique<BrushCairo>(std::shared_ptr<PixelImage>());
  clone->color_ = color_;
  // Patterns are never changed after creation, so the clone may share one.
  if (pattern_) clone->pattern_ = cairo_pattern_reference(pattern_);
  clone->texture_ = texture_;
  return clone;
}

// ---- Matrix ----

MatrixCairo::MatrixCairo() {
  cairo_matrix_init_identity(&matrix_);
}

void MatrixCairo::Translate(int dx, int dy) {
  cairo_matrix_translate(&matrix_, dx, dy);
}

void MatrixCairo::Scale(int sx, int sy) {
  cairo_matrix_scale(&matrix_, sx, sy);
}

void MatrixCairo::Rotate(float degrees) {
  cairo_matrix_rotate(&matrix_, ToRadians(degrees));
}

void MatrixCairo::RotateAt(float degrees, const CPoint& center) {
  cairo_matrix_translate(&matrix_, center.x, center.y);
  cairo_matrix_rotate(&matrix_, ToRadians(degrees));
  cairo_matrix_translate(&matrix_, -center.x, -center.y);
}

// ---- Path ----

PathCairo::PathCairo() {
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  cr_ = cairo_create(scratch);
  cairo_surface_destroy(scratch);
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
}

PathCairo::~PathCairo() {
  cairo_destroy(cr_);
}

namespace {

// Copies the current path of `from` into `to`, keeping whether a figure is open.
void CopyPath(cairo_t* from, cairo_t* to, const cairo_matrix_t* transform) {
  bool open = cairo_has_current_point(from);
  cairo_path_t* path = cairo_copy_path(from);
  if (transform) {
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
      for (int j = 1; j < path->data[i].header.length; ++j) {
        cairo_matrix_transform_point(transform, &path->data[i + j].point.x,
                                     &path->data[i + j].point.y);
      }
    }
  }
  cairo_new_path(to);
  cairo_append_path(to, path);
  cairo_path_destroy(path);
  if (!open) cairo_new_sub_path(to);
}

}  // namespace

std::unique_ptr<IPath> PathCairo::Clone() const {
  auto clone = std::make_unique<PathCairo>();
  CopyPath(cr_, clone->cr_, nullptr);
  clone->SetFillMode(fill_mode_);
  return clone;
}

void PathCairo::Reset() {
  cairo_new_path(cr_);
}

void PathCairo::SetFillMode(FillMode mode) {
  fill_mode_ = mode;
  cairo_set_fill_rule(
      cr_, mode == kFillModeWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
}

void PathCairo::StartFigure() {
  cairo_new_sub_path(cr_);
}

void PathCairo::CloseFigure() {
  if (cairo_has_current_point(cr_)) cairo_close_path(cr_);
  cairo_new_sub_path(cr_);
}

void PathCairo::ClosedFigure() {
  cairo_close_path(cr_);
  cairo_new_sub_path(cr_);
}

void PathCairo::ConnectTo(double x, double y) {
  if (cairo_has_current_point(cr_)) {
    cairo_line_to(cr_, x, y);
  } else {
    cairo_move_to(cr_, x, y);
  }
}

void PathCairo::AddLine(int x1, int y1, int x2, int y2) {
  ConnectTo(x1, y1);
  cairo_line_to(cr_, x2, y2);
}

void PathCairo::AddLines(const CPoint* points, int count) {
  if (!points || count < 1) return;
  ConnectTo(points[0].x, points[0].y);
  for (int i = 1; i < count; ++i) cairo_line_to(cr_, points[i].x, points[i].y);
}

void PathCairo::AddBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  ConnectTo(x1, y1);
  cairo_curve_to(cr_, x2, y2, x3, y3, x4, y4);
}

void PathCairo::AddCurve(const CPoint* points, int count) {
  if (!points || count < 2) return;
  // Cardinal spline of tension 0.5 through every point, as Bezier segments.
  constexpr double kTension = 0.5;
  auto at = [points, count](int i) { return points[std::clamp(i, 0, count - 1)]; };
  ConnectTo(points[0].x, points[0].y);
  for (int i = 0; i + 1 < count; ++i) {
    CPoint p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
    double c1x = p1.x + (p2.x - p0.x) * kTension / 3.0;
    double c1y = p1.y + (p2.y - p0.y) * kTension / 3.0;
    double c2x = p2.x - (p3.x - p1.x) * kTension / 3.0;
    double c2y = p2.y - (p3.y - p1.y) * kTension / 3.0;
    cairo_curve_to(cr_, c1x, c1y, c2x, c2y, p2.x, p2.y);
  }
}

void PathCairo::AddRect(const UiRect& rect) {
  AddRect(rect.left, rect.top, rect.right, rect.bottom);
}

void PathCairo::AddRect(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  cairo_new_sub_path(cr_);
  cairo_rectangle(cr_, left, top, right - left, bottom - top);
  ClosedFigure();
}

void PathCairo::AddEllipse(const UiRect& rect) {
  AddEllipse(rect.left, rect.top, rect.right, rect.bottom);
}

void PathCairo::AddEllipse(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  cairo_new_sub_path(cr_);
  EllipticArc(left, top, right - left, bottom - top, 0, 360);
  ClosedFigure();
}

void PathCairo::EllipticArc(double x, double y, double width, double height, double start_angle,
                            double sweep_angle) {
  double a = width / 2.0, b = height / 2.0;
  double from = EllipseParameter(start_angle, a, b);
  double to;
  if (std::fabs(sweep_angle) >= 360.0) {
    to = from + std::copysign(2 * std::numbers::pi, sweep_angle);
  } else {
    to = EllipseParameter(start_angle + sweep_angle, a, b);
    if (sweep_angle >= 0) {
      while (to < from) to += 2 * std::numbers::pi;
    } else {
      while (to > from) to -= 2 * std::numbers::pi;
    }
  }
  cairo_save(cr_);
  cairo_translate(cr_, x + a, y + b);
  cairo_scale(cr_, a, b);
  if (sweep_angle >= 0) {
    cairo_arc(cr_, 0, 0, 1, from, to);
  } else {
    cairo_arc_negative(cr_, 0, 0, 1, from, to);
  }
  cairo_restore(cr_);
}

void PathCairo::AddArc(int x, int y, int width, int height, float start_angle, float sweep_angle) {
  if (width <= 0 || height <= 0) return;
  EllipticArc(x, y, width, height, start_angle, sweep_angle);
}

void PathCairo::AddPie(int x, int y, int width, int height, float start_angle, float sweep_angle) {
  if (width <= 0 || height <= 0) return;
  cairo_new_sub_path(cr_);
  cairo_move_to(cr_, x + width / 2.0, y + height / 2.0);
  EllipticArc(x, y, width, height, start_angle, sweep_angle);
  ClosedFigure();
}

void PathCairo::AddPolygon(const CPoint* points, int count) {
  if (!points || count < 1) return;
  cairo_new_sub_path(cr_);
  cairo_move_to(cr_, points[0].x, points[0].y);
  for (int i = 1; i < count; ++i) cairo_line_to(cr_, points[i].x, points[i].y);
  ClosedFigure();
}

UiRect PathCairo::GetBounds(const IPen* pen) const {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  if (auto* cairo_pen = dynamic_cast<const PenCairo*>(pen)) {
    cairo_save(cr_);
    cairo_pen->ApplyStroke(cr_);
    cairo_stroke_extents(cr_, &x1, &y1, &x2, &y2);
    cairo_restore(cr_);
  } else {
    cairo_path_extents(cr_, &x1, &y1, &x2, &y2);
  }
  return UiRect(static_cast<int>(std::floor(x1)), static_cast<int>(std::floor(y1)),
                static_cast<int>(std::ceil(x2)), static_cast<int>(std::ceil(y2)));
}

bool PathCairo::ContainsPoint(int x, int y) const {
  return cairo_in_fill(cr_, x, y);
}

bool PathCairo::StrokeContainsPoint(int x, int y, const IPen* pen) const {
  cairo_save(cr_);
  if (auto* cairo_pen = dynamic_cast<const PenCairo*>(pen)) {
    cairo_pen->ApplyStroke(cr_);
  } else {
    cairo_set_line_width(cr_, 1.0);
  }
  bool inside = cairo_in_stroke(cr_, x, y);
  cairo_restore(cr_);
  return inside;
}

void PathCairo::Transform(const IMatrix* matrix) {
  auto* cairo_matrix = dynamic_cast<const MatrixCairo*>(matrix);
  if (!cairo_matrix) return;
  CopyPath(cr_, cr_, &cairo_matrix->matrix());
}

void PathCairo::AppendTo(cairo_t* cr) const {
  CopyPath(cr_, cr, nullptr);
  cairo_set_fill_rule(
      cr, fill_mode_ == kFillModeWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
}

// ---- Bitmap ----

BitmapCairo::~BitmapCairo() {
  Reset();
}

void BitmapCairo::Reset() {
  image_.reset();
  surface_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = 0;
}

bool BitmapCairo::InitBitmap(int width, int height, bool /*flip*/) {
  Reset();
  std::shared_ptr<PixelImage> image = PixelImage::Create(width, height);
  if (!image) return false;
  cairo_surface_t* surface = CairoSurfaceOf(*image);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return false;
  image_ = std::move(image);
  surface_ = surface;
  bits_ = image_->GetData();
  width_ = width;
  height_ = height;
  return true;
}

void BitmapCairo::Clear() {
  if (!bits_) return;
  cairo_surface_flush(surface_);
  image_->Clear();
  cairo_surface_mark_dirty(surface_);
}

std::shared_ptr<PixelImage> BitmapCairo::DetachBitmap() {
  if (surface_) cairo_surface_flush(surface_);
  std::shared_ptr<PixelImage> image = std::move(image_);
  Reset();
  return image;
}

uint8_t* BitmapCairo::GetBits() {
  if (surface_) cairo_surface_flush(surface_);
  return bits_;
}

void BitmapCairo::ClearAlpha(const UiRect& rect, uint8_t value) {
  if (!bits_) return;
  cairo_surface_flush(surface_);
  image_->ClearAlpha(rect, value);
  cairo_surface_mark_dirty(surface_);
}

void BitmapCairo::RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key) {
  if (!bits_) return;
  cairo_surface_flush(surface_);
  image_->RestoreAlpha(rect, padding, key);
  cairo_surface_mark_dirty(surface_);
}

// ---- Surfaces over pixel images ----

namespace {

class CairoSurfaceData : public PixelImage::BackendData {
 public:
  explicit CairoSurfaceData(cairo_surface_t* surface) : surface_(surface) {}
  ~CairoSurfaceData() override {
    // A reference kept elsewhere must not reach the freed pixels.
    cairo_surface_finish(surface_);
    cairo_surface_destroy(surface_);
  }
  cairo_surface_t* surface() const { return surface_; }

 private:
  cairo_surface_t* surface_;
};

// The context a clip works on: only this back end's contexts have one.
cairo_t* CairoOf(IRenderContext* context) {
  auto* cairo_context = dynamic_cast<RenderContextCairo*>(context);
  return cairo_context ? cairo_context->cairo() : nullptr;
}

}  // namespace

cairo_surface_t* CairoSurfaceOf(const PixelImage& image) {
  if (auto* data = dynamic_cast<CairoSurfaceData*>(image.GetBackendData())) return data->surface();
  // Cairo only reads a source; the const of the image is the caller's.
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      const_cast<uint8_t*>(image.GetData()), CAIRO_FORMAT_ARGB32, image.GetWidth(),
      image.GetHeight(), image.GetStride());
  image.SetBackendData(std::make_unique<CairoSurfaceData>(surface));
  return surface;
}

// ---- Clip ----

void ClipCairo::CreateClip(IRenderContext* context, const UiRect& rect) {
  cairo_t* cr = CairoOf(context);
  if (!cr) return;
  cairo_save(cr);
  cairo_new_path(cr);
  if (rect.IsRectEmpty()) {
    cairo_rectangle(cr, 0, 0, 0, 0);
  } else {
    cairo_rectangle(cr, rect.left, rect.top, rect.GetWidth(), rect.GetHeight());
  }
  cairo_clip(cr);
}

void ClipCairo::CreateRoundClip(IRenderContext* context, const UiRect& rect, int width,
                                int height) {
  cairo_t* cr = CairoOf(context);
  if (!cr) return;
  cairo_save(cr);
  cairo_new_path(cr);
  if (rect.right < rect.left || rect.bottom < rect.top) {
    cairo_rectangle(cr, 0, 0, 0, 0);
  } else {
    // The region includes its right and bottom edge.
    RoundRectPath(cr, rect.left, rect.top, rect.GetWidth() + 1, rect.GetHeight() + 1, width,
                  height);
  }
  cairo_clip(cr);
}

void ClipCairo::ClearClip(IRenderContext* context) {
  if (cairo_t* cr = CairoOf(context)) cairo_restore(cr);
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

std::unique_ptr<IPen> RenderFactoryCairo::CreatePen(uint32_t color, int width) {
  return std::make_unique<PenCairo>(color, width);
}

std::unique_ptr<IBrush> RenderFactoryCairo::CreateBrush(std::shared_ptr<PixelImage> bitmap) {
  return std::make_unique<BrushCairo>(std::move(bitmap));
}

std::unique_ptr<IBrush> RenderFactoryCairo::CreateBrush(uint32_t color) {
  return std::make_unique<BrushCairo>(color);
}

std::unique_ptr<IMatrix> RenderFactoryCairo::CreateMatrix() {
  return std::make_unique<MatrixCairo>();
}

std::unique_ptr<IPath> RenderFactoryCairo::CreatePath() {
  return std::make_unique<PathCairo>();
}

std::unique_ptr<IBitmap> RenderFactoryCairo::CreateBitmap() {
  return std::make_unique<BitmapCairo>();
}

std::unique_ptr<IRenderContext> RenderFactoryCairo::CreateRenderContext() {
  return std::make_unique<RenderContextCairo>();
}

std::unique_ptr<IRenderFactory> CreateRenderFactory() {
  return std::make_unique<RenderFactoryCairo>();
}

void StartRenderBackEnd() {}

void StopRenderBackEnd() {}

}  // namespace ui
