// What the DirectWrite layout leaves in a render context: ink where its
// carets say the characters are, in the text's colour as premultiplied
// pixels with grey-scale edges (so that text keeps its shape on a
// transparent layered window), runs in their own colours and weights, and
// Chinese in a Latin face drawn from the family that has it.
//
// Rasterisers differ between systems, so glyphs are judged by where their
// ink lies (each character's cell, give or take 2 pixels of side bearing and
// anti-aliasing) and by amounts of ink, never pixel by pixel, except where
// the same glyphs are drawn twice on one system.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/string_util.h"
#include "tests/ui/render_test_support.h"
#include "tests/ui/win/dwrite_test_support.h"
#include "ui/resource/native_font.h"
#include "ui/resource/skin_resources.h"
#include "ui/text/paragraph_layout.h"

namespace ui {
namespace {

using render_test::AlphaAt;
using render_test::MakeContext;
using render_test::PixelAt;

constexpr int kX = 10;  // where the paragraphs are drawn
constexpr int kY = 10;

// The sum of alpha over a rectangle, in whole pixels of full coverage.
int Ink(IRenderContext* context, const UiRect& rect) {
  int sum = 0;
  for (int y = std::max(rect.top, 0); y < std::min(rect.bottom, context->GetHeight()); ++y) {
    for (int x = std::max(rect.left, 0); x < std::min(rect.right, context->GetWidth()); ++x) {
      sum += AlphaAt(context, x, y);
    }
  }
  return sum / 255;
}

class DWriteDrawTest : public ::testing::Test {
 protected:
  std::unique_ptr<ParagraphLayout> Make(std::wstring_view text, int size,
                                        std::vector<ParagraphStyle::Run> runs = {}) {
    ParagraphStyle style;
    style.base.mask = CharFormat::kSize;
    style.base.size = size;
    style.runs = std::move(runs);
    return factory_->Create(text, style);
  }
  // Character `i`'s cell: from its caret to the next, the line's height.
  static UiRect Cell(const ParagraphLayout& layout, int i, int next) {
    const UiRect a = layout.GetCaretRect(i);
    return UiRect(kX + a.left, kY + a.top, kX + layout.GetCaretRect(next).left, kY + a.bottom);
  }
  std::unique_ptr<ParagraphLayoutFactory> factory_ = CreateParagraphLayoutFactory();
};

TEST_F(DWriteDrawTest, InkLiesInTheCharactersCellsAsPremultipliedTextColour) {
  // 中文Ab
  const std::wstring text = L"\u4E2D\u6587Ab";
  auto layout = Make(text, 24);
  const CSize size = layout->GetSize();
  auto context = MakeContext(size.cx + 2 * kX, size.cy + 2 * kY);
  layout->Draw(context.get(), kX, kY, 0xFFFF0000u, nullptr);

  UiRect allowed(kX - 2, kY, kX + size.cx + 2, kY + size.cy);
  int partial = 0;
  for (int y = 0; y < context->GetHeight(); ++y) {
    for (int x = 0; x < context->GetWidth(); ++x) {
      const uint32_t p = PixelAt(context.get(), x, y);
      const uint32_t a = p >> 24;
      if (a == 0) continue;
      SCOPED_TRACE(testing::Message() << x << "," << y);
      EXPECT_TRUE(allowed.IsPointIn(CPoint(x, y)));
      // Red at coverage a: premultiplied, red equals alpha.
      EXPECT_NEAR((p >> 16) & 0xFF, a, 1);
      EXPECT_EQ(p & 0xFFFF, 0u);
      if (a < 255) ++partial;
    }
  }
  EXPECT_GT(partial, 0) << "anti-aliased edges";
  // Every character inks its own cell.
  for (int i = 0; i < static_cast<int>(text.size()); ++i) {
    EXPECT_GT(Ink(context.get(), Cell(*layout, i, i + 1)), 10) << i;
  }
}

TEST_F(DWriteDrawTest, RunsDrawInTheirOwnColourAndWeight) {
  CharFormat blue;
  blue.mask = CharFormat::kColor;
  blue.color = 0xFF0000FFu;
  auto layout = Make(L"HHHH", 20, {ParagraphStyle::Run{2, 4, blue}});
  const CSize size = layout->GetSize();
  auto context = MakeContext(size.cx + 2 * kX, size.cy + 2 * kY);
  layout->Draw(context.get(), kX, kY, 0xFFFF0000u, nullptr);
  // Red ink in the first two cells, blue in the last two; the 2 pixels
  // between the halves may hold either.
  const int middle = kX + layout->GetCaretRect(2).left;
  int red = 0, blue_ink = 0;
  for (int y = 0; y < context->GetHeight(); ++y) {
    for (int x = 0; x < context->GetWidth(); ++x) {
      const uint32_t p = PixelAt(context.get(), x, y);
      if ((p >> 24) < 128 || std::abs(x - middle) < 2) continue;
      const bool is_red = ((p >> 16) & 0xFF) > 100 && (p & 0xFF) == 0;
      const bool is_blue = (p & 0xFF) > 100 && ((p >> 16) & 0xFF) == 0;
      EXPECT_TRUE(x < middle ? is_red : is_blue) << x << "," << y;
      (x < middle ? red : blue_ink)++;
    }
  }
  EXPECT_GT(red, 20);
  EXPECT_GT(blue_ink, 20);

  // Bold draws heavier strokes, whether the family has a bold face or the
  // weight is simulated.
  CharFormat bold;
  bold.mask = CharFormat::kBold;
  bold.bold = true;
  auto regular = Make(L"HHHH", 20);
  auto heavy = Make(L"HHHH", 20, {ParagraphStyle::Run{0, 4, bold}});
  auto a = MakeContext(heavy->GetSize().cx + 2 * kX, size.cy + 2 * kY);
  auto b = MakeContext(heavy->GetSize().cx + 2 * kX, size.cy + 2 * kY);
  regular->Draw(a.get(), kX, kY, 0xFF000000u, nullptr);
  heavy->Draw(b.get(), kX, kY, 0xFF000000u, nullptr);
  const UiRect all(0, 0, a->GetWidth(), a->GetHeight());
  EXPECT_GT(Ink(b.get(), all), Ink(a.get(), all) * 115 / 100);
}

TEST_F(DWriteDrawTest, ChineseInALatinFaceIsDrawnFromTheUiFamily) {
  const std::wstring latin = dwrite_test::FindFamily(false);
  const std::wstring chinese =
      dwrite_test::FirstPresentFamily(nbase::UTF8ToWide(SkinResources::kSystemFontFamilies));
  if (latin.empty() || chinese.empty()) GTEST_SKIP() << "needs both kinds of family";
  auto in = [&](const std::wstring& family) {
    ParagraphStyle style;
    style.base.mask = CharFormat::kFace | CharFormat::kSize;
    style.base.face = nbase::WideToUTF8(family);
    style.base.size = 24;
    auto layout = factory_->Create(L"\u4E2D", style);
    auto context = MakeContext(40, 40);
    layout->Draw(context.get(), 4, 4, 0xFF000000u, nullptr);
    return context;
  };
  // The same glyph of the same family, where a missing-glyph box would show
  // without the fallback.
  auto fallen_back = in(latin);
  auto direct = in(chinese);
  EXPECT_GT(Ink(direct.get(), UiRect(0, 0, 40, 40)), 20);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) {
      ASSERT_EQ(PixelAt(fallen_back.get(), x, y), PixelAt(direct.get(), x, y)) << x << "," << y;
    }
  }
}

