// Text drawing and measuring through Pango, checked on the pixels it leaves.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/ui/render_test_support.h"
#include "ui/core/global_manager.h"
#include "ui/render/linux/render_cairo.h"

namespace ui {
namespace {

using render_test::AlphaAt;
using render_test::MakeContext;

// Bounding box of every pixel with any alpha; empty when nothing was drawn.
UiRect InkBounds(IRenderContext* context) {
  UiRect ink;
  for (int y = 0; y < context->GetHeight(); ++y) {
    for (int x = 0; x < context->GetWidth(); ++x) {
      if (AlphaAt(context, x, y) != 0) ink.Union(UiRect(x, y, x + 1, y + 1));
    }
  }
  return ink;
}

uint8_t MaxAlpha(IRenderContext* context) {
  uint8_t best = 0;
  for (int y = 0; y < context->GetHeight(); ++y) {
    for (int x = 0; x < context->GetWidth(); ++x) best = std::max(best, AlphaAt(context, x, y));
  }
  return best;
}

class RenderCairoTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalManager::AddFont(L"WenQuanYi Micro Hei", 16, false, false, false);
    font_ = GlobalManager::GetFontCount() - 1;
  }
  void TearDown() override { GlobalManager::ClearFonts(); }

  int font_ = 0;
  const std::wstring kLong = L"安装视频转换器需要一点时间请稍候";
};

TEST_F(RenderCairoTextTest, OpaqueTextPaintsWithAlpha254AndFadeMultiplies) {
  struct Case {
    uint32_t color;
    uint8_t fade;
    uint8_t max_alpha;
  };
  const Case cases[] = {{0xFFFFFFFFu, 255, 254},
                        {0xFFFFFFFFu, 128, 128},
                        {0x80FFFFFFu, 255, 128},
                        {0xFF000000u, 0, 0}};
  for (const Case& c : cases) {
    auto context = MakeContext(120, 30);
    context->DrawText(UiRect(0, 0, 120, 30), L"测试文字", c.color, font_, DT_SINGLELINE, c.fade);
    EXPECT_EQ(MaxAlpha(context.get()), c.max_alpha) << std::hex << c.color << " " << int{c.fade};
  }
  auto context = MakeContext(20, 20);
  context->DrawText(UiRect(0, 0, 20, 20), L"", 0xFFFFFFFFu, font_, 0);
  EXPECT_TRUE(InkBounds(context.get()).IsRectEmpty());
}

TEST_F(RenderCairoTextTest, AlignmentBitsPlaceTheText) {
  const UiRect box(0, 0, 240, 60);
  auto ink_for = [&](uint32_t style) {
    auto context = MakeContext(240, 60);
    context->DrawText(box, L"测试", 0xFF000000u, font_, style);
    return InkBounds(context.get());
  };
  UiRect left = ink_for(DT_SINGLELINE);
  UiRect center = ink_for(DT_SINGLELINE | DT_CENTER);
  UiRect right = ink_for(DT_SINGLELINE | DT_RIGHT);
  UiRect wrapped_center = ink_for(DT_CENTER);
  UiRect vcenter = ink_for(DT_SINGLELINE | DT_VCENTER);
  UiRect bottom = ink_for(DT_SINGLELINE | DT_BOTTOM);
  ASSERT_FALSE(left.IsRectEmpty());
  EXPECT_LE(left.left, 3);
  EXPECT_LE(left.top, 8);
  EXPECT_NEAR((center.left + center.right) / 2.0, 120, 3);
  EXPECT_NEAR((wrapped_center.left + wrapped_center.right) / 2.0, 120, 3);
  EXPECT_GE(right.right, 236);
  EXPECT_NEAR((vcenter.top + vcenter.bottom) / 2.0, 30, 4);
  EXPECT_GE(bottom.bottom, 50);
  EXPECT_EQ(center.GetWidth(), left.GetWidth());
}

TEST_F(RenderCairoTextTest, TextIsClippedToItsRectUnlessNoClip) {
  auto clipped = MakeContext(200, 30);
  clipped->DrawText(UiRect(0, 0, 40, 30), kLong, 0xFF000000u, font_, DT_SINGLELINE);
  UiRect ink = InkBounds(clipped.get());
  EXPECT_GT(ink.right, 30);
  EXPECT_LE(ink.right, 40);

  auto unclipped = MakeContext(200, 30);
  unclipped->DrawText(UiRect(0, 0, 40, 30), kLong, 0xFF000000u, font_, DT_SINGLELINE | DT_NOCLIP);
  EXPECT_GT(InkBounds(unclipped.get()).right, 100);
}

