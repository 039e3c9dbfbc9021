// Bitmaps, clips, origins, blits, fills and nine-slice images of the Cairo
// back end, checked by reading back the bytes.

#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/render_test_support.h"
#include "ui/core/global_manager.h"
#include "ui/render/linux/render_cairo.h"

namespace ui {
namespace {

using render_test::AlphaAt;
using render_test::CoordinateFrame;
using render_test::MakeContext;
using render_test::PixelAt;
using render_test::SurfacePtr;

TEST(RenderCairoBitmapTest, InitBitmapRefusesEmptySizesAndLeavesNothing) {
  BitmapCairo bitmap;
  EXPECT_TRUE(bitmap.InitBitmap(4, 3));
  EXPECT_FALSE(bitmap.InitBitmap(0, 5));
  EXPECT_EQ(bitmap.GetWidth(), 0);
  EXPECT_EQ(bitmap.GetHeight(), 0);
  EXPECT_EQ(bitmap.GetBits(), nullptr);
  EXPECT_EQ(bitmap.GetBitmap(), nullptr);
  EXPECT_FALSE(bitmap.InitBitmap(5, -1));
  EXPECT_EQ(bitmap.GetWidth(), 0);
  // Operations on an empty bitmap are harmless.
  bitmap.Clear();
  bitmap.ClearAlpha(UiRect(0, 0, 5, 5), 9);
  bitmap.RestoreAlpha(UiRect(0, 0, 5, 5), UiRect(), 0);
  EXPECT_EQ(bitmap.DetachBitmap(), nullptr);
}

TEST(RenderCairoBitmapTest, FreshBitmapIsClearedTopDownWithPackedRows) {
  BitmapCairo bitmap;
  ASSERT_TRUE(bitmap.InitBitmap(3, 2));
  cairo_surface_t* surface = bitmap.GetBitmap();
  EXPECT_EQ(cairo_image_surface_get_stride(surface), 3 * 4);
  const uint8_t* bits = bitmap.GetBits();
  for (int i = 0; i < 3 * 2 * 4; ++i) ASSERT_EQ(bits[i], 0) << i;

  // A red pixel drawn at (2, 1) is the last four bytes: B, G, R, A.
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgba(cr, 1, 0, 0, 1);
  cairo_rectangle(cr, 2, 1, 1, 1);
  cairo_fill(cr);
  cairo_destroy(cr);
  bits = bitmap.GetBits();
  EXPECT_EQ(bits[20], 0x00);
  EXPECT_EQ(bits[21], 0x00);
  EXPECT_EQ(bits[22], 0xFF);
  EXPECT_EQ(bits[23], 0xFF);

  cairo_surface_t* detached = bitmap.DetachBitmap();
  ASSERT_EQ(detached, surface);
  EXPECT_EQ(bitmap.GetWidth(), 0);
  EXPECT_EQ(bitmap.GetBits(), nullptr);
  EXPECT_EQ(cairo_image_surface_get_data(detached)[22], 0xFF);
  cairo_surface_destroy(detached);
}

TEST(RenderCairoBitmapTest, ClearAlphaSetsAllFourBytesInsideTheClippedRect) {
  auto context = MakeContext(4, 3);
  context->DrawColor(UiRect(0, 0, 4, 3), 0xFF112233u);
  context->ClearAlpha(UiRect(-5, 1, 2, 10), 7);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      uint32_t expected = (y >= 1 && x < 2) ? 0x07070707u : 0xFF112233u;
      EXPECT_EQ(PixelAt(context.get(), x, y), expected) << x << "," << y;
    }
  }
  // A rect with no columns inside the bitmap changes nothing.
  context->ClearAlpha(UiRect(4, 0, 9, 3), 0);
  EXPECT_EQ(PixelAt(context.get(), 3, 0), 0xFF112233u);
}

