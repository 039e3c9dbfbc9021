// Fonts and text of the GDI+ back end under Wine, judged by where the ink
// lands: Wine's glyphs are not Windows', so positions and coverage are
// compared, never exact pixels.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/string_util.h"
#include "tests/ui/render_test_support.h"
#include "ui/core/global_manager.h"
#include "ui/render/win/render_gdiplus.h"
#include "ui/resource/win/gdi_font.h"

namespace ui {
namespace {

using render_test::AlphaAt;
using render_test::MakeContext;

UiRect InkBounds(IRenderContext* context, const UiRect& area) {
  UiRect ink;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (AlphaAt(context, x, y) != 0) ink.Union(UiRect(x, y, x + 1, y + 1));
    }
  }
  return ink;
}

UiRect InkBounds(IRenderContext* context) {
  return InkBounds(context, UiRect(0, 0, context->GetWidth(), context->GetHeight()));
}

std::wstring FaceOf(int font_index) {
  const LOGFONTW* logfont = LogFontOf(GlobalManager::GetFont(font_index)->font.get());
  return logfont ? std::wstring(logfont->lfFaceName) : std::wstring();
}

class GdiTextTest : public ::testing::Test {
 protected:
  void SetUp() override { GlobalManager::Shutdown(); }
  void TearDown() override { GlobalManager::Shutdown(); }

  int AddFont(const std::wstring& face, int size, bool bold = false, bool underline = false) {
    GlobalManager::AddFont(face, size, bold, underline, false);
    return GlobalManager::GetFontCount() - 1;
  }
};

TEST_F(GdiTextTest, SystemFaceIsTheFirstInstalledCjkFamilyAndDrawsChineseGlyphs) {
  const int font = AddFont(L"system", 16);
  const std::wstring face = FaceOf(font);
  const std::wstring families = nbase::UTF8ToWide(SkinResources::kSystemFontFamilies);
  // Windows has Microsoft YaHei; Wine sees the host's WenQuanYi Micro Hei.
  EXPECT_TRUE(face == L"Microsoft YaHei" || face == L"WenQuanYi Micro Hei") << face;
  EXPECT_EQ(face, FirstInstalledFamily(families));
  EXPECT_EQ(GlobalManager::GetFont(font)->face_name, L"system");

  // Two different ideographs, each about an em square: real glyphs, not
  // the same missing-glyph box twice.
  auto ink_of = [&](const std::wstring& text) {
    auto context = MakeContext(40, 30);
    context->DrawText(UiRect(0, 0, 40, 30), text, 0xFF000000u, font, DT_SINGLELINE);
    std::vector<uint8_t> alpha;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) alpha.push_back(AlphaAt(context.get(), x, y));
    }
    return std::make_pair(InkBounds(context.get()), alpha);
  };
  const auto [ce, ce_alpha] = ink_of(L"测");
  const auto [shi, shi_alpha] = ink_of(L"试");
  EXPECT_NE(ce_alpha, shi_alpha);
  for (const UiRect& ink : {ce, shi}) {
    EXPECT_GE(ink.GetWidth(), 11);
    EXPECT_LE(ink.GetWidth(), 17);
    EXPECT_GE(ink.GetHeight(), 11);
    EXPECT_LE(ink.GetHeight(), 17);
  }
}

TEST_F(GdiTextTest, SizesScaleWithTheDpiAndWeightAndUnknownFacesStillDraw) {
  GlobalManager::SetAdaptDPI(true);
  GlobalManager::SetDPIScale(150);
  const int scaled = AddFont(L"system", 12, true);
  GlobalManager::SetAdaptDPI(false);
  GlobalManager::SetDPIScale(100);
  const LOGFONTW* logfont = LogFontOf(GlobalManager::GetFont(scaled)->font.get());
  ASSERT_NE(logfont, nullptr);
  EXPECT_EQ(logfont->lfHeight, -18);
  EXPECT_EQ(logfont->lfWeight, 700);
  EXPECT_EQ(GlobalManager::GetFont(scaled)->size, 18);

  // A face the system lacks falls back to an installed family.
  const int unknown = AddFont(L"No Such Face 9", 16);
  EXPECT_EQ(FaceOf(unknown), FirstInstalledFamily(FaceOf(unknown)));
  auto context = MakeContext(100, 30);
  context->DrawText(UiRect(0, 0, 100, 30), L"Corvane", 0xFF000000u, unknown, DT_SINGLELINE);
  EXPECT_GT(InkBounds(context.get()).GetWidth(), 30);
}

