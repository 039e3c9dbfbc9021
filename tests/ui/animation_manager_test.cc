#include <gtest/gtest.h>

#include "animation_test_support.h"
#include "control_test_support.h"
#include "ui/core/animation_manager.h"

namespace ui {
namespace {

class AnimationManagerTest : public ::testing::Test {
 protected:
  // A control on the manual clock; `width` 0 leaves it stretching.
  std::unique_ptr<Control> MakeControl(int width = 0, int height = 0) {
    auto control = std::make_unique<Control>();
    control->GetAnimationManager().SetTimerManager(timers_.manager());
    if (width > 0) control->SetFixedWidth(width, true, false);
    if (height > 0) control->SetFixedHeight(height, false);
    return control;
  }

  ManualTimerService timers_;
};

TEST_F(AnimationManagerTest, HotFadeRunsForwardAndTurnsAroundKeepingProgress) {
  auto control = MakeControl();
  AnimationPlayer* hot = control->GetAnimationManager().SetFadeHot(true);
  ASSERT_NE(hot, nullptr);
  EXPECT_EQ(hot->GetStartValue(), 0);
  EXPECT_EQ(hot->GetEndValue(), 255);
  EXPECT_EQ(hot->GetTotalTime(), 250);

  hot->Continue();
  timers_.Tick(100);
  const int at_100 = control->GetHotAlpha();
  EXPECT_GT(at_100, 0);
  EXPECT_LT(at_100, 255);
  // Leaving now runs back over the 100 ms already played.
  hot->ReverseContinue();
  timers_.Tick(50);
  EXPECT_GT(control->GetHotAlpha(), 0);
  EXPECT_LT(control->GetHotAlpha(), at_100);
  timers_.Tick(50);
  EXPECT_EQ(control->GetHotAlpha(), 0);
  EXPECT_FALSE(hot->IsPlaying());

  hot->Continue();
  timers_.Tick(249);
  EXPECT_LT(control->GetHotAlpha(), 255);
  timers_.Tick(1);
  EXPECT_EQ(control->GetHotAlpha(), 255);
  EXPECT_FALSE(hot->IsPlaying());
}

TEST_F(AnimationManagerTest, FadeAlphaAppearsAndDisappearsHidingAtTheEnd) {
  auto control = MakeControl();
  AnimationManager& manager = control->GetAnimationManager();
  manager.SetFadeAlpha(true);
  EXPECT_EQ(control->GetAlpha(), 0);
  control->SetFadeVisible(true);
  EXPECT_TRUE(control->IsVisible());
  timers_.Tick(125);
  EXPECT_GT(control->GetAlpha(), 0);
  EXPECT_LT(control->GetAlpha(), 255);
  timers_.Tick(125);
  EXPECT_EQ(control->GetAlpha(), 255);

  control->SetFadeVisible(false);
  EXPECT_TRUE(control->IsVisible());
  timers_.Tick(200);
  EXPECT_TRUE(control->IsVisible());
  timers_.Tick(50);
  EXPECT_EQ(control->GetAlpha(), 0);
  EXPECT_FALSE(control->IsVisible());

  // Showing again must not be undone by the hide bound to the last fade.
  control->SetFadeVisible(true);
  timers_.Tick(250);
  EXPECT_TRUE(control->IsVisible());
  EXPECT_EQ(control->GetAlpha(), 255);

  manager.SetFadeAlpha(false);
  EXPECT_EQ(manager.GetAnimationPlayer(kAnimationAlpha), nullptr);
  EXPECT_EQ(control->GetAlpha(), 255);
}

TEST_F(AnimationManagerTest, DisappearWithoutPlayersHidesAtOnce) {
  auto control = MakeControl();
  control->SetFadeVisible(false);
  EXPECT_FALSE(control->IsVisible());
  control->SetAttribute(L"fadevisible", L"true");
  EXPECT_TRUE(control->IsVisible());
}

TEST_F(AnimationManagerTest, WidthFadeGrowsToTheEstimatedWidthOverDerivedTime) {
  auto control = MakeControl(100, 20);
  AnimationPlayer* player = control->GetAnimationManager().SetFadeWidth(true);
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->GetEndValue(), 100);
  control->GetAnimationManager().Appear();
  timers_.Tick(100);
  EXPECT_GT(control->GetFixedWidth(), 0);
  EXPECT_LT(control->GetFixedWidth(), 20);
  // sqrt(100 / (0.3 * 0.00084)) = 629 ms.
  timers_.Tick(500);
  EXPECT_GT(control->GetFixedWidth(), 0);
  EXPECT_LT(control->GetFixedWidth(), 100);
  EXPECT_EQ(player->GetTotalTime(), 629);
  timers_.Tick(29);
  EXPECT_EQ(control->GetFixedWidth(), 100);
}

TEST_F(AnimationManagerTest, SlidesStartOneSizeAwayAndEndAtZero) {
  auto control = MakeControl(80, 30);
  AnimationManager& manager = control->GetAnimationManager();
  AnimationPlayer* from_right = manager.SetFadeInOutX(true, true);
  AnimationPlayer* from_left = manager.SetFadeInOutX(true, false);
  AnimationPlayer* from_bottom = manager.SetFadeInOutY(true, true);
  EXPECT_EQ(from_right->GetStartValue(), -80);
  EXPECT_EQ(from_left->GetStartValue(), 80);
  EXPECT_EQ(from_bottom->GetStartValue(), -30);
  EXPECT_EQ(manager.GetAnimationPlayer(kAnimationInoutXFromRight), from_right);
  EXPECT_EQ(manager.GetAnimationPlayer(kAnimationInoutYFromTop), nullptr);
  manager.SetFadeInOutX(false, false);
  manager.SetFadeInOutY(false, true);
  EXPECT_EQ(manager.GetAnimationPlayer(kAnimationInoutXFromLeft), nullptr);

  control->SetFadeVisible(true);
  EXPECT_LT(control->GetRenderOffset().x, 0);
  timers_.Tick(1000);
  EXPECT_EQ(control->GetRenderOffset(), CPoint(0, 0));

  // A stretching control slides by 100.
  auto stretching = MakeControl();
  EXPECT_EQ(stretching->GetAnimationManager().SetFadeInOutY(true, false)->GetStartValue(), 100);
}

TEST_F(AnimationManagerTest, PlayersFallSilentOnceTheControlIsGone) {
  auto control = MakeControl();
  control->GetAnimationManager().SetFadeHot(true)->Continue();
  control->GetAnimationManager().SetFadeAlpha(true)->Continue();
  control.reset();
  timers_.Tick(100);
  timers_.Tick(300);
  EXPECT_EQ(timers_.manager()->GetPendingCount(), 0u);
}

}  // namespace
}  // namespace ui