TEST(RenderCairoBitmapTest, RestoreAlphaKeepsPaddingCornersAndColourBytes) {
  // 6 x 5 with padding 2 left, 1 top, 1 right, 2 bottom: the corners are
  // columns {0,1,5} x rows {0,3,4}.
  auto is_corner = [](int x, int y) { return (x < 2 || x >= 5) && (y < 1 || y >= 3); };
  for (uint8_t key : {uint8_t{0}, uint8_t{7}}) {
    SCOPED_TRACE(static_cast<int>(key));
    auto context = MakeContext(6, 5);
    context->ClearAlpha(UiRect(0, 0, 6, 5), 7);
    context->ClearAlpha(UiRect(0, 0, 6, 1), 3);  // top row: alpha 3, not the key
    context->RestoreAlpha(UiRect(0, 0, 6, 5), UiRect(2, 1, 1, 2), key);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 6; ++x) {
        uint8_t colour = y == 0 ? 3 : 7;
        uint8_t alpha;
        if (is_corner(x, y)) {
          alpha = colour;
        } else if (key != 0 && colour == key) {
          alpha = 0;
        } else {
          alpha = 255;
        }
        uint32_t expected = static_cast<uint32_t>(alpha) << 24 | colour * 0x010101u;
        EXPECT_EQ(PixelAt(context.get(), x, y), expected) << x << "," << y;
      }
    }
  }
}

TEST(RenderCairoBitmapTest, RestoreAlphaWithHugeNegativePaddingCoversEverything) {
  // A negative padding puts every pixel in the band; INT_MIN must not wrap
  // width - padding round to a negative bound that leaves them all out.
  auto context = MakeContext(4, 3);
  context->ClearAlpha(UiRect(0, 0, 4, 3), 7);
  context->RestoreAlpha(UiRect(0, 0, 4, 3), UiRect(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN), 0);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelAt(context.get(), x, y), 0xFF070707u) << x << y;
  }
}

TEST(RenderCairoContextTest, ResizeKeepsPixelsForTheSameSizeAndClearsForANewOne) {
  RenderContextCairo context;
  EXPECT_EQ(context.GetWidth(), 0);
  EXPECT_FALSE(context.Resize(0, 0));
  EXPECT_TRUE(context.Resize(5, 4));
  context.DrawColor(UiRect(0, 0, 5, 4), 0xFF00FF00u);
  EXPECT_FALSE(context.Resize(5, 4));
  EXPECT_EQ(PixelAt(&context, 4, 3), 0xFF00FF00u);
  EXPECT_TRUE(context.Resize(6, 4));
  EXPECT_EQ(context.GetWidth(), 6);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) ASSERT_EQ(PixelAt(&context, x, y), 0u);
  }
  // A refused size leaves an empty context that still takes drawing calls.
  EXPECT_FALSE(context.Resize(-3, 4));
  EXPECT_EQ(context.GetWidth(), 0);
  EXPECT_EQ(context.GetBits(), nullptr);
  context.DrawColor(UiRect(0, 0, 5, 5), 0xFFFFFFFFu);
  context.SetClip(UiRect(0, 0, 1, 1));
  context.ClearClip();
}

