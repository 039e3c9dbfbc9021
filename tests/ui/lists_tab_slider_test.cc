// Tab boxes and sliders through real events: which child shows, the slide
// between tabs on a hand-driven clock, and the thumb under drag, clicks,
// keys and the wheel.

#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/animation_test_support.h"
#include "tests/ui/layout_test_support.h"
#include "ui/control/slider.h"
#include "ui/control/tab_box.h"
#include "ui/core/animation_manager.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

class TabBoxTest : public ::testing::Test {
 protected:
  TabBox* Build(const std::wstring& attributes) {
    EXPECT_NE(w_.Build(WindowSkin(L"<TabBox name=\"tabs\" " + attributes +
                                  LR"(><Control name="t0"/><Control name="t1"/>
                                     <Control name="t2"/></TabBox>)")),
              nullptr);
    w_.Layout();
    TabBox* tabs = w_.Find<TabBox>(L"tabs");
    tabs->AttachEvent(kEventSelect, [this](const EventArgs& e) {
      events_.push_back({static_cast<int>(e.w_param), static_cast<int>(e.l_param)});
      return true;
    });
    return tabs;
  }
  Control* Tab(int i) { return w_.Find(L"t" + std::to_wstring(i)); }

  SkinWindow w_{CSize(200, 100)};
  std::vector<std::vector<int>> events_;
};

TEST_F(TabBoxTest, OneChildShowsAndSelectionFollowsRemovals) {
  TabBox* tabs = Build(L"");
  EXPECT_EQ(tabs->GetCurSel(), 0);
  EXPECT_TRUE(Tab(0)->IsVisible());
  EXPECT_FALSE(Tab(1)->IsVisible());
  EXPECT_FALSE(Tab(2)->IsVisible());

  EXPECT_TRUE(tabs->SelectItem(2));
  EXPECT_TRUE(Tab(2)->IsVisible());
  EXPECT_FALSE(Tab(0)->IsVisible());
  EXPECT_EQ(Tab(2)->GetAlpha(), 255);
  EXPECT_TRUE(Tab(2)->IsMouseEnabled());
  EXPECT_FALSE(Tab(0)->IsMouseEnabled());
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0], (std::vector<int>{2, 0}));
  // Already selected: true without an event; out of range: false, nothing changes.
  EXPECT_TRUE(tabs->SelectItem(2));
  EXPECT_FALSE(tabs->SelectItem(3));
  EXPECT_FALSE(tabs->SelectItem(-1));
  EXPECT_EQ(tabs->GetCurSel(), 2);
  EXPECT_EQ(events_.size(), 1u);

  // A child inserted before the selection moves its index up.
  auto* inserted = new Control();
  ASSERT_TRUE(tabs->AddAt(inserted, 0));
  EXPECT_EQ(tabs->GetCurSel(), 3);
  EXPECT_FALSE(inserted->IsVisible());
  // Removing one before it moves it back; removing the selected one selects the first.
  EXPECT_TRUE(tabs->Remove(inserted));
  EXPECT_EQ(tabs->GetCurSel(), 2);
  EXPECT_TRUE(tabs->RemoveAt(2));
  EXPECT_EQ(tabs->GetCurSel(), 0);
  EXPECT_TRUE(Tab(0)->IsVisible());
  EXPECT_EQ(Tab(0)->GetAlpha(), 255);
  tabs->RemoveAll();
  EXPECT_EQ(tabs->GetCurSel(), -1);
  EXPECT_FALSE(tabs->SelectItem(0));
  w_.native()->RunPendingTasks();
}

TEST_F(TabBoxTest, SkinSelectsAChildBeforeItExists) {
  TabBox* tabs = Build(L"selectedid=\"1\"");
  EXPECT_EQ(tabs->GetCurSel(), 1);
  EXPECT_TRUE(Tab(1)->IsVisible());
  EXPECT_FALSE(Tab(0)->IsVisible());
}

TEST_F(TabBoxTest, FadeSwitchSlidesTheNewTabInAndTheOldOneOut) {
  TabBox* tabs = Build(L"fadeswitch=\"true\"");
  ASSERT_TRUE(tabs->IsFadeSwitch());
  ManualTimerService clock;
  for (int i = 0; i < 3; ++i) Tab(i)->GetAnimationManager().SetTimerManager(clock.manager());
  // Hidden tabs stay in the tree but take no input and show nothing.
  EXPECT_EQ(Tab(2)->GetAlpha(), 0);

  ASSERT_TRUE(tabs->SelectItem(2));
  // Forward: the new one comes from the left edge, the old one leaves to the right.
  EXPECT_EQ(Tab(2)->GetRenderOffset().x, -200);
  EXPECT_EQ(Tab(0)->GetAlpha(), 255);
  EXPECT_TRUE(Tab(0)->IsMouseEnabled());
  bool midway = false;
  for (int i = 0; i < 200 && Tab(0)->GetAlpha() != 0; ++i) {
    clock.Tick(16);
    const int x = Tab(2)->GetRenderOffset().x;
    if (x > -200 && x < 0) midway = true;
  }
  EXPECT_TRUE(midway);
  EXPECT_EQ(Tab(2)->GetRenderOffset().x, 0);
  EXPECT_EQ(Tab(0)->GetRenderOffset().x, 200);
  EXPECT_EQ(Tab(0)->GetAlpha(), 0);
  EXPECT_FALSE(Tab(0)->IsMouseEnabled());
  EXPECT_EQ(Tab(2)->GetAlpha(), 255);

  // Backward: the directions swap.
  ASSERT_TRUE(tabs->SelectItem(1));
  EXPECT_EQ(Tab(1)->GetRenderOffset().x, 200);
  for (int i = 0; i < 200 && Tab(2)->GetAlpha() != 0; ++i) clock.Tick(16);
  EXPECT_EQ(Tab(1)->GetRenderOffset().x, 0);
  EXPECT_EQ(Tab(2)->GetRenderOffset().x, -200);
}

