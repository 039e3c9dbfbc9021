// Scroll bars: the parts' geometry, range and position rules, and input
// through the headless window with a hand-driven timer: line buttons with
// auto-repeat, track pages, thumb dragging, and scrolling an owner box.

#include <gtest/gtest.h>

#include "tests/ui/animation_test_support.h"
#include "tests/ui/control_basic_test_support.h"
#include "ui/control/scroll_bar.h"
#include "ui/control/scrollable_box.h"
#include "ui/core/animation_manager.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

class BasicScrollBarTest : public ::testing::Test {
 protected:
  // A free-standing bar at the window's top left.
  ScrollBar* Build(const std::wstring& attributes) {
    EXPECT_NE(w_.Build(WindowSkin(L"<Box><ScrollBar name=\"sb\" autohidescroll=\"false\" " +
                                  attributes + L"/></Box>")),
              nullptr);
    w_.Layout();
    ScrollBar* bar = w_.Find<ScrollBar>(L"sb");
    if (bar) bar->GetAnimationManager().SetTimerManager(timers_.manager());
    return bar;
  }
  void Ticks(int count) {
    for (int i = 0; i < count; ++i) timers_.Tick(ScrollBar::kRepeatIntervalMs);
  }

  SkinWindow w_{CSize(200, 200)};
  ManualTimerService timers_;
};

TEST_F(BasicScrollBarTest, VerticalPartsFollowRangeAndPosition) {
  ScrollBar* bar = Build(LR"(width="16" height="100" range="300")");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetPos(), UiRect(0, 0, 16, 100));
  EXPECT_EQ(bar->GetButton1Rect(), UiRect(0, 0, 16, 16));
  EXPECT_EQ(bar->GetButton2Rect(), UiRect(0, 84, 16, 100));
  // Track 68: thumb max(100 * 68 / 400, 30) = 30 long.
  EXPECT_EQ(bar->GetThumbRect(), UiRect(0, 16, 16, 46));
  bar->SetScrollPos(150);
  EXPECT_EQ(bar->GetThumbRect(), UiRect(0, 35, 16, 65));
  bar->SetScrollPos(1000);
  EXPECT_EQ(bar->GetScrollPos(), 300);
  EXPECT_EQ(bar->GetThumbRect(), UiRect(0, 54, 16, 84));
  bar->SetScrollPos(-7);
  EXPECT_EQ(bar->GetScrollPos(), 0);
  // A smaller range keeps the position inside it; a negative one counts as 0 and hides.
  bar->SetScrollPos(300);
  bar->SetScrollRange(100);
  EXPECT_EQ(bar->GetScrollPos(), 100);
  bar->SetScrollRange(-4);
  EXPECT_EQ(bar->GetScrollRange(), 0);
  EXPECT_FALSE(bar->IsVisible());
  EXPECT_EQ(bar->GetThumbRect(), UiRect(0, 16, 16, 84));
  // A range again shows a bar that does not hide by itself.
  bar->SetScrollRange(50);
  EXPECT_TRUE(bar->IsVisible());
}

TEST_F(BasicScrollBarTest, HorizontalShortAndButtonlessBars) {
  ScrollBar* bar = Build(LR"(hor="true" width="100" height="16" range="300")");
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->IsHorizontal());
  EXPECT_EQ(bar->GetButton1Rect(), UiRect(0, 0, 16, 16));
  EXPECT_EQ(bar->GetButton2Rect(), UiRect(84, 0, 100, 16));
  EXPECT_EQ(bar->GetThumbRect(), UiRect(16, 0, 46, 16));

  // Too short for a thumb: the buttons share the length.
  bar->SetFixedWidth(24);
  w_.native()->PaintPending();
  EXPECT_EQ(bar->GetButton1Rect(), UiRect(0, 0, 12, 12));
  EXPECT_EQ(bar->GetButton2Rect(), UiRect(12, 0, 24, 12));
  EXPECT_TRUE(bar->GetThumbRect().IsRectEmpty());

  // Without buttons the thumb runs over the whole length.
  SkinWindow other(CSize(200, 200));
  ASSERT_NE(other.Build(WindowSkin(LR"(<Box><ScrollBar name="sb" width="16" height="100"
      range="100" value="100" showbutton1="false" showbutton2="false"/></Box>)")),
            nullptr);
  other.Layout();
  ScrollBar* plain = other.Find<ScrollBar>(L"sb");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->GetThumbRect(), UiRect(0, 50, 16, 100));
  // A minimum thumb longer than the track is cut to the track.
  plain->SetAttribute(L"thumbminlength", L"150");
  plain->SetScrollPos(0);
  EXPECT_EQ(plain->GetThumbRect(), UiRect(0, 0, 16, 100));
}

