// Nine-slice images of the Cairo back end (every piece it blits is watched),
// and the Cairo surfaces it keeps over pixel images.

#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/render_test_support.h"
#include "ui/core/global_manager.h"
#include "ui/render/linux/render_cairo.h"

namespace ui {
namespace {

using render_test::CoordinateFrame;
using render_test::PixelAt;

TEST(RenderCairoSurfaceTest, OneSurfaceOverThePixelsForTheImagesLife) {
  std::shared_ptr<PixelImage> image = PixelImage::Create(3, 2);
  cairo_surface_t* surface = CairoSurfaceOf(*image);
  ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(CairoSurfaceOf(*image), surface);
  EXPECT_EQ(cairo_image_surface_get_data(surface), image->GetData());
  EXPECT_EQ(cairo_image_surface_get_stride(surface), image->GetStride());
  // What Cairo draws is what the image holds: a red pixel at (2, 1) is the
  // last four bytes, B, G, R, A.
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgba(cr, 1, 0, 0, 1);
  cairo_rectangle(cr, 2, 1, 1, 1);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  EXPECT_EQ(image->GetPixel(2, 1), 0xFFFF0000u);
  EXPECT_EQ(image->GetRow(1)[10], 0xFF);

  // A reference kept past the image finds the surface finished, not the
  // freed pixels.
  cairo_surface_t* kept = cairo_surface_reference(surface);
  image.reset();
  cairo_t* late = cairo_create(kept);
  cairo_paint(late);
  EXPECT_EQ(cairo_status(late), CAIRO_STATUS_SURFACE_FINISHED);
  cairo_destroy(late);
  cairo_surface_destroy(kept);
}

// ---- Nine-slice ----

class RenderCairoImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_ = std::make_unique<RenderContextCairo>();
    context_->Resize(120, 80);
    context_->SetBlitObserver([this](const BlitRecord& r) { blits_.push_back(r); });
    frame_ = CoordinateFrame(30, 30);
  }
  void TearDown() override {
    GlobalManager::SetAdaptDPI(false);
    GlobalManager::SetDPIScale(100);
  }

  std::vector<std::pair<UiRect, UiRect>> Pieces() const {
    std::vector<std::pair<UiRect, UiRect>> pieces;
    for (const BlitRecord& r : blits_) pieces.emplace_back(r.dest, r.source);
    return pieces;
  }

  std::unique_ptr<RenderContextCairo> context_;
  std::shared_ptr<PixelImage> frame_;
  std::vector<BlitRecord> blits_;
};

TEST_F(RenderCairoImageTest, NineSlicePiecesInOrder) {
  context_->DrawImage(UiRect(0, 0, 120, 80), frame_.get(), false, UiRect(10, 20, 110, 70),
                      UiRect(0, 0, 30, 30), UiRect(5, 6, 7, 8));
  std::vector<std::pair<UiRect, UiRect>> expected = {
      {{15, 26, 103, 62}, {5, 6, 23, 22}},     // centre
      {{10, 20, 15, 26}, {0, 0, 5, 6}},        // left-top
      {{15, 20, 103, 26}, {5, 0, 23, 6}},      // top
      {{103, 20, 110, 26}, {23, 0, 30, 6}},    // right-top
      {{10, 26, 15, 62}, {0, 6, 5, 22}},       // left
      {{103, 26, 110, 62}, {23, 6, 30, 22}},   // right
      {{10, 62, 15, 70}, {0, 22, 5, 30}},      // left-bottom
      {{15, 62, 103, 70}, {5, 22, 23, 30}},    // bottom
      {{103, 62, 110, 70}, {23, 22, 30, 30}},  // right-bottom
  };
  EXPECT_EQ(Pieces(), expected);
  // Unscaled corners land pixel for pixel: device (10, 20) is source (0, 0)
  // and (109, 69) is source (29, 29).
  EXPECT_EQ(PixelAt(context_.get(), 10, 20), 0xFF000040u);
  EXPECT_EQ(PixelAt(context_.get(), 14, 25), 0xFF040540u);
  EXPECT_EQ(PixelAt(context_.get(), 109, 69), 0xFF1D1D40u);
  // Nothing outside the destination.
  EXPECT_EQ(PixelAt(context_.get(), 9, 20), 0u);
  EXPECT_EQ(PixelAt(context_.get(), 110, 69), 0u);
  EXPECT_EQ(PixelAt(context_.get(), 50, 70), 0u);
  // The stretched centre is opaque and keeps its source's blue.
  EXPECT_EQ(PixelAt(context_.get(), 50, 40) & 0xFF0000FFu, 0xFF000040u);
}

