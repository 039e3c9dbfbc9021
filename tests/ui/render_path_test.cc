// Pens, brushes, matrices and paths of the Cairo back end, and the shapes the
// render context strokes and fills with them.

#include <gtest/gtest.h>

#include <cmath>

#include "tests/ui/render_test_support.h"
#include "ui/render/linux/render_cairo.h"

namespace ui {
namespace {

using render_test::AlphaAt;
using render_test::MakeContext;
using render_test::PixelAt;

class RenderCairoPathTest : public ::testing::Test {
 protected:
  RenderFactoryCairo factory_;
};

TEST_F(RenderCairoPathTest, PenKeepsItsSettingsAndClonesIndependently) {
  auto pen = factory_.CreatePen(0xFF102030u, 3);
  EXPECT_EQ(pen->GetColor(), 0xFF102030u);
  EXPECT_EQ(pen->GetWidth(), 3);
  pen->SetStartCap(IPen::kLineCapRound);
  pen->SetEndCap(IPen::kLineCapTriangle);
  pen->SetDashCap(IPen::kDashCapRound);
  pen->SetLineJoin(IPen::kLineJoinBevel);
  pen->SetDashStyle(IPen::kDashStyleDashDot);
  auto clone = pen->Clone();
  pen->SetWidth(7);
  pen->SetColor(0x01020304u);
  EXPECT_EQ(pen->GetWidth(), 7);
  EXPECT_EQ(pen->GetColor(), 0x01020304u);
  EXPECT_EQ(clone->GetWidth(), 3);
  EXPECT_EQ(clone->GetColor(), 0xFF102030u);
  EXPECT_EQ(clone->GetStartCap(), IPen::kLineCapRound);
  EXPECT_EQ(clone->GetEndCap(), IPen::kLineCapTriangle);
  EXPECT_EQ(clone->GetDashCap(), IPen::kDashCapRound);
  EXPECT_EQ(clone->GetLineJoin(), IPen::kLineJoinBevel);
  EXPECT_EQ(clone->GetDashStyle(), IPen::kDashStyleDashDot);
}

TEST_F(RenderCairoPathTest, FillModeDecidesNestedFigures) {
  auto path = factory_.CreatePath();
  EXPECT_EQ(path->GetFillMode(), IPath::kFillModeAlternate);
  path->AddRect(0, 0, 30, 30);
  path->AddRect(UiRect(10, 10, 20, 20));
  EXPECT_TRUE(path->ContainsPoint(5, 5));
  EXPECT_FALSE(path->ContainsPoint(15, 15));  // the hole of the alternate rule
  EXPECT_FALSE(path->ContainsPoint(35, 5));
  path->SetFillMode(IPath::kFillModeWinding);
  EXPECT_EQ(path->GetFillMode(), IPath::kFillModeWinding);
  EXPECT_TRUE(path->ContainsPoint(15, 15));
  path->Reset();
  EXPECT_FALSE(path->ContainsPoint(5, 5));
}

TEST_F(RenderCairoPathTest, LinesJoinIntoOneFigureUntilStartFigure) {
  auto path = factory_.CreatePath();
  path->AddLine(0, 0, 20, 0);
  path->AddLine(20, 20, 0, 20);  // joined to the first line's end
  path->CloseFigure();
  EXPECT_TRUE(path->ContainsPoint(10, 10));

  auto apart = factory_.CreatePath();
  apart->AddLine(0, 0, 20, 0);
  apart->StartFigure();
  apart->AddLine(20, 20, 0, 20);
  EXPECT_FALSE(apart->ContainsPoint(10, 10));

  const CPoint triangle[] = {{0, 0}, {40, 0}, {0, 40}, {99, 99}};
  auto polygon = factory_.CreatePath();
  polygon->AddPolygon(triangle, 3);  // only the first three points
  EXPECT_TRUE(polygon->ContainsPoint(10, 10));
  EXPECT_FALSE(polygon->ContainsPoint(30, 30));
  polygon->AddPolygon(triangle, 0);
  polygon->AddLines(triangle, -1);
  EXPECT_EQ(polygon->GetBounds(nullptr), UiRect(0, 0, 40, 40));
}

TEST_F(RenderCairoPathTest, EllipsePieArcAndCurveShapes) {
  auto ellipse = factory_.CreatePath();
  ellipse->AddEllipse(0, 0, 40, 20);
  EXPECT_TRUE(ellipse->ContainsPoint(20, 10));
  EXPECT_FALSE(ellipse->ContainsPoint(2, 2));
  EXPECT_EQ(ellipse->GetBounds(nullptr), UiRect(0, 0, 40, 20));

  // Angles run clockwise from the x axis: 0..90 is the lower right quarter.
  auto pie = factory_.CreatePath();
  pie->AddPie(0, 0, 40, 40, 0, 90);
  EXPECT_TRUE(pie->ContainsPoint(28, 28));
  EXPECT_FALSE(pie->ContainsPoint(12, 12));
  EXPECT_FALSE(pie->ContainsPoint(28, 12));

  // An arc on a wide ellipse at 45 degrees ends on the 45-degree ray.
  auto arc = factory_.CreatePath();
  arc->AddArc(0, 0, 80, 40, 0, 45);
  auto pen = factory_.CreatePen(0xFF000000u, 2);
  double r = 40.0 * 20.0 / std::sqrt(40.0 * 40.0 / 2 + 20.0 * 20.0 / 2);
  int end_x = static_cast<int>(std::lround(40 + r / std::sqrt(2.0)));
  int end_y = static_cast<int>(std::lround(20 + r / std::sqrt(2.0)));
  EXPECT_TRUE(arc->StrokeContainsPoint(end_x, end_y, pen.get())) << end_x << "," << end_y;
  EXPECT_TRUE(arc->StrokeContainsPoint(80, 20, pen.get()));

  // The curve passes through every point.
  const CPoint points[] = {{0, 0}, {20, 30}, {40, 0}};
  auto curve = factory_.CreatePath();
  curve->AddCurve(points, 3);
  EXPECT_TRUE(curve->StrokeContainsPoint(20, 30, pen.get()));
  EXPECT_FALSE(curve->StrokeContainsPoint(20, 10, pen.get()));
  auto bezier = factory_.CreatePath();
  bezier->AddBezier(0, 0, 0, 40, 40, 40, 40, 0);
  EXPECT_TRUE(bezier->StrokeContainsPoint(20, 30, pen.get()));
}

TEST_F(RenderCairoPathTest, StrokeHitTestAndBoundsFollowThePenWidth) {
  auto path = factory_.CreatePath();
  path->AddRect(10, 10, 30, 20);
  auto pen = factory_.CreatePen(0xFF000000u, 4);
  EXPECT_EQ(path->GetBounds(nullptr), UiRect(10, 10, 30, 20));
  EXPECT_EQ(path->GetBounds(pen.get()), UiRect(8, 8, 32, 22));
  EXPECT_TRUE(path->StrokeContainsPoint(10, 15, pen.get()));
  EXPECT_TRUE(path->StrokeContainsPoint(11, 15, pen.get()));
  EXPECT_FALSE(path->StrokeContainsPoint(15, 15, pen.get()));
  EXPECT_FALSE(path->StrokeContainsPoint(5, 15, pen.get()));
  EXPECT_TRUE(path->StrokeContainsPoint(10, 15, nullptr));
}

TEST_F(RenderCairoPathTest, MatricesPrependAndTransformPaths) {
  auto path = factory_.CreatePath();
  path->AddRect(0, 0, 10, 10);
  auto matrix = factory_.CreateMatrix();
  matrix->Translate(5, 0);
  matrix->Scale(2, 2);  // applied first
  auto clone = path->Clone();
  path->Transform(matrix.get());
  EXPECT_EQ(path->GetBounds(nullptr), UiRect(5, 0, 25, 20));
  EXPECT_EQ(clone->GetBounds(nullptr), UiRect(0, 0, 10, 10));
  path->Transform(nullptr);
  EXPECT_EQ(path->GetBounds(nullptr), UiRect(5, 0, 25, 20));

  auto turned = factory_.CreatePath();
  turned->AddRect(0, 0, 20, 10);
  auto rotate = factory_.CreateMatrix();
  rotate->RotateAt(90, CPoint(10, 10));
  turned->Transform(rotate.get());
  EXPECT_EQ(turned->GetBounds(nullptr), UiRect(10, 0, 20, 20));

  auto spun = factory_.CreatePath();
  spun->AddRect(0, 0, 20, 10);
  auto quarter = factory_.CreateMatrix();
  quarter->Rotate(90);
  spun->Transform(quarter.get());
  EXPECT_EQ(spun->GetBounds(nullptr), UiRect(-10, 0, 0, 20));
}

TEST_F(RenderCairoPathTest, BrushesFillPathsWithColourOrTiles) {
  auto solid = factory_.CreateBrush(0xFF00FF00u);
  EXPECT_EQ(solid->GetColor(), 0xFF00FF00u);
  EXPECT_EQ(solid->GetBitmap(), nullptr);
  auto path = factory_.CreatePath();
  path->AddRect(0, 0, 4, 4);
  auto context = MakeContext(8, 8);
  context->FillPath(path.get(), solid->Clone().get());
  EXPECT_EQ(PixelAt(context.get(), 3, 3), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(context.get(), 4, 4), 0u);

  // A 2 x 1 texture, red then blue, repeats across the path.
  cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 1);
  cairo_t* cr = cairo_create(tile);
  cairo_set_source_rgb(cr, 1, 0, 0);
  cairo_rectangle(cr, 0, 0, 1, 1);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0, 0, 1);
  cairo_rectangle(cr, 1, 0, 1, 1);
  cairo_fill(cr);
  cairo_destroy(cr);
  auto textured = factory_.CreateBrush(tile);
  cairo_surface_destroy(tile);
  EXPECT_EQ(textured->GetColor(), 0u);
  auto row = factory_.CreatePath();
  row->AddRect(0, 6, 8, 7);
  context->FillPath(row.get(), textured.get());
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(PixelAt(context.get(), x, 6), x % 2 ? 0xFF0000FFu : 0xFFFF0000u) << x;
  }
  auto none = factory_.CreateBrush(static_cast<cairo_surface_t*>(nullptr));
  context->FillPath(row.get(), none.get());
}