TEST_F(DWriteDrawTest, AFontTableEntryGivesItsSizeWeightAndSlant) {
  auto font = [](int size, int weight, bool italic) {
    NativeFontSpec wanted;
    wanted.families = nbase::UTF8ToWide(SkinResources::kSystemFontFamilies);
    wanted.pixel_size = size;
    wanted.weight = weight;
    wanted.italic = italic;
    return CreateNativeFont(wanted);
  };
  auto layout = [this](const NativeFont* f, std::wstring_view text) {
    ParagraphStyle style;
    style.font = f;
    return factory_->Create(text, style);
  };
  // Ideographs are one em wide: the entry's size, or 12 pixels without one.
  const auto small = font(16, 0, false), large = font(32, 0, false);
  EXPECT_EQ(layout(small.get(), L"\u4E2D")->GetCaretRect(1).left, 16);
  EXPECT_EQ(layout(large.get(), L"\u4E2D")->GetCaretRect(1).left, 32);
  EXPECT_EQ(layout(nullptr, L"\u4E2D")->GetCaretRect(1).left, 12);
  EXPECT_GT(layout(large.get(), L"x")->GetSize().cy, layout(small.get(), L"x")->GetSize().cy + 10);

  // Bold inks more; italic leans: its ink reaches further right at the top
  // of a tall letter than at its foot.
  auto ink_of = [&](const NativeFont* f, const std::wstring& text) {
    auto l = layout(f, text);
    auto context = MakeContext(l->GetSize().cx + 2 * kX, l->GetSize().cy + 2 * kY);
    l->Draw(context.get(), kX, kY, 0xFF000000u, nullptr);
    return context;
  };
  const auto regular = font(24, 0, false), bold = font(24, 700, false);
  const auto italic = font(24, 0, true);
  auto plain = ink_of(regular.get(), L"HHHH");
  auto heavy = ink_of(bold.get(), L"HHHH");
  EXPECT_GT(Ink(heavy.get(), UiRect(0, 0, heavy->GetWidth(), heavy->GetHeight())),
            Ink(plain.get(), UiRect(0, 0, plain->GetWidth(), plain->GetHeight())) * 115 / 100);
  auto rightmost = [](IRenderContext* c, int y0, int y1) {
    int right = -1;
    for (int y = y0; y < y1; ++y) {
      for (int x = 0; x < c->GetWidth(); ++x) {
        if (AlphaAt(c, x, y) > 128) right = std::max(right, x);
      }
    }
    return right;
  };
  auto upright = ink_of(regular.get(), L"l");
  auto leaning = ink_of(italic.get(), L"l");
  auto lean = [&](IRenderContext* c) {
    // Rows of the letter's top and foot quarters.
    int top = c->GetHeight(), bottom = -1;
    for (int y = 0; y < c->GetHeight(); ++y) {
      for (int x = 0; x < c->GetWidth(); ++x) {
        if (AlphaAt(c, x, y) > 128) top = std::min(top, y), bottom = std::max(bottom, y);
      }
    }
    const int quarter = (bottom - top + 1) / 4;
    return rightmost(c, top, top + quarter) - rightmost(c, bottom - quarter + 1, bottom + 1);
  };
  EXPECT_LE(std::abs(lean(upright.get())), 1);
  EXPECT_GE(lean(leaning.get()), 3);
}

}  // namespace
}  // namespace ui