TEST(RenderCairoContextTest, CloneCopiesPixelsAndDetachEmptiesTheContext) {
  auto context = MakeContext(3, 3);
  context->DrawColor(UiRect(1, 1, 2, 2), 0xFF0000FFu);
  auto clone = context->Clone();
  ASSERT_EQ(clone->GetWidth(), 3);
  EXPECT_EQ(PixelAt(clone.get(), 1, 1), 0xFF0000FFu);
  EXPECT_EQ(PixelAt(clone.get(), 0, 0), 0u);

  cairo_surface_t* surface = context->DetachBitmap();
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(context->GetWidth(), 0);
  // Drawing after the detach must not reach the handed-out surface.
  context->DrawColor(UiRect(0, 0, 3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(cairo_image_surface_get_data(surface)[0], 0);
  cairo_surface_destroy(surface);
  EXPECT_EQ(context->DetachBitmap(), nullptr);
}

TEST(RenderCairoClipTest, ClipsNestAndClearClipPopsTheLastOne) {
  auto context = MakeContext(10, 10);
  context->SetClip(UiRect(0, 0, 6, 6));
  context->SetClip(UiRect(4, 4, 10, 10));
  context->DrawColor(UiRect(0, 0, 10, 10), 0xFFFF0000u);
  EXPECT_EQ(PixelAt(context.get(), 5, 5), 0xFFFF0000u);
  EXPECT_EQ(PixelAt(context.get(), 3, 3), 0u);
  EXPECT_EQ(PixelAt(context.get(), 7, 7), 0u);

  context->ClearClip();
  context->DrawColor(UiRect(0, 0, 10, 10), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(context.get(), 3, 3), 0xFF00FF00u);  // first clip still in force
  EXPECT_EQ(PixelAt(context.get(), 7, 7), 0u);

  context->ClearClip();
  context->ClearClip();  // one too many is ignored
  context->DrawColor(UiRect(0, 0, 10, 10), 0xFF0000FFu);
  EXPECT_EQ(PixelAt(context.get(), 9, 9), 0xFF0000FFu);
}

TEST(RenderCairoClipTest, ClipRectIsLogicalAfterOffsetWindowOrg) {
  auto context = MakeContext(20, 20);
  EXPECT_EQ(context->OffsetWindowOrg(CPoint(5, 3)), CPoint(0, 0));
  EXPECT_EQ(context->GetWindowOrg(), CPoint(5, 3));
  // Logical (10, 10)-(12, 12) is device (5, 7)-(7, 9).
  context->SetClip(UiRect(10, 10, 12, 12));
  context->DrawColor(UiRect(0, 0, 40, 40), 0xFFFFFFFFu);
  context->ClearClip();
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      bool inside = x >= 5 && x < 7 && y >= 7 && y < 9;
      ASSERT_EQ(AlphaAt(context.get(), x, y), inside ? 255 : 0) << x << "," << y;
    }
  }
  EXPECT_EQ(context->SetWindowOrg(CPoint(0, 0)), CPoint(5, 3));
  EXPECT_EQ(context->OffsetWindowOrg(CPoint(-2, 4)), CPoint(0, 0));
  EXPECT_EQ(context->GetWindowOrg(), CPoint(-2, 4));
}

TEST(RenderCairoClipTest, RoundClipIncludesRightAndBottomEdge) {
  auto context = MakeContext(16, 16);
  context->SetRoundClip(UiRect(0, 0, 10, 10), 4, 4);
  context->DrawColor(UiRect(0, 0, 16, 16), 0xFFFFFFFFu);
  context->ClearClip();
  EXPECT_EQ(AlphaAt(context.get(), 10, 5), 255);
  EXPECT_EQ(AlphaAt(context.get(), 5, 10), 255);
  EXPECT_EQ(AlphaAt(context.get(), 5, 5), 255);
  EXPECT_EQ(AlphaAt(context.get(), 11, 5), 0);
  EXPECT_EQ(AlphaAt(context.get(), 5, 11), 0);
  // The corners are cut round.
  EXPECT_LT(AlphaAt(context.get(), 0, 0), 128);
  EXPECT_LT(AlphaAt(context.get(), 10, 10), 128);
}

TEST(RenderCairoClipTest, AutoClipAndSaveRestorePairUp) {
  auto context = MakeContext(8, 8);
  {
    AutoClip disabled(context.get(), UiRect(0, 0, 1, 1), false);
    AutoClip clip(context.get(), UiRect(0, 0, 4, 8));
    context->DrawColor(UiRect(0, 0, 8, 8), 0xFFFF0000u);
  }
  EXPECT_EQ(AlphaAt(context.get(), 3, 0), 255);
  EXPECT_EQ(AlphaAt(context.get(), 4, 0), 0);
  context->DrawColor(UiRect(6, 0, 8, 1), 0xFFFF0000u);  // clip gone
  EXPECT_EQ(AlphaAt(context.get(), 7, 0), 255);

  context->Save();
  context->SetClip(UiRect(0, 0, 1, 1));
  context->SetClip(UiRect(0, 0, 1, 1));
  context->OffsetWindowOrg(CPoint(3, 3));
  context->Restore();  // pops both clips and the origin change
  EXPECT_EQ(context->GetWindowOrg(), CPoint(0, 0));
  context->DrawColor(UiRect(0, 7, 8, 8), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(context.get(), 5, 7), 0xFF00FF00u);
  context->Restore();  // nothing left to restore
  context->ClearClip();
  context->DrawColor(UiRect(0, 6, 8, 7), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(context.get(), 5, 6), 0xFF00FF00u);
}