TEST_F(RenderCairoPathTest, StrokedShapesLandOnWholePixels) {
  auto context = MakeContext(12, 12);
  context->DrawRect(UiRect(2, 2, 8, 8), 1, 0xFFFF0000u);
  for (auto [x, y] : {std::pair{2, 2}, {8, 2}, {2, 8}, {8, 8}, {5, 2}, {2, 5}}) {
    EXPECT_EQ(PixelAt(context.get(), x, y), 0xFFFF0000u) << x << "," << y;
  }
  EXPECT_EQ(PixelAt(context.get(), 5, 5), 0u);
  EXPECT_EQ(PixelAt(context.get(), 9, 9), 0u);
  EXPECT_EQ(PixelAt(context.get(), 1, 1), 0u);

  auto lines = MakeContext(12, 6);
  lines->DrawLine(UiRect(0, 3, 10, 3), 1, 0xFF0000FFu);
  EXPECT_EQ(PixelAt(lines.get(), 0, 3), 0xFF0000FFu);
  EXPECT_EQ(PixelAt(lines.get(), 9, 3), 0xFF0000FFu);
  EXPECT_EQ(AlphaAt(lines.get(), 5, 2), 0);
  EXPECT_EQ(AlphaAt(lines.get(), 5, 4), 0);

  // A dashed pen (6 on, 2 off at width 2) leaves gaps along the line.
  auto pen = std::make_unique<PenCairo>(0xFF00FF00u, 2);
  pen->SetDashStyle(IPen::kDashStyleDash);
  auto dashed = MakeContext(40, 4);
  dashed->DrawLine(pen.get(), 0, 1, 40, 1);
  int gaps = 0;
  for (int x = 0; x < 40; ++x) gaps += AlphaAt(dashed.get(), x, 1) < 64;
  EXPECT_GE(gaps, 8);
  EXPECT_LE(gaps, 12);
}

