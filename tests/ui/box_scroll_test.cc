// Scrollable boxes: ranges from content, smooth wheel scrolling, keeping the
// end, painting and hit testing in scrolled coordinates.

#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/animation_test_support.h"
#include "tests/ui/layout_test_support.h"
#include "ui/control/scroll_bar.h"
#include "ui/control/scrollable_box.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

class BoxScrollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalManager::AddTextColor(L"scroll_test_red", 0xffff0000);
    GlobalManager::AddTextColor(L"scroll_test_green", 0xff00ff00);
    GlobalManager::AddTextColor(L"scroll_test_blue", 0xff0000ff);
  }
  void TearDown() override { GlobalManager::ClearTextColors(); }

  // Five 100-pixel rows and a floating 10-pixel square in a 100 x 100 view.
  ScrollableBox* Build(const std::wstring& extra = L"") {
    box_ = nullptr;
    w_.Build(WindowSkin(L"<Scroll name=\"s\" vscrollbar=\"true\" " + extra + LR"(>
        <Control name="c0" height="100" bkcolor="scroll_test_green"/>
        <Control name="c1" height="100" bkcolor="scroll_test_blue"/>
        <Control height="100"/><Control height="100"/><Control height="100"/>
        <Control name="f" float="true" width="10" height="10" bkcolor="scroll_test_red"/>
        </Scroll>)"),
             [this](const std::wstring& tag) -> Control* {
               if (tag != L"Scroll") return nullptr;
               box_ = new ScrollableVBox();
               box_->SetTimerManager(timers_.manager());
               return box_;
             });
    w_.Layout();
    return box_;
  }

  SkinWindow w_{CSize(100, 100)};
  ManualTimerService timers_;
  ScrollableVBox* box_ = nullptr;
};

TEST_F(BoxScrollTest, ContentTallerThanTheViewGivesTheBarARangeAndAPlace) {
  ScrollableBox* box = Build();
  ASSERT_NE(box, nullptr);
  ScrollBar* bar = box->GetVerticalScrollBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(box->GetScrollRange(), CSize(0, 400));
  EXPECT_EQ(bar->GetPos(), UiRect(84, 0, 100, 100));
  // A floating bar leaves the children their full width.
  EXPECT_EQ(w_.Pos(L"c1"), UiRect(0, 100, 100, 200));
}

TEST_F(BoxScrollTest, WheelNotchScrollsOneUnitSmoothly) {
  ScrollableBox* box = Build(LR"(vscrollunit="30")");
  std::vector<int> seen;
  box->AttachEvent(kEventScrollChange, [&](const EventArgs&) {
    seen.push_back(box->GetScrollPos().cy);
    return true;
  });
  w_.native()->Wheel(CPoint(50, 50), -120);
  for (int i = 0; i < 100 && box->GetScrollPos().cy != 30; ++i) timers_.Tick(16);
  EXPECT_EQ(box->GetScrollPos().cy, 30);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_GT(seen.front(), 0);
  EXPECT_LT(seen.front(), 30);
  EXPECT_EQ(seen.back(), 30);
  // Up again returns to the top; nothing below 0.
  w_.native()->Wheel(CPoint(50, 50), 120);
  w_.native()->Wheel(CPoint(50, 50), 120);
  for (int i = 0; i < 200; ++i) timers_.Tick(16);
  EXPECT_EQ(box->GetScrollPos().cy, 0);
}

TEST_F(BoxScrollTest, ScrolledContentPaintsShiftedButFloatingChildrenStay) {
  ScrollableBox* box = Build();
  box->SetScrollPosY(30);
  w_.native()->PaintAll();
  EXPECT_EQ(w_.native()->GetPixel(5, 5), 0xffff0000u);
  EXPECT_EQ(w_.native()->GetPixel(50, 50), 0xff00ff00u);
  EXPECT_EQ(w_.native()->GetPixel(50, 80), 0xff0000ffu);
  // Children keep unscrolled rects; hit tests add the scroll position.
  EXPECT_EQ(w_.Pos(L"c1"), UiRect(0, 100, 100, 200));
  EXPECT_EQ(w_.window()->FindControl(CPoint(50, 80)), w_.Find(L"c1"));
  EXPECT_EQ(w_.Find(L"c1")->GetScrollOffset(), CPoint(0, 30));
  EXPECT_EQ(w_.Find(L"f")->GetScrollOffset(), CPoint(0, 0));
  // The floating child is hit where it is painted, not where the content scrolled to.
  EXPECT_EQ(w_.window()->FindControl(CPoint(5, 5)), w_.Find(L"f"));
  EXPECT_EQ(w_.window()->FindControl(CPoint(50, 5)), w_.Find(L"c0"));
}

TEST_F(BoxScrollTest, ContentOfAFloatingChildDoesNotScrollEither) {
  ScrollableBox* box = Build();
  auto* overlay = new VBox();
  overlay->SetFloat(true);
  overlay->SetFixedWidth(20);
  overlay->SetFixedHeight(20);
  auto* inner = new Control();
  overlay->Add(inner);
  box->Add(overlay);
  w_.Layout();
  ASSERT_EQ(inner->GetPos(), UiRect(0, 0, 20, 20));
  box->SetScrollPosY(30);
  EXPECT_EQ(inner->GetScrollOffset(), CPoint(0, 0));
  EXPECT_EQ(w_.window()->FindControl(CPoint(5, 5)), inner);
  // A click released where it is painted lands inside.
  EXPECT_TRUE(inner->HitTestScrolled(CPoint(5, 5)));
  EXPECT_EQ(w_.Find(L"c0")->GetScrollOffset(), CPoint(0, 30));
}

TEST_F(BoxScrollTest, HoldEndKeepsTheEndWhenContentGrows) {
  for (const bool hold : {true, false}) {
    ScrollableBox* box = Build(hold ? LR"(holdend="true")" : L"");
    box->EndDown(false, false);
    EXPECT_EQ(box->GetScrollPos().cy, 400);
    auto* row = new Control();
    row->SetFixedHeight(100);
    box->Add(row);
    w_.Layout();
    EXPECT_EQ(box->GetScrollRange().cy, 500);
    EXPECT_EQ(box->GetScrollPos().cy, hold ? 500 : 400);
  }
}

TEST_F(BoxScrollTest, ShrinkingContentClampsThePositionAndDropsTheRange) {
  ScrollableBox* box = Build();
  box->SetScrollPosY(400);
  while (box->GetCount() > 2) box->RemoveAt(0);
  w_.window()->DoDelayedCleanup();
  w_.Layout();
  // One row and the float are left: everything fits.
  EXPECT_EQ(box->GetScrollRange().cy, 0);
  EXPECT_EQ(box->GetScrollPos().cy, 0);
  box->PageDown();
  EXPECT_EQ(box->GetScrollPos().cy, 0);
}

}  // namespace
}  // namespace ui