TEST_F(RenderCairoImageTest, OnlyPiecesThatMeetThePaintRectAreDrawn) {
  context_->DrawImage(UiRect(0, 0, 12, 22), frame_.get(), false, UiRect(10, 20, 110, 70),
                      UiRect(0, 0, 30, 30), UiRect(5, 6, 7, 8));
  std::vector<std::pair<UiRect, UiRect>> expected = {{{10, 20, 15, 26}, {0, 0, 5, 6}}};
  EXPECT_EQ(Pieces(), expected);

  blits_.clear();
  context_->DrawImage(UiRect(0, 0, 120, 80), frame_.get(), false, UiRect(10, 20, 110, 70),
                      UiRect(0, 0, 30, 30), UiRect(5, 0, 0, 0));
  expected = {{{15, 20, 110, 70}, {5, 0, 30, 30}}, {{10, 20, 15, 70}, {0, 0, 5, 30}}};
  EXPECT_EQ(Pieces(), expected);

  blits_.clear();
  context_->DrawImage(UiRect(0, 0, 10, 20), frame_.get(), false, UiRect(10, 20, 110, 70),
                      UiRect(0, 0, 30, 30), UiRect());
  context_->DrawImage(UiRect(0, 0, 120, 80), nullptr, false, UiRect(10, 20, 110, 70),
                      UiRect(0, 0, 30, 30), UiRect());
  EXPECT_TRUE(blits_.empty());
}

TEST_F(RenderCairoImageTest, TilingCutsTheLastTileAndItsSource) {
  // Source centre 30 x 20 (rows 5..25), destination centre 100 x 20: four
  // tiles, the last 10 wide taking the left 10 source columns.
  context_->DrawImage(UiRect(0, 0, 120, 80), frame_.get(), false, UiRect(0, 0, 100, 30),
                      UiRect(0, 0, 30, 30), UiRect(0, 5, 0, 5), 255, true, false);
  ASSERT_GE(blits_.size(), 4u);
  auto all = Pieces();
  std::vector<std::pair<UiRect, UiRect>> tiles(all.begin(), all.begin() + 4);
  std::vector<std::pair<UiRect, UiRect>> expected = {
      {{0, 5, 30, 25}, {0, 5, 30, 25}},
      {{30, 5, 60, 25}, {0, 5, 30, 25}},
      {{60, 5, 90, 25}, {0, 5, 30, 25}},
      {{90, 5, 100, 25}, {0, 5, 10, 25}},
  };
  EXPECT_EQ(tiles, expected);
  for (int x = 90; x < 100; ++x) {
    EXPECT_EQ(PixelAt(context_.get(), x, 10), 0xFF000040u | (x - 90) << 16 | 10 << 8) << x;
  }
  EXPECT_EQ(PixelAt(context_.get(), 100, 10), 0u);
  EXPECT_EQ(PixelAt(context_.get(), 59, 7), 0xFF1D0740u);

  // Both axes: rows top to bottom, tiles left to right within a row.
  blits_.clear();
  context_->DrawImage(UiRect(0, 0, 120, 80), frame_.get(), false, UiRect(0, 0, 50, 50),
                      UiRect(0, 0, 30, 30), UiRect(), 255, true, true);
  expected = {
      {{0, 0, 30, 30}, {0, 0, 30, 30}},
      {{30, 0, 50, 30}, {0, 0, 20, 30}},
      {{0, 30, 30, 50}, {0, 0, 30, 20}},
      {{30, 30, 50, 50}, {0, 0, 20, 20}},
  };
  EXPECT_EQ(Pieces(), expected);
}

TEST_F(RenderCairoImageTest, TilingAHugeCentreVisitsOnlyTheTilesInThePaintRect) {
  // 2x2 tiles over a centre two billion pixels wide and high: only the six
  // tiles under the paint rect are drawn, and drawing them must not walk the
  // quintillion tiles around them.
  context_->DrawImage(UiRect(100, 50, 105, 53), frame_.get(), false,
                      UiRect(0, 0, 2000000000, 2000000000), UiRect(0, 0, 2, 2), UiRect(), 255, true,
                      true);
  std::vector<std::pair<UiRect, UiRect>> expected = {
      {{100, 50, 102, 52}, {0, 0, 2, 2}}, {{102, 50, 104, 52}, {0, 0, 2, 2}},
      {{104, 50, 106, 52}, {0, 0, 2, 2}}, {{100, 52, 102, 54}, {0, 0, 2, 2}},
      {{102, 52, 104, 54}, {0, 0, 2, 2}}, {{104, 52, 106, 54}, {0, 0, 2, 2}},
  };
  EXPECT_EQ(Pieces(), expected);

  // The cut last tile is still found when the paint rect sits on it.
  blits_.clear();
  context_->DrawImage(UiRect(95, 0, 120, 5), frame_.get(), false, UiRect(0, 0, 100, 5),
                      UiRect(0, 0, 30, 5), UiRect(), 255, true, false);
  expected = {{{90, 0, 100, 5}, {0, 0, 10, 5}}};
  EXPECT_EQ(Pieces(), expected);
}

