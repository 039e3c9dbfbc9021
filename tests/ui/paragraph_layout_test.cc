// The contract of a paragraph layout, whichever engine makes it: lines,
// caret positions and hit tests agree with each other, indices count wchar_t
// units and never split a character, and drawing puts the text and the
// selection where the metrics say.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/string_util.h"
#include "tests/ui/render_test_support.h"
#include "ui/text/paragraph_layout.h"

namespace ui {
namespace {

using render_test::MakeContext;
using render_test::PixelAt;

class ParagraphLayoutTest : public ::testing::Test {
 protected:
  std::unique_ptr<ParagraphLayout> Make(std::wstring_view text, int wrap_width = -1,
                                        TextAlign align = TextAlign::kLeft) {
    ParagraphStyle style;
    style.wrap_width = wrap_width;
    style.align = align;
    return factory_->Create(text, style);
  }
  std::unique_ptr<ParagraphLayoutFactory> factory_ = CreateParagraphLayoutFactory();
};

TEST_F(ParagraphLayoutTest, AnEmptyParagraphIsOneLineWithACaret) {
  auto layout = Make(L"");
  EXPECT_EQ(layout->GetSize().cx, 0);
  EXPECT_GT(layout->GetSize().cy, 0);
  ASSERT_EQ(layout->GetLineCount(), 1);
  const ParagraphLine line = layout->GetLine(0);
  EXPECT_EQ(line.start, 0);
  EXPECT_EQ(line.length, 0);
  EXPECT_EQ(layout->GetLineOfIndex(0), 0);
  const UiRect caret = layout->GetCaretRect(0);
  EXPECT_EQ(caret.left, 0);
  EXPECT_GT(caret.GetHeight(), 0);
  const ParagraphHit hit = layout->HitTest(5, 2);
  EXPECT_EQ(hit.index + hit.trailing, 0);
  EXPECT_FALSE(hit.inside);
}

TEST_F(ParagraphLayoutTest, CaretsAndHitTestsAgreeAlongOneLine) {
  const std::wstring text = L"Wide mmm";
  auto layout = Make(text);
  ASSERT_EQ(layout->GetLineCount(), 1);
  const CSize size = layout->GetSize();
  int previous = -1;
  for (int i = 0; i <= static_cast<int>(text.size()); ++i) {
    const UiRect caret = layout->GetCaretRect(i);
    EXPECT_GT(caret.left, previous) << i;
    EXPECT_EQ(caret.top, 0);
    EXPECT_GE(caret.GetHeight(), size.cy - 1);
    previous = caret.left;
  }
  EXPECT_NEAR(layout->GetCaretRect(static_cast<int>(text.size())).left, size.cx, 1);

  const int y = size.cy / 2;
  for (int i = 0; i < static_cast<int>(text.size()); ++i) {
    const int left = layout->GetCaretRect(i).left;
    const int right = layout->GetCaretRect(i + 1).left;
    if (right - left < 4) continue;  // too narrow to aim at a half
    ParagraphHit hit = layout->HitTest(left + 1, y);
    EXPECT_EQ(hit.index, i);
    EXPECT_EQ(hit.trailing, 0);
    EXPECT_TRUE(hit.inside);
    hit = layout->HitTest(right - 1, y);
    EXPECT_EQ(hit.index, i) << i;
    EXPECT_EQ(hit.trailing, 1) << i;
  }
  // Beside and below the text: the nearest character, not on it.
  ParagraphHit past = layout->HitTest(size.cx + 50, y);
  EXPECT_FALSE(past.inside);
  EXPECT_EQ(past.index + past.trailing, static_cast<int>(text.size()));
  ParagraphHit before = layout->HitTest(-20, y);
  EXPECT_FALSE(before.inside);
  EXPECT_EQ(before.index + before.trailing, 0);
  EXPECT_FALSE(layout->HitTest(2, size.cy + 40).inside);
}

TEST_F(ParagraphLayoutTest, CharactersBeyondTheBasicPlaneAreOneStepWhateverTheirUnits) {
  // "a", U+1F600, U+20000, "b": two units each for the middle two where
  // wchar_t is 16 bits, one unit each where it holds code points.
  std::wstring text = L"a";
  nbase::AppendCodePoint(U'\U0001F600', &text);
  nbase::AppendCodePoint(U'\U00020000', &text);
  text += L"b";
  const int emoji = 1;
  const int ideograph = static_cast<int>(nbase::NextCharBoundary(text, emoji));
  const int b = static_cast<int>(nbase::NextCharBoundary(text, ideograph));
  ASSERT_EQ(b + 1, static_cast<int>(text.size()));
  auto layout = Make(text);
  EXPECT_EQ(layout->GetLine(0).length, static_cast<int>(text.size()));
  const int x_emoji = layout->GetCaretRect(emoji).left;
  const int x_ideograph = layout->GetCaretRect(ideograph).left;
  const int x_b = layout->GetCaretRect(b).left;
  EXPECT_LT(x_emoji, x_ideograph);
  EXPECT_LT(x_ideograph, x_b);
  const int y = layout->GetSize().cy / 2;
  // Either half of a wide character gives its own start, and its trailing
  // half steps over all of its units.
  ParagraphHit hit = layout->HitTest(x_ideograph + 1, y);
  EXPECT_EQ(hit.index, ideograph);
  EXPECT_EQ(hit.trailing, 0);
  hit = layout->HitTest(x_b - 1, y);
  EXPECT_EQ(hit.index, ideograph);
  EXPECT_EQ(hit.trailing, b - ideograph);
  hit = layout->HitTest(x_ideograph - 1, y);
  EXPECT_EQ(hit.index, emoji);
  EXPECT_EQ(hit.index + hit.trailing, ideograph);
}

TEST_F(ParagraphLayoutTest, WrappedLinesCoverTheTextInOrder) {
  const std::wstring text = L"one two three four five six seven eight nine ten";
  auto wide = Make(text);
  const int width = wide->GetSize().cx / 3;
  auto layout = Make(text, width);
  const int count = layout->GetLineCount();
  ASSERT_GE(count, 3);
  EXPECT_LE(layout->GetSize().cx, width);
  int next = 0;
  int top = 0;
  for (int i = 0; i < count; ++i) {
    const ParagraphLine line = layout->GetLine(i);
    EXPECT_EQ(line.start, next) << i;
    EXPECT_GT(line.length, 0) << i;
    EXPECT_NEAR(line.top, top, 1) << i;  // whole pixels of fractional metrics
    EXPECT_GT(line.height, 0) << i;
    EXPECT_EQ(layout->GetLineOfIndex(line.start), i);
    // A caret at a line's first character sits on that line, at its left.
    const UiRect caret = layout->GetCaretRect(line.start);
    EXPECT_NEAR(caret.top, line.top, 1) << i;
    EXPECT_LE(caret.left, 1) << i;
    // A point on the line's middle finds a character of that line.
    const ParagraphHit hit = layout->HitTest(2, line.top + line.height / 2);
    EXPECT_EQ(hit.index, line.start) << i;
    next = line.start + line.length;
    top = line.top + line.height;
  }
  EXPECT_EQ(next, static_cast<int>(text.size()));
  EXPECT_NEAR(top, layout->GetSize().cy, 1);
  EXPECT_EQ(layout->GetLineOfIndex(static_cast<int>(text.size())), count - 1);
}

TEST_F(ParagraphLayoutTest, WrappedLinesAlignWithinTheWrapWidth) {
  auto left = Make(L"ok", 300, TextAlign::kLeft);
  auto centre = Make(L"ok", 300, TextAlign::kCenter);
  auto right = Make(L"ok", 300, TextAlign::kRight);
  const int w = left->GetSize().cx;
  EXPECT_EQ(left->GetCaretRect(0).left, 0);
  EXPECT_NEAR(centre->GetCaretRect(0).left, (300 - w) / 2, 1);
  EXPECT_NEAR(right->GetCaretRect(0).left, 300 - w, 1);
  // Hit tests follow the same placement.
  EXPECT_FALSE(right->HitTest(2, 5).inside);
  EXPECT_TRUE(right->HitTest(300 - w + 2, left->GetSize().cy / 2).inside);
}

TEST_F(ParagraphLayoutTest, DrawingPutsTextAndSelectionWhereTheMetricsSay) {
  const std::wstring text = L"MM    MM";
  auto layout = Make(text);
  const CSize size = layout->GetSize();
  auto context = MakeContext(size.cx + 40, size.cy + 20);
  layout->Draw(context.get(), 10, 10, 0xFF000000u, nullptr);
  bool inked = false;
  for (int x = 10; x < 10 + size.cx && !inked; ++x) {
    for (int y = 10; y < 10 + size.cy && !inked; ++y) inked = PixelAt(context.get(), x, y) != 0;
  }
  EXPECT_TRUE(inked);
  EXPECT_EQ(PixelAt(context.get(), 5, 5), 0u);

  // The blanks selected, with the line break: the highlight fills the gap
  // between the words and a block after the line, and nothing before.
  ParagraphSelection selection;
  selection.start = 2;
  selection.end = 6;
  selection.line_break = true;
  selection.background = 0xFF3584E4u;
  selection.text_color = 0xFFFFFFFFu;
  layout->Draw(context.get(), 10, 10, 0xFF000000u, &selection);
  const int gap = 10 + (layout->GetCaretRect(2).left + layout->GetCaretRect(6).left) / 2;
  const int middle = 10 + size.cy / 2;
  EXPECT_EQ(PixelAt(context.get(), gap, middle), 0xFF3584E4u);
  EXPECT_EQ(PixelAt(context.get(), 10 + size.cx + 2, middle), 0xFF3584E4u);
  EXPECT_NE(PixelAt(context.get(), 10 + layout->GetCaretRect(1).left, middle), 0xFF3584E4u);
}

TEST_F(ParagraphLayoutTest, TheCompositionIsUnderlined) {
  ParagraphStyle style;
  auto plain = factory_->Create(L"xxxx", style);
  style.composition_start = 1;
  style.composition_end = 3;
  auto composing = factory_->Create(L"xxxx", style);
  const CSize size = plain->GetSize();
  auto a = MakeContext(size.cx + 4, size.cy + 4);
  auto b = MakeContext(size.cx + 4, size.cy + 4);
  plain->Draw(a.get(), 0, 0, 0xFF000000u, nullptr);
  composing->Draw(b.get(), 0, 0, 0xFF000000u, nullptr);
  // The underline adds ink under the composed characters only.
  const int from = composing->GetCaretRect(1).left;
  const int to = composing->GetCaretRect(3).left;
  int added_inside = 0, added_outside = 0;
  for (int y = 0; y < size.cy + 4; ++y) {
    for (int x = 0; x < size.cx + 4; ++x) {
      if (PixelAt(a.get(), x, y) == PixelAt(b.get(), x, y)) continue;
      (x >= from && x < to ? added_inside : added_outside)++;
    }
  }
  EXPECT_GT(added_inside, 0);
  EXPECT_EQ(added_outside, 0);
}

}  // namespace
}  // namespace ui