TEST_F(RenderCairoPathTest, EllipsesAndPathsPaintThroughTheContext) {
  auto context = MakeContext(40, 40);
  context->FillEllipse(UiRect(0, 0, 20, 20), 0xFFFF0000u);
  EXPECT_EQ(PixelAt(context.get(), 10, 10), 0xFFFF0000u);
  EXPECT_EQ(AlphaAt(context.get(), 1, 1), 0);
  context->DrawEllipse(UiRect(20, 20, 40, 40), 1, 0xFF0000FFu);
  EXPECT_EQ(AlphaAt(context.get(), 30, 30), 0);
  EXPECT_GT(AlphaAt(context.get(), 30, 20), 100);

  auto path = factory_.CreatePath();
  path->AddLine(0, 35, 15, 35);
  auto pen = factory_.CreatePen(0xFF00FF00u, 1);
  context->DrawPath(path.get(), pen.get());
  context->DrawBezier(pen.get(), 0, 38, 5, 38, 10, 38, 15, 38);
  EXPECT_EQ(PixelAt(context.get(), 7, 35), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(context.get(), 7, 38), 0xFF00FF00u);
  context->DrawPath(nullptr, pen.get());
  context->DrawLine(nullptr, 0, 0, 1, 1);
}

TEST_F(RenderCairoPathTest, FactoryMakesEveryKind) {
  EXPECT_NE(dynamic_cast<BitmapCairo*>(factory_.CreateBitmap().get()), nullptr);
  auto context = factory_.CreateRenderContext();
  ASSERT_NE(dynamic_cast<RenderContextCairo*>(context.get()), nullptr);
  EXPECT_EQ(context->GetWidth(), 0);
  EXPECT_TRUE(context->Resize(2, 2));
}

}  // namespace
}  // namespace ui