TEST_F(BasicScrollBarTest, HeldButtonScrollsOnceThenRepeatsFromTheSixthTick) {
  ScrollBar* bar = Build(LR"(width="16" height="100" range="300" linesize="8")");
  ASSERT_NE(bar, nullptr);
  w_.native()->ButtonDown(CPoint(8, 90));
  EXPECT_EQ(bar->GetButton2State(), kControlStatePushed);
  EXPECT_EQ(bar->GetScrollPos(), 8);
  Ticks(5);
  EXPECT_EQ(bar->GetScrollPos(), 8);
  Ticks(1);
  EXPECT_EQ(bar->GetScrollPos(), 16);
  Ticks(2);
  EXPECT_EQ(bar->GetScrollPos(), 32);
  w_.native()->ButtonUp(CPoint(8, 90));
  EXPECT_EQ(bar->GetButton2State(), kControlStateNormal);
  Ticks(10);
  EXPECT_EQ(bar->GetScrollPos(), 32);

  // Button 1 goes back, and never below 0.
  w_.native()->ButtonDown(CPoint(8, 5));
  EXPECT_EQ(bar->GetScrollPos(), 24);
  Ticks(20);
  EXPECT_EQ(bar->GetScrollPos(), 0);
  w_.native()->ButtonUp(CPoint(8, 5));
}

TEST_F(BasicScrollBarTest, TrackPagesWhileThePointerStaysBeyondTheThumb) {
  ScrollBar* bar = Build(LR"(width="16" height="100" range="300")");
  ASSERT_NE(bar, nullptr);
  // Below the thumb: one page (the bar's length) at once.
  w_.native()->ButtonDown(CPoint(8, 70));
  EXPECT_EQ(bar->GetScrollPos(), 100);
  Ticks(5);
  EXPECT_EQ(bar->GetScrollPos(), 100);
  // Thumb now at 28..58: the pointer is still below it.
  Ticks(1);
  EXPECT_EQ(bar->GetScrollPos(), 200);
  // Thumb at 41..71 covers the pointer: paging stops.
  Ticks(10);
  EXPECT_EQ(bar->GetScrollPos(), 200);
  w_.native()->ButtonUp(CPoint(8, 70));
  // Above the thumb: a page back.
  w_.native()->ButtonDown(CPoint(8, 20));
  EXPECT_EQ(bar->GetScrollPos(), 100);
  w_.native()->ButtonUp(CPoint(8, 20));
}

TEST_F(BasicScrollBarTest, DraggingTheThumbMovesThePositionByTheTrackRatio) {
  ScrollBar* bar = Build(LR"(width="16" height="100" range="300")");
  ASSERT_NE(bar, nullptr);
  w_.native()->ButtonDown(CPoint(8, 20));
  EXPECT_EQ(bar->GetThumbState(), kControlStatePushed);
  EXPECT_EQ(bar->GetScrollPos(), 0);
  // 19 pixels of a 38-pixel free track: half the range.
  w_.native()->MouseMove(CPoint(8, 39));
  Ticks(1);
  EXPECT_EQ(bar->GetScrollPos(), 150);
  // Far past the end: the range's end.
  w_.native()->MouseMove(CPoint(8, 190));
  Ticks(1);
  EXPECT_EQ(bar->GetScrollPos(), 300);
  // Released outside the bar: thumb normal; inside it would be hot.
  w_.native()->ButtonUp(CPoint(100, 190));
  EXPECT_EQ(bar->GetThumbState(), kControlStateNormal);
  EXPECT_FALSE(bar->IsButtonHeld());
  w_.native()->ButtonDown(CPoint(8, 70));
  w_.native()->ButtonUp(CPoint(8, 70));
  EXPECT_EQ(bar->GetThumbState(), kControlStateHot);

  // Disabled during a drag: released inside, the bar keeps its disabled look.
  w_.native()->ButtonDown(CPoint(8, 70));
  bar->SetEnabled(false);
  w_.native()->ButtonUp(CPoint(8, 70));
  EXPECT_EQ(bar->GetState(), kControlStateDisabled);
  EXPECT_EQ(bar->GetThumbState(), kControlStateDisabled);
  EXPECT_FALSE(bar->IsButtonHeld());
}