TEST(RenderCairoColorTest, DrawColorScalesTheColourAlpha) {
  auto context = MakeContext(4, 1);
  context->DrawColor(UiRect(0, 0, 1, 1), 0x80FF0000u, 100);  // trunc(128 * 100 / 255) = 50
  context->DrawColor(UiRect(1, 0, 2, 1), 0xFF00FF00u, 255);
  context->DrawColor(UiRect(2, 0, 3, 1), 0xFF0000FFu, 254);  // trunc(255 * 254 / 255) = 254
  context->DrawColor(UiRect(3, 0, 4, 1), 0x400000FFu, 0);
  EXPECT_EQ(PixelAt(context.get(), 0, 0), 0x32320000u);  // premultiplied red
  EXPECT_EQ(PixelAt(context.get(), 1, 0), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(context.get(), 2, 0), 0xFE0000FEu);
  EXPECT_EQ(PixelAt(context.get(), 3, 0), 0u);
  // Fills blend over what is there.
  context->DrawColor(UiRect(1, 0, 2, 1), 0x80FF0000u);
  uint32_t blended = PixelAt(context.get(), 1, 0);
  EXPECT_EQ(blended >> 24, 0xFFu);
  EXPECT_NEAR((blended >> 16) & 0xFF, 128, 1);
  EXPECT_NEAR((blended >> 8) & 0xFF, 127, 1);
}

TEST(RenderCairoColorTest, DrawColorByNameUsesTheGlobalTable) {
  GlobalManager::AddTextColor(L"render_test_blue", 0xFF0000FFu);
  auto context = MakeContext(3, 1);
  context->DrawColor(UiRect(0, 0, 1, 1), std::wstring(L"render_test_blue"), 255);
  context->DrawColor(UiRect(1, 0, 2, 1), std::wstring(L"render_test_unknown"), 255);
  context->DrawColor(UiRect(2, 0, 3, 1), std::wstring(), 255);
  EXPECT_EQ(PixelAt(context.get(), 0, 0), 0xFF0000FFu);
  EXPECT_EQ(PixelAt(context.get(), 1, 0), 0u);
  EXPECT_EQ(PixelAt(context.get(), 2, 0), 0u);
  GlobalManager::ClearTextColors();
}

TEST(RenderCairoBlitTest, BitBltCopiesAndAlphaBlendBlends) {
  SurfacePtr frame(CoordinateFrame(8, 8));
  auto context = MakeContext(8, 8);
  context->DrawColor(UiRect(0, 0, 8, 8), 0xFFFFFFFFu);
  // A copy replaces alpha too.
  cairo_surface_t* hole = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 2);
  EXPECT_TRUE(context->BitBlt(0, 0, 2, 2, hole, 0, 0));
  cairo_surface_destroy(hole);
  EXPECT_EQ(PixelAt(context.get(), 1, 1), 0u);
  EXPECT_TRUE(context->BitBlt(4, 4, 2, 2, frame.get(), 3, 1));
  EXPECT_EQ(PixelAt(context.get(), 5, 5), 0xFF040240u);  // source (4, 2)
  EXPECT_FALSE(context->BitBlt(0, 0, 0, 2, frame.get(), 0, 0));
  EXPECT_FALSE(context->BitBlt(0, 0, 2, 2, nullptr, 0, 0));

  auto blank = MakeContext(4, 4);
  EXPECT_TRUE(blank->AlphaBlend(0, 0, 4, 4, frame.get(), 0, 0, 2, 2, 128));
  uint8_t alpha = AlphaAt(blank.get(), 3, 3);
  EXPECT_NEAR(alpha, 128, 1);
  EXPECT_FALSE(blank->AlphaBlend(0, 0, 4, 4, frame.get(), 0, 0, 0, 2));
}

// ---- Nine-slice ----

class RenderCairoImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_ = MakeContext(120, 80);
    context_->SetBlitObserver([this](const BlitRecord& r) { blits_.push_back(r); });
    frame_.reset(CoordinateFrame(30, 30));
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
  SurfacePtr frame_;
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
  cairo_surface_t* half = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 2);
  cairo_t* cr = cairo_create(half);
  cairo_set_source_rgba(cr, 0, 0, 1, 0.5);
  cairo_paint(cr);
  cairo_destroy(cr);
  SurfacePtr frame(half);
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