TEST_F(RenderCairoTextTest, EllipsisKeepsOneLineInsideTheWidth) {
  auto context = MakeContext(200, 60);
  context->DrawText(UiRect(0, 0, 80, 60), kLong, 0xFF000000u, font_,
                    DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
  UiRect ink = InkBounds(context.get());
  EXPECT_LE(ink.right, 80);
  EXPECT_LT(ink.bottom, 25);  // still a single line
}

TEST_F(RenderCairoTextTest, WrappingAndLineLimit) {
  auto wrapped = MakeContext(200, 200);
  wrapped->DrawText(UiRect(0, 0, 60, 200), kLong, 0xFF000000u, font_, 0);
  UiRect ink = InkBounds(wrapped.get());
  EXPECT_LE(ink.right, 60);
  EXPECT_GT(ink.GetHeight(), 50);  // several lines

  // A box one and a half lines high: the half line shows only without the limit.
  int line = MakeContext(1, 1)->MeasureText(L"测试", font_, 0).bottom;
  int box_height = line + line / 2;
  auto partial = MakeContext(200, 200);
  partial->DrawText(UiRect(0, 0, 60, box_height), kLong, 0xFF000000u, font_, 0);
  auto limited = MakeContext(200, 200);
  limited->DrawText(UiRect(0, 0, 60, box_height), kLong, 0xFF000000u, font_, 0, 255, true);
  EXPECT_GT(InkBounds(partial.get()).bottom, line + 1);
  EXPECT_LE(InkBounds(limited.get()).bottom, line);
  EXPECT_FALSE(InkBounds(limited.get()).IsRectEmpty());
}

TEST_F(RenderCairoTextTest, MeasureTextWidthsAndSingleLineHeight) {
  auto context = MakeContext(1, 1);
  UiRect probe = context->MeasureText(L"测试", font_, 0, -1);
  EXPECT_EQ(probe.left, 0);
  EXPECT_EQ(probe.top, 0);
  EXPECT_GT(probe.bottom, 16);

  // Width -1 never wraps.
  UiRect unbounded = context->MeasureText(kLong, font_, 0, -1);
  EXPECT_EQ(unbounded.bottom, probe.bottom);
  EXPECT_GT(unbounded.right, 200);

  // A width wraps, unless single line, where the height is one line of "测试".
  UiRect wrapped = context->MeasureText(kLong, font_, 0, 60);
  EXPECT_GE(wrapped.bottom, 2 * (probe.bottom - 1));
  EXPECT_LE(wrapped.right, 61);
  UiRect single = context->MeasureText(kLong + L"\n" + kLong, font_, DT_SINGLELINE, 60);
  EXPECT_EQ(single.bottom, probe.bottom);
  EXPECT_LE(single.right, 61);

  // Nothing to measure.
  EXPECT_EQ(context->MeasureText(L"", font_, 0, -1), UiRect(0, 0, 1, 1));
}

TEST_F(RenderCairoTextTest, HugeWidthsLayOutLikeUnboundedText) {
  // 4194304 pixels is 2^32 Pango units: the width must saturate, not wrap
  // round to 0, which would put every character on a line of its own.
  constexpr int kHuge = 4194304;
  auto context = MakeContext(300, 30);
  UiRect unbounded = context->MeasureText(kLong, font_, 0, -1);
  EXPECT_EQ(context->MeasureText(kLong, font_, 0, kHuge), unbounded);
  EXPECT_EQ(context->MeasureText(kLong, font_, 0, INT32_MAX), unbounded);

  context->DrawText(UiRect(0, 0, kHuge, 30), kLong, 0xFF000000u, font_, 0, 255, true);
  UiRect ink = InkBounds(context.get());
  EXPECT_GT(ink.right, 200);
  EXPECT_LT(ink.bottom, 30);
}

TEST_F(RenderCairoTextTest, UnknownFontIndexFallsBackToTheDefaultFont) {
  auto context = MakeContext(100, 30);
  context->DrawText(UiRect(0, 0, 100, 30), L"测试", 0xFF000000u, 999, DT_SINGLELINE);
  EXPECT_FALSE(InkBounds(context.get()).IsRectEmpty());
  EXPECT_GT(context->MeasureText(L"测试", 999, 0).right, 10);
}

}  // namespace
}  // namespace ui
