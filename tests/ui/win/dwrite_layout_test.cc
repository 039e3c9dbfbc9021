// The DirectWrite paragraph layout: carets and hit tests over Latin, Chinese
// and characters beyond the basic plane, its own line breaking (long words
// cut, blanks hanging, no line opening on closing punctuation), per-line
// heights, and the fallback that finds Chinese for a Latin face.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "base/string_util.h"
#include "tests/ui/win/dwrite_test_support.h"
#include "ui/text/paragraph_layout.h"

namespace ui {
namespace {

std::wstring Char(char32_t c) {
  std::wstring out;
  nbase::AppendCodePoint(c, &out);
  return out;
}

using dwrite_test::FindFamily;

class DWriteLayoutTest : public ::testing::Test {
 protected:
  std::unique_ptr<ParagraphLayout> Make(std::wstring_view text, int wrap_width = -1,
                                        int size = 16) {
    ParagraphStyle style;
    style.wrap_width = wrap_width;
    style.base.mask = CharFormat::kSize;
    style.base.size = size;
    return factory_->Create(text, style);
  }
  static int Left(const ParagraphLayout& layout, int index) {
    return layout.GetCaretRect(index).left;
  }
  std::unique_ptr<ParagraphLayoutFactory> factory_ = CreateParagraphLayoutFactory();
};

TEST_F(DWriteLayoutTest, HitTestsFindWholeCharactersOfEveryScript) {
  // "Ab中文", U+1F600, U+20000, "z，": Latin, ideographs, two surrogate pairs.
  const std::wstring text =
      L"Ab\u4E2D\u6587" + Char(U'\U0001F600') + Char(U'\U00020000') + L"z\uFF0C";
  auto layout = Make(text);
  ASSERT_EQ(layout->GetLineCount(), 1);
  std::vector<int> starts;  // every character's first unit, then the end
  for (size_t i = 0; i < text.size(); i = nbase::NextCharBoundary(text, i)) {
    starts.push_back(static_cast<int>(i));
  }
  starts.push_back(static_cast<int>(text.size()));
  for (size_t k = 0; k + 1 < starts.size(); ++k) {
    EXPECT_LT(Left(*layout, starts[k]), Left(*layout, starts[k + 1])) << k;
  }
  // Ideographs are one em wide; a caret asked for inside a pair is the
  // pair's own.
  EXPECT_NEAR(Left(*layout, 3) - Left(*layout, 2), 16, 1);
  EXPECT_NEAR(Left(*layout, 4) - Left(*layout, 3), 16, 1);
  EXPECT_EQ(layout->GetCaretRect(5), layout->GetCaretRect(4));
  EXPECT_EQ(layout->GetCaretRect(7), layout->GetCaretRect(6));
  // Every point of the line finds the character under it: its start at or
  // left of the point, the next start right of it, and the trailing half
  // steps over all of its units.
  const int y = layout->GetSize().cy / 2;
  for (int x = 0; x < Left(*layout, static_cast<int>(text.size())); ++x) {
    const ParagraphHit hit = layout->HitTest(x, y);
    SCOPED_TRACE(x);
    auto it = std::find(starts.begin(), starts.end(), hit.index);
    ASSERT_NE(it, starts.end());
    ASSERT_NE(it + 1, starts.end());
    EXPECT_TRUE(hit.inside);
    EXPECT_LE(Left(*layout, hit.index), x);
    EXPECT_GT(Left(*layout, *(it + 1)), x);
    EXPECT_TRUE(hit.trailing == 0 || hit.trailing == *(it + 1) - hit.index);
    const int middle = (Left(*layout, hit.index) + Left(*layout, *(it + 1))) / 2;
    if (x < middle - 1) {
      EXPECT_EQ(hit.trailing, 0);
    } else if (x > middle + 1) {
      EXPECT_NE(hit.trailing, 0);
    }
  }
}

TEST_F(DWriteLayoutTest, CombiningMarksShareTheirCharactersCaret) {
  // "e" + U+0301 + "x": no caret and no hit between the letter and its mark.
  auto layout = Make(L"e\u0301x");
  EXPECT_EQ(Left(*layout, 1), Left(*layout, 0));
  EXPECT_LT(Left(*layout, 0), Left(*layout, 2));
  for (int x = 0; x < Left(*layout, 3); ++x) {
    const ParagraphHit hit = layout->HitTest(x, 4);
    EXPECT_NE(hit.index, 1) << x;
    EXPECT_NE(hit.index + hit.trailing, 1) << x;
  }
}

TEST_F(DWriteLayoutTest, AWordLongerThanTheLineIsCutBetweenCharacters) {
  // Lines six and a half "a" wide: the word of 40 "a" takes six lines and a
  // part, which leaves no room for the blank and the word of six after it.
  const int a = Make(L"a")->GetSize().cx;
  const int width = a * 6 + a / 2;
  const std::wstring text = std::wstring(40, L'a') + L" " + std::wstring(6, L'a');
  auto layout = Make(text, width);
  ASSERT_EQ(layout->GetLineCount(), 8);
  int next = 0;
  for (int i = 0; i < layout->GetLineCount(); ++i) {
    const ParagraphLine line = layout->GetLine(i);
    SCOPED_TRACE(i);
    EXPECT_EQ(line.start, next);
    // Six characters fit, a seventh would not; a blank hangs at the end.
    EXPECT_EQ(line.length, i < 6 ? 6 : i == 6 ? 5 : 6);
    next = line.start + line.length;
  }
  EXPECT_EQ(next, static_cast<int>(text.size()));
  EXPECT_EQ(text[layout->GetLine(7).start - 1], L' ');
  EXPECT_LE(layout->GetSize().cx, width);
}

TEST_F(DWriteLayoutTest, BlanksHangAtTheEndOfWrappedLines) {
  auto layout = Make(L"ab          cd", 40);
  ASSERT_EQ(layout->GetLineCount(), 2);
  EXPECT_EQ(layout->GetLine(0).length, 12);
  EXPECT_EQ(layout->GetLine(1).start, 12);
  // Past the end of the wrapped line the caret stays on it, before its last
  // blank; past the end of the last line it goes to the text's end.
  const int y0 = layout->GetLine(0).height / 2;
  const ParagraphHit first = layout->HitTest(1000, y0);
  EXPECT_FALSE(first.inside);
  EXPECT_EQ(first.index + first.trailing, 11);
  const ParagraphHit second = layout->HitTest(1000, layout->GetLine(1).top + 2);
  EXPECT_EQ(second.index + second.trailing, 14);
  // The hanging blanks leave the width to the words.
  EXPECT_LE(layout->GetSize().cx, 40);
}

TEST_F(DWriteLayoutTest, ChineseWrapsBetweenIdeographsNeverBeforeClosingPunctuation) {
  // 中文文本的换行测试，标点。好
  const std::wstring text =
      L"\u4E2D\u6587\u6587\u672C\u7684\u6362\u884C\u6D4B\u8BD5\uFF0C\u6807\u70B9\u3002\u597D";
  for (int width : {35, 50, 58, 70}) {
    SCOPED_TRACE(width);
    auto layout = Make(text, width);
    EXPECT_GT(layout->GetLineCount(), 2);
    for (int i = 0; i < layout->GetLineCount(); ++i) {
      const ParagraphLine line = layout->GetLine(i);
      EXPECT_NE(text[line.start], L'\uFF0C');
      EXPECT_NE(text[line.start], L'\u3002');
      // Punctuation kept with its character may overhang by itself only.
      EXPECT_LE(Left(*layout, line.start + line.length - 1) - Left(*layout, line.start), width);
    }
  }
}

TEST_F(DWriteLayoutTest, EachLineIsAsTallAsItsLargestText) {
  ParagraphStyle style;
  // Room for the large word alone on its line.
  style.wrap_width = Make(L"bbb", -1, 36)->GetSize().cx + 2;
  style.base.mask = CharFormat::kSize;
  style.base.size = 12;
  CharFormat big;
  big.mask = CharFormat::kSize;
  big.size = 36;
  style.runs.push_back(ParagraphStyle::Run{4, 7, big});  // "bbb"
  auto layout = factory_->Create(L"aaa bbb ccc", style);
  ASSERT_EQ(layout->GetLineCount(), 3);
  const ParagraphLine a = layout->GetLine(0), b = layout->GetLine(1), c = layout->GetLine(2);
  EXPECT_EQ(b.start, 4);
  EXPECT_GT(b.height, 2 * a.height);
  EXPECT_NEAR(c.height, a.height, 1);
  EXPECT_EQ(b.top, a.top + a.height);
  EXPECT_EQ(c.top, b.top + b.height);
  EXPECT_EQ(layout->GetSize().cy, c.top + c.height);
  EXPECT_EQ(layout->GetCaretRect(5).top, b.top);
  EXPECT_EQ(layout->GetCaretRect(5).GetHeight(), b.height);
  EXPECT_EQ(layout->GetLineOfIndex(5), 1);
  EXPECT_EQ(layout->HitTest(2, b.top + b.height - 2).index, 4);
  EXPECT_EQ(layout->HitTest(2, c.top + 1).index, 8);
}

TEST_F(DWriteLayoutTest, ChineseInALatinFaceComesFromAFamilyThatHasIt) {
  const std::wstring latin = FindFamily(false);
  if (latin.empty()) GTEST_SKIP() << "no family without Chinese here";
  ParagraphStyle style;
  style.base.mask = CharFormat::kFace | CharFormat::kSize;
  style.base.face = nbase::WideToUTF8(latin);
  style.base.size = 20;
  auto layout = factory_->Create(L"a\u4E2D\u6587b", style);
  // Full-width ideographs, as the Chinese families draw them, not the
  // Latin face's boxes for missing glyphs.
  EXPECT_NEAR(Left(*layout, 2) - Left(*layout, 1), 20, 1);
  EXPECT_NEAR(Left(*layout, 3) - Left(*layout, 2), 20, 1);
}

// Fonts prepared on another thread serve the next factory made here, which
// lays text out exactly as one that loaded them itself; the one after it
// loads its own.
TEST_F(DWriteLayoutTest, AFactoryTakesOverFontsPreparedOnAnotherThread) {
  std::thread preparing([] { PrepareParagraphLayouts(); });
  preparing.join();
  std::unique_ptr<ParagraphLayoutFactory> prepared = CreateParagraphLayoutFactory();
  std::unique_ptr<ParagraphLayoutFactory> own = CreateParagraphLayoutFactory();
  ParagraphStyle style;
  style.wrap_width = 90;
  style.base.mask = CharFormat::kSize;
  style.base.size = 16;
  const std::wstring text = L"\u5B89\u88C5\u76EE\u5F55 C:\\Program Files\\Corvane";
  auto a = prepared->Create(text, style);
  auto b = own->Create(text, style);
  ASSERT_GT(a->GetLineCount(), 1);
  EXPECT_EQ(a->GetSize(), b->GetSize());
  EXPECT_EQ(a->GetLineCount(), b->GetLineCount());
  for (int i = 0; i <= static_cast<int>(text.size()); ++i) {
    EXPECT_EQ(a->GetCaretRect(i), b->GetCaretRect(i)) << i;
  }
}

}  // namespace
}  // namespace ui