TEST_F(GdiTextTest, EllipsisReplacesTheTailWithDotsInsideTheWidth) {
  const int font = AddFont(L"system", 16);
  const std::wstring text(30, L'H');
  auto cut = MakeContext(200, 30);
  cut->DrawText(UiRect(0, 0, 100, 30), text, 0xFF000000u, font, DT_SINGLELINE);
  auto dotted = MakeContext(200, 30);
  dotted->DrawText(UiRect(0, 0, 100, 30), text, 0xFF000000u, font, DT_SINGLELINE | DT_END_ELLIPSIS);
  const UiRect cut_ink = InkBounds(cut.get());
  const UiRect dotted_ink = InkBounds(dotted.get());
  ASSERT_FALSE(dotted_ink.IsRectEmpty());
  EXPECT_LE(dotted_ink.right, 100);
  // The last ink is the ellipsis: dots on the baseline, nothing in the upper
  // half of the letters, where every H has ink.
  const int mid = (cut_ink.top + cut_ink.bottom) / 2;
  const UiRect tail_top(dotted_ink.right - 4, cut_ink.top, dotted_ink.right, mid - 1);
  EXPECT_TRUE(InkBounds(dotted.get(), tail_top).IsRectEmpty());
  EXPECT_FALSE(InkBounds(cut.get(), UiRect(cut_ink.right - 2, cut_ink.top, cut_ink.right, mid - 1))
                   .IsRectEmpty());
  EXPECT_FALSE(InkBounds(dotted.get(),
                         UiRect(dotted_ink.right - 4, mid, dotted_ink.right, dotted_ink.bottom))
                   .IsRectEmpty());

  // Text that fits is drawn whole, without dots.
  auto fits = MakeContext(200, 30);
  fits->DrawText(UiRect(0, 0, 100, 30), L"HH", 0xFF000000u, font, DT_SINGLELINE | DT_END_ELLIPSIS);
  auto plain = MakeContext(200, 30);
  plain->DrawText(UiRect(0, 0, 100, 30), L"HH", 0xFF000000u, font, DT_SINGLELINE);
  EXPECT_EQ(InkBounds(fits.get()), InkBounds(plain.get()));
}

TEST_F(GdiTextTest, UnclippedSingleLinesRunPastTheRectFromTheirAlignment) {
  const int font = AddFont(L"system", 16);
  const std::wstring text = L"HHHHHHHHHHHHHHHH";
  auto ink_for = [&](uint32_t align) {
    auto context = MakeContext(400, 30);
    context->DrawText(UiRect(150, 0, 200, 30), text, 0xFF000000u, font,
                      DT_SINGLELINE | DT_NOCLIP | align);
    return InkBounds(context.get());
  };
  const UiRect left = ink_for(0);
  const UiRect center = ink_for(DT_CENTER);
  const UiRect right = ink_for(DT_RIGHT);
  EXPECT_NEAR(left.left, 150, 2);
  EXPECT_GT(left.right, 250);
  EXPECT_NEAR((center.left + center.right) / 2.0, 175, 2);
  EXPECT_NEAR(right.right, 200, 2);
  EXPECT_LT(right.left, 100);
  EXPECT_EQ(left.GetWidth(), center.GetWidth());
  EXPECT_EQ(left.GetWidth(), right.GetWidth());
}

TEST_F(GdiTextTest, UnderlineOfTheFontEntryIsDrawn) {
  const int plain = AddFont(L"system", 16);
  const int underlined = AddFont(L"system", 16, false, true);
  auto ink_for = [&](int font) {
    auto context = MakeContext(100, 30);
    context->DrawText(UiRect(0, 0, 100, 30), L"ab ab", 0xFF000000u, font, DT_SINGLELINE);
    return std::make_pair(InkBounds(context.get()), std::move(context));
  };
  auto [plain_ink, plain_context] = ink_for(plain);
  auto [line_ink, line_context] = ink_for(underlined);
  EXPECT_GT(line_ink.bottom, plain_ink.bottom);
  // The underline is one run of ink under the blank between the words too.
  const int row = line_ink.bottom - 1;
  int run = 0;
  for (int x = line_ink.left; x < line_ink.right; ++x)
    run += AlphaAt(line_context.get(), x, row) > 0;
  EXPECT_GE(run, line_ink.GetWidth() - 2);
}

TEST_F(GdiTextTest, MeasuredWidthMatchesTheDrawnLine) {
  const int font = AddFont(L"system", 16);
  auto context = MakeContext(300, 30);
  const std::wstring text = L"安装视频转换器";
  const UiRect measured = context->MeasureText(text, font, DT_SINGLELINE, -1);
  context->DrawText(UiRect(0, 0, 300, 30), text, 0xFF000000u, font, DT_SINGLELINE);
  const UiRect ink = InkBounds(context.get());
  // Seven ideographs of a 16-pixel font: about 112 pixels, the ink inside.
  EXPECT_NEAR(measured.GetWidth(), 113, 4);
  EXPECT_LE(ink.right, measured.right + 1);
  EXPECT_GE(ink.GetWidth(), measured.GetWidth() - 6);
}

}  // namespace
}  // namespace ui
