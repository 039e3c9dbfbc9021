// Progress bars painted in a headless window: the done part horizontally and
// vertically, corrected bounds, and a stretched versus a cut progress image.

#include <gtest/gtest.h>

#include "tests/ui/control_basic_test_support.h"
#include "ui/control/progress.h"

namespace ui {
namespace {

using testing::Hue;
using testing::IsHue;
using testing::SkinWindow;
using testing::WindowSkin;

class BasicProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::AddBasicColors(); }
  void TearDown() override { GlobalManager::ClearTextColors(); }

  Progress* Build(const std::wstring& attributes) {
    EXPECT_NE(w_.Build(WindowSkin(L"<VBox bkcolor=\"basic_white\"><Progress name=\"p\" " +
                                  attributes + L"/></VBox>")),
              nullptr);
    w_.Layout();
    return w_.Find<Progress>(L"p");
  }
  bool PixelIs(int x, int y, Hue hue) { return IsHue(w_.native()->GetPixel(x, y), hue); }

  SkinWindow w_{CSize(300, 200)};
};

TEST_F(BasicProgressTest, HorizontalValueFillsItsShareFromTheLeft) {
  Progress* p = Build(LR"(width="200" height="10" value="50" progresscolor=" basic_red")");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetProgressColor(), L"basic_red");
  EXPECT_EQ(p->GetProgressPos(), UiRect(0, 0, 100, 10));
  EXPECT_TRUE(PixelIs(0, 5, Hue::kRed));
  EXPECT_TRUE(PixelIs(99, 5, Hue::kRed));
  EXPECT_TRUE(PixelIs(100, 5, Hue::kWhite));

  // A new value repaints: empty, then full.
  p->SetValue(0);
  w_.native()->PaintPending();
  EXPECT_TRUE(PixelIs(0, 5, Hue::kWhite));
  p->SetValue(100);
  w_.native()->PaintPending();
  EXPECT_TRUE(PixelIs(199, 9, Hue::kRed));
  EXPECT_TRUE(PixelIs(200, 5, Hue::kWhite));
}

TEST_F(BasicProgressTest, VerticalValueFillsFromTheBottom) {
  Progress* p =
      Build(LR"(hor="false" width="10" height="100" value="25" progresscolor="basic_red")");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetProgressPos(), UiRect(0, 75, 10, 100));
  EXPECT_TRUE(PixelIs(5, 74, Hue::kWhite));
  EXPECT_TRUE(PixelIs(5, 75, Hue::kRed));
  EXPECT_TRUE(PixelIs(5, 99, Hue::kRed));
}

TEST_F(BasicProgressTest, BoundsAreCorrectedAndTheValueClamped) {
  Progress* p = Build(LR"(width="200" height="10" min="50" max="150" value="100")");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetProgressPos().right, 100);
  // Above max: full; below min: empty.
  p->SetValue(1000);
  EXPECT_EQ(p->GetProgressPos().right, 200);
  EXPECT_EQ(p->GetValue(), 150);
  p->SetValue(-5);
  EXPECT_EQ(p->GetProgressPos().right, 0);
  // min >= max: max becomes min + 1, so a value at or over max is full.
  p->SetMinValue(20);
  p->SetMaxValue(20);
  p->SetValue(20);
  EXPECT_EQ(p->GetProgressPos().right, 0);
  EXPECT_EQ(p->GetMaxValue(), 21);
  p->SetValue(30);
  EXPECT_EQ(p->GetProgressPos().right, 200);
  // Fractions of a pixel are cut off.
  p->SetMinValue(0);
  p->SetMaxValue(3);
  p->SetValue(1);
  EXPECT_EQ(p->GetProgressPos().right, 66);
}

TEST_F(BasicProgressTest, ProgressImageIsStretchedOrCutAndTheBackgroundStays) {
  testing::PictureFolder pictures;
  // Left half red, right half blue.
  const std::wstring bar = pictures.Write(
      "bar.png", 200, 10, [](int x) { return x < 100 ? testing::kBasicRed : testing::kBasicBlue; });
  const std::wstring green = pictures.WriteSolid("bk.png", 200, 10, testing::kBasicGreen);
  const std::wstring common = L"width=\"200\" height=\"10\" value=\"50\" bkimage=\"file='" + green +
                              L"'\" progressimage=\"file='" + bar + L"'\" ";
  ASSERT_NE(Build(common), nullptr);
  // Stretched: the whole picture squeezed into the done half.
  EXPECT_TRUE(PixelIs(10, 5, Hue::kRed));
  EXPECT_TRUE(PixelIs(90, 5, Hue::kBlue));
  EXPECT_TRUE(PixelIs(150, 5, Hue::kGreen));

  // Cut: the done half shows the picture's own left half.
  SkinWindow cut_window(CSize(300, 200));
  ASSERT_NE(cut_window.Build(WindowSkin(L"<VBox><Progress name=\"p\" " + common +
                                        L"isstretchfore=\"false\"/></VBox>")),
            nullptr);
  cut_window.Layout();
  EXPECT_FALSE(cut_window.Find<Progress>(L"p")->IsStretchForeImage());
  EXPECT_TRUE(IsHue(cut_window.native()->GetPixel(10, 5), Hue::kRed));
  EXPECT_TRUE(IsHue(cut_window.native()->GetPixel(90, 5), Hue::kRed));
  EXPECT_TRUE(IsHue(cut_window.native()->GetPixel(150, 5), Hue::kGreen));
  EXPECT_EQ(testing::CountHue(cut_window.native(), UiRect(0, 0, 200, 10), Hue::kBlue), 0);
}

}  // namespace
}  // namespace ui