TEST_F(BasicScrollBarTest, PartsPaintTheImageOfTheirStateWithFallbacks) {
  testing::PictureFolder pictures;
  const std::wstring red = pictures.WriteSolid("red.png", 4, 4, testing::kBasicRed);
  const std::wstring green = pictures.WriteSolid("green.png", 4, 4, testing::kBasicGreen);
  const std::wstring blue = pictures.WriteSolid("blue.png", 4, 4, testing::kBasicBlue);
  const std::wstring white = pictures.WriteSolid("white.png", 4, 4, testing::kBasicWhite);
  ScrollBar* bar =
      Build(L"width=\"16\" height=\"100\" range=\"300\" bknormalimage=\"file='" + white +
            L"'\" button1normalimage=\"file='" + green + L"'\" button2normalimage=\"file='" +
            green + L"'\" button2hotimage=\"file='" + blue + L"'\" thumbnormalimage=\"file='" +
            red + L"'\" thumbhotimage=\"file='" + blue + L"'\"");
  ASSERT_NE(bar, nullptr);
  auto hue_at = [this](int x, int y, testing::Hue hue) {
    return testing::IsHue(w_.native()->GetPixel(x, y), hue);
  };
  // Normal: green buttons, red thumb on the white background.
  EXPECT_TRUE(hue_at(8, 8, testing::Hue::kGreen));
  EXPECT_TRUE(hue_at(8, 92, testing::Hue::kGreen));
  EXPECT_TRUE(hue_at(8, 30, testing::Hue::kRed));
  EXPECT_TRUE(hue_at(8, 70, testing::Hue::kWhite));
  // Pushing the thumb: no pushed image, so the hot one; the buttons show
  // their hot image while the thumb is held, when they have one.
  w_.native()->ButtonDown(CPoint(8, 30));
  w_.native()->PaintPending();
  EXPECT_TRUE(hue_at(8, 30, testing::Hue::kBlue));
  EXPECT_TRUE(hue_at(8, 92, testing::Hue::kBlue));
  EXPECT_TRUE(hue_at(8, 8, testing::Hue::kGreen));
  w_.native()->ButtonUp(CPoint(150, 150));
  w_.native()->PaintPending();
  EXPECT_TRUE(hue_at(8, 30, testing::Hue::kRed));
  // Disabled without disabled images: the normal ones.
  bar->SetEnabled(false);
  w_.native()->PaintPending();
  EXPECT_TRUE(hue_at(8, 30, testing::Hue::kRed));
  EXPECT_TRUE(hue_at(8, 92, testing::Hue::kGreen));
}

TEST_F(BasicScrollBarTest, OwnersBarScrollsTheOwnerAndPassesTheWheelOn) {
  ScrollableVBox* box = nullptr;
  SkinWindow w(CSize(100, 100));
  ASSERT_NE(w.Build(WindowSkin(LR"(<Scroll vscrollbar="true" vscrollunit="30">
      <Control height="100"/><Control height="100"/><Control height="100"/></Scroll>)"),
                    [&](const std::wstring& tag) -> Control* {
                      if (tag != L"Scroll") return nullptr;
                      box = new ScrollableVBox();
                      box->SetTimerManager(timers_.manager());
                      return box;
                    }),
            nullptr);
  w.Layout();
  ASSERT_NE(box, nullptr);
  ScrollBar* bar = box->GetVerticalScrollBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetOwner(), box);
  EXPECT_EQ(bar->GetScrollRange(), 200);
  // The bar hides until the pointer comes over the box.
  w.native()->MouseMove(CPoint(50, 50));
  w.native()->MouseMove(CPoint(92, 50));
  ASSERT_TRUE(bar->IsVisible());
  ASSERT_EQ(w.window()->FindControl(CPoint(92, 90)), bar);
  // Button 2 scrolls the owner one unit (smoothly).
  w.native()->ButtonDown(CPoint(92, 90));
  w.native()->ButtonUp(CPoint(92, 90));
  for (int i = 0; i < 100 && box->GetScrollPos().cy != 30; ++i) timers_.Tick(16);
  EXPECT_EQ(box->GetScrollPos().cy, 30);
  EXPECT_EQ(bar->GetScrollPos(), 30);
  // Dragging the thumb goes through the owner's position.
  const UiRect thumb = bar->GetThumbRect();
  bar->GetAnimationManager().SetTimerManager(timers_.manager());
  w.native()->ButtonDown(CPoint(92, thumb.top + 2));
  w.native()->MouseMove(CPoint(92, thumb.top + 300));
  timers_.Tick(ScrollBar::kRepeatIntervalMs);
  EXPECT_EQ(box->GetScrollPos().cy, 200);
  w.native()->ButtonUp(CPoint(92, thumb.top + 300));
  // The wheel over the bar scrolls the box.
  w.native()->Wheel(CPoint(92, 50), 120);
  for (int i = 0; i < 100 && box->GetScrollPos().cy != 170; ++i) timers_.Tick(16);
  EXPECT_EQ(box->GetScrollPos().cy, 170);
}

}  // namespace
}  // namespace ui
