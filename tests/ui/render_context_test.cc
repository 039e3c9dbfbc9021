// Bitmaps, clips, origins, blits and fills of the target's render back end,
// checked by reading back the bytes.

#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/render_test_support.h"
#include "ui/core/global_manager.h"
#include "ui/render/render.h"

namespace ui {
namespace {

using render_test::AlphaAt;
using render_test::CoordinateFrame;
using render_test::MakeContext;
using render_test::PixelAt;

TEST(RenderBitmapTest, InitBitmapRefusesEmptySizesAndLeavesNothing) {
  std::unique_ptr<IBitmap> made = CreateRenderFactory()->CreateBitmap();
  IBitmap& bitmap = *made;
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

TEST(RenderBitmapTest, FreshBitmapIsClearedTopDownWithPackedRows) {
  std::unique_ptr<IBitmap> bitmap = CreateRenderFactory()->CreateBitmap();
  ASSERT_TRUE(bitmap->InitBitmap(3, 2));
  PixelImage* image = bitmap->GetBitmap();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetStride(), 3 * 4);
  EXPECT_EQ(image->GetData(), bitmap->GetBits());
  const uint8_t* bits = bitmap->GetBits();
  for (int i = 0; i < 3 * 2 * 4; ++i) ASSERT_EQ(bits[i], 0) << i;

  // Pixel (2, 1) is the last four bytes: B, G, R, A.
  bitmap->ClearAlpha(UiRect(2, 1, 3, 2), 0xFF);
  EXPECT_EQ(image->GetPixel(2, 1), 0xFFFFFFFFu);
  EXPECT_EQ(bits[19], 0x00);
  EXPECT_EQ(bits[20], 0xFF);

  std::shared_ptr<PixelImage> detached = bitmap->DetachBitmap();
  ASSERT_EQ(detached.get(), image);
  EXPECT_EQ(bitmap->GetWidth(), 0);
  EXPECT_EQ(bitmap->GetBits(), nullptr);
  EXPECT_EQ(bitmap->GetBitmap(), nullptr);
  EXPECT_EQ(detached->GetData()[23], 0xFF);
}

TEST(RenderBitmapTest, ClearAlphaSetsAllFourBytesInsideTheClippedRect) {
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

TEST(RenderBitmapTest, RestoreAlphaKeepsPaddingCornersAndColourBytes) {
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

TEST(RenderBitmapTest, RestoreAlphaWithHugeNegativePaddingCoversEverything) {
  // A negative padding puts every pixel in the band; INT_MIN must not wrap
  // width - padding round to a negative bound that leaves them all out.
  auto context = MakeContext(4, 3);
  context->ClearAlpha(UiRect(0, 0, 4, 3), 7);
  context->RestoreAlpha(UiRect(0, 0, 4, 3), UiRect(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN), 0);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelAt(context.get(), x, y), 0xFF070707u) << x << y;
  }
}

TEST(RenderContextTest, ResizeKeepsPixelsForTheSameSizeAndClearsForANewOne) {
  std::unique_ptr<IRenderContext> made = CreateRenderFactory()->CreateRenderContext();
  IRenderContext& context = *made;
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

TEST(RenderContextTest, CloneCopiesPixelsAndDetachEmptiesTheContext) {
  auto context = MakeContext(3, 3);
  context->DrawColor(UiRect(1, 1, 2, 2), 0xFF0000FFu);
  auto clone = context->Clone();
  ASSERT_EQ(clone->GetWidth(), 3);
  EXPECT_EQ(PixelAt(clone.get(), 1, 1), 0xFF0000FFu);
  EXPECT_EQ(PixelAt(clone.get(), 0, 0), 0u);

  std::shared_ptr<PixelImage> image = context->DetachBitmap();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetPixel(1, 1), 0xFF0000FFu);
  EXPECT_EQ(context->GetWidth(), 0);
  EXPECT_EQ(context->GetPixelImage(), nullptr);
  // Drawing after the detach must not reach the handed-out pixels.
  context->DrawColor(UiRect(0, 0, 3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(image->GetPixel(0, 0), 0u);
  EXPECT_EQ(context->DetachBitmap(), nullptr);
}

TEST(RenderClipTest, ClipsNestAndClearClipPopsTheLastOne) {
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

TEST(RenderClipTest, ClipRectIsLogicalAfterOffsetWindowOrg) {
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

TEST(RenderClipTest, RoundClipIncludesRightAndBottomEdge) {
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

TEST(RenderClipTest, AutoClipAndSaveRestorePairUp) {
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

TEST(RenderColorTest, DrawColorScalesTheColourAlpha) {
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

TEST(RenderColorTest, DrawColorByNameUsesTheGlobalTable) {
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

TEST(RenderBlitTest, BitBltCopiesAndAlphaBlendBlends) {
  std::shared_ptr<PixelImage> frame = CoordinateFrame(8, 8);
  auto context = MakeContext(8, 8);
  context->DrawColor(UiRect(0, 0, 8, 8), 0xFFFFFFFFu);
  // A copy replaces alpha too.
  std::shared_ptr<PixelImage> hole = PixelImage::Create(2, 2);
  EXPECT_TRUE(context->BitBlt(0, 0, 2, 2, hole.get(), 0, 0));
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

  // Another context's pixels are a source as they stand, drawing included.
  auto source = MakeContext(2, 1);
  source->DrawColor(UiRect(0, 0, 1, 1), 0xFF00FF00u);
  EXPECT_TRUE(blank->BitBlt(0, 0, 2, 1, source->GetPixelImage(), 0, 0));
  EXPECT_EQ(PixelAt(blank.get(), 0, 0), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(blank.get(), 1, 0), 0u);
}

}  // namespace
}  // namespace ui