TEST_F(RenderCairoImageTest, EmptySourceCentreIsNotTiled) {
  // Corners eat the whole source width: no tile size, borders still drawn.
  context_->DrawImage(UiRect(0, 0, 120, 80), frame_.get(), false, UiRect(0, 0, 100, 30),
                      UiRect(0, 0, 30, 30), UiRect(15, 0, 15, 0), 255, true, true);
  std::vector<std::pair<UiRect, UiRect>> expected = {{{0, 0, 15, 30}, {0, 0, 15, 30}},
                                                     {{85, 0, 100, 30}, {15, 0, 30, 30}}};
  EXPECT_EQ(Pieces(), expected);
}

TEST_F(RenderCairoImageTest, CornersScaleWithTheDpiScale) {
  GlobalManager::SetAdaptDPI(true);
  GlobalManager::SetDPIScale(150);
  context_->DrawImage(UiRect(0, 0, 120, 80), frame_.get(), false, UiRect(10, 20, 110, 70),
                      UiRect(0, 0, 30, 30), UiRect(5, 6, 7, 8));
  // left 8 (7.5 rounded away), top 9, right 8 + 3, bottom 9 + 3; sources unscaled.
  ASSERT_EQ(blits_.size(), 9u);
  EXPECT_EQ(blits_[0].dest, UiRect(18, 29, 99, 58));
  EXPECT_EQ(blits_[0].source, UiRect(5, 6, 23, 22));
  EXPECT_EQ(blits_[1].dest, UiRect(10, 20, 18, 29));
  EXPECT_EQ(blits_[1].source, UiRect(0, 0, 5, 6));
  // Scale 150 without adaptation changes nothing.
  GlobalManager::SetAdaptDPI(false);
  blits_.clear();
  context_->DrawImage(UiRect(0, 0, 120, 80), frame_.get(), false, UiRect(10, 20, 110, 70),
                      UiRect(0, 0, 30, 30), UiRect(5, 6, 7, 8));
  EXPECT_EQ(blits_[0].dest, UiRect(15, 26, 103, 62));
}

TEST_F(RenderCairoImageTest, PieceBlitRuleChoosesStretchOnlyForOpaqueUnfadedStretchedPieces) {
  struct Case {
    bool has_alpha;
    uint8_t fade;
    bool transparent;
    UiRect dest;
    BlitRecord::Mode mode;
  };
  const Case cases[] = {
      {false, 255, false, UiRect(0, 0, 30, 30), BlitRecord::kAlphaBlend},  // unscaled
      {false, 255, false, UiRect(0, 0, 60, 30), BlitRecord::kStretch},
      {false, 254, false, UiRect(0, 0, 60, 30), BlitRecord::kAlphaBlend},
      {true, 255, false, UiRect(0, 0, 60, 30), BlitRecord::kAlphaBlend},
      {false, 255, true, UiRect(0, 0, 60, 30), BlitRecord::kAlphaBlend},
  };
  for (const Case& c : cases) {
    blits_.clear();
    context_->SetRenderTransparent(c.transparent);
    context_->DrawImage(UiRect(0, 0, 120, 80), frame_.get(), c.has_alpha, c.dest,
                        UiRect(0, 0, 30, 30), UiRect(), c.fade);
    ASSERT_EQ(blits_.size(), 1u);
    EXPECT_EQ(blits_[0].mode, c.mode) << c.has_alpha << " " << int{c.fade} << " " << c.transparent;
    EXPECT_EQ(blits_[0].alpha, c.fade);
  }
  EXPECT_TRUE(context_->SetRenderTransparent(false));
  EXPECT_FALSE(context_->IsRenderTransparent());
}

TEST_F(RenderCairoImageTest, StretchReplacesAndBlendKeepsWhatIsBelow) {
  // A half-transparent frame: stretching it (as opaque) replaces the
  // background, blending it keeps part of the background.
  std::shared_ptr<PixelImage> frame = PixelImage::Create(2, 2);
  cairo_t* cr = cairo_create(CairoSurfaceOf(*frame));
  cairo_set_source_rgba(cr, 0, 0, 1, 0.5);
  cairo_paint(cr);
  cairo_destroy(cr);
  context_->DrawColor(UiRect(0, 0, 120, 80), 0xFFFF0000u);
  context_->DrawImage(UiRect(0, 0, 120, 80), frame.get(), false, UiRect(0, 0, 8, 8),
                      UiRect(0, 0, 2, 2), UiRect());
  context_->DrawImage(UiRect(0, 0, 120, 80), frame.get(), true, UiRect(10, 0, 18, 8),
                      UiRect(0, 0, 2, 2), UiRect());
  uint32_t stretched = PixelAt(context_.get(), 4, 4);
  uint32_t blended = PixelAt(context_.get(), 14, 4);
  EXPECT_NEAR(stretched >> 24, 128, 1);
  EXPECT_EQ((stretched >> 16) & 0xFF, 0u);
  EXPECT_EQ(blended >> 24, 255u);
  EXPECT_NEAR((blended >> 16) & 0xFF, 127, 1);
  EXPECT_NEAR(blended & 0xFF, 128, 1);
}

}  // namespace
}  // namespace ui