class SliderTest : public ::testing::Test {
 protected:
  Slider* Build(const std::wstring& attributes) {
    EXPECT_NE(w_.Build(WindowSkin(L"<VBox><Slider name=\"s\" " + attributes + L"/></VBox>")),
              nullptr);
    w_.Layout();
    Slider* slider = w_.Find<Slider>(L"s");
    slider->AttachEvent(kEventValueChange, [this](const EventArgs&) {
      ++changes_;
      return true;
    });
    return slider;
  }

  SkinWindow w_{CSize(300, 200)};
  int changes_ = 0;
};

TEST_F(SliderTest, ThumbFollowsTheValueAndTheDrag) {
  Slider* s = Build(LR"(width="110" height="20" thumbsize="10,10" value="50")");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetThumbRect(), UiRect(50, 5, 60, 15));

  // Press on the thumb, drag to the right end, release: one change.
  w_.native()->ButtonDown(CPoint(55, 10));
  w_.native()->MouseMove(CPoint(80, 10));
  EXPECT_DOUBLE_EQ(s->GetValue(), 75);
  w_.native()->MouseMove(CPoint(300, 10));
  EXPECT_DOUBLE_EQ(s->GetValue(), 100);
  EXPECT_EQ(changes_, 0);
  w_.native()->ButtonUp(CPoint(300, 10));
  EXPECT_EQ(changes_, 1);
  EXPECT_DOUBLE_EQ(s->GetValue(), 100);
  EXPECT_EQ(s->GetThumbRect().left, 100);

  // A click on the track puts the thumb there.
  w_.native()->Click(CPoint(30, 10));
  EXPECT_DOUBLE_EQ(s->GetValue(), 25);
  EXPECT_EQ(changes_, 2);
  w_.native()->Click(CPoint(2, 10));
  EXPECT_DOUBLE_EQ(s->GetValue(), 0);
}

TEST_F(SliderTest, KeysAndWheelStepInsideTheRange) {
  Slider* s = Build(LR"(width="110" height="20" step="5" value="90")");
  w_.native()->Click(CPoint(s->GetThumbRect().left + 5, 10));
  ASSERT_EQ(w_.window()->GetFocus(), s);
  changes_ = 0;
  w_.native()->KeyDown(0x27);
  EXPECT_DOUBLE_EQ(s->GetValue(), 95);
  w_.native()->KeyDown(0x27);
  w_.native()->KeyDown(0x27);
  EXPECT_DOUBLE_EQ(s->GetValue(), 100);
  EXPECT_EQ(changes_, 2);
  w_.native()->KeyDown(0x24);
  EXPECT_DOUBLE_EQ(s->GetValue(), 0);
  w_.native()->Wheel(CPoint(50, 10), -120);
  EXPECT_DOUBLE_EQ(s->GetValue(), 0);
  w_.native()->Wheel(CPoint(50, 10), 120);
  EXPECT_DOUBLE_EQ(s->GetValue(), 5);
  w_.native()->KeyDown(0x23);
  EXPECT_DOUBLE_EQ(s->GetValue(), 100);
}

TEST_F(SliderTest, VerticalAndInvertedRangesStayDefined) {
  Slider* s = Build(LR"(hor="false" width="20" height="110" thumbsize="10,10" value="25")");
  // Value 25 of 0..100 on a 100-pixel track: 25 pixels up from the bottom.
  EXPECT_EQ(s->GetThumbRect(), UiRect(5, 75, 15, 85));
  EXPECT_DOUBLE_EQ(s->ValueAt(CPoint(10, 108)), 0);
  EXPECT_DOUBLE_EQ(s->ValueAt(CPoint(10, 2)), 100);

  s->SetMinValue(50);
  s->SetMaxValue(10);
  const UiRect thumb = s->GetThumbRect();
  EXPECT_GE(thumb.top, 0);
  EXPECT_LE(thumb.bottom, 110);
  const double v = s->ValueAt(CPoint(10, 50));
  EXPECT_GE(v, 50);
  EXPECT_LE(v, 51);
  w_.native()->Click(CPoint(10, 50));
  EXPECT_GE(s->GetValue(), 50);
  w_.Layout();
}

}  // namespace
}  // namespace ui
