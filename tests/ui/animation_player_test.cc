#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/ui/animation_test_support.h"
#include "ui/animation/animation_player.h"
#include "ui/animation/timer_manager.h"

namespace ui {
namespace {

class AnimationPlayerTest : public ::testing::Test {
 protected:
  // A player wired to the manual clock that records what it hands out.
  std::unique_ptr<AnimationPlayer> MakePlayer(int start, int end, int total_ms, double r1,
                                              double r2) {
    auto player = std::make_unique<AnimationPlayer>();
    player->SetTimerManager(service_.manager());
    player->SetStartValue(start);
    player->SetEndValue(end);
    player->SetTotalTime(total_ms);
    player->SetSpeedUpRatio(r1);
    player->SetSpeedDownRatio(r2);
    player->SetPlayCallback([this](int value) { values_.push_back(value); });
    player->SetCompleteCallback([this] { completed_at_.push_back(service_.ElapsedMs()); });
    return player;
  }
  // The hot fade of a control: 0 to 255 in 250 ms, 30 % up and 70 % down.
  std::unique_ptr<AnimationPlayer> MakeHotFade() { return MakePlayer(0, 255, 250, 0.3, 0.7); }

  // Ticks every 16 ms (the fast timeout) and lands the last tick exactly `ms`
  // later, at least `gap` ms after the one before, so that a player stepping
  // every `gap` ms or faster steps there.
  void RunFor(int64_t ms, int64_t gap = 1) {
    const int64_t end = service_.ElapsedMs() + ms;
    while (end - service_.ElapsedMs() > 16 + gap) service_.Tick(16);
    if (end - service_.ElapsedMs() > gap) service_.Tick(end - service_.ElapsedMs() - gap);
    service_.Tick(end - service_.ElapsedMs());
  }

  int last() const { return values_.empty() ? -1 : values_.back(); }

  ManualTimerService service_;
  std::vector<int> values_;
  std::vector<int64_t> completed_at_;
};

TEST_F(AnimationPlayerTest, HotFadeReaches255At250msAndCompletes) {
  auto player = MakeHotFade();
  player->Continue();
  EXPECT_EQ(player->GetStepInterval(), 1);
  EXPECT_TRUE(service_.manager()->IsFastTimeout());
  RunFor(75);
  // With no glide the speed-up covers its share of the way: 30 % of 255.
  EXPECT_EQ(last(), 76);
  RunFor(174);
  EXPECT_LT(last(), 255);
  EXPECT_TRUE(completed_at_.empty());
  EXPECT_TRUE(player->IsPlaying());
  RunFor(1);
  EXPECT_EQ(last(), 255);
  EXPECT_EQ(completed_at_, (std::vector<int64_t>{250}));
  EXPECT_FALSE(player->IsPlaying());
  for (size_t i = 1; i < values_.size(); ++i) EXPECT_LT(values_[i - 1], values_[i]);
  // Its timer is gone at the next tick, and so is the GLib timeout.
  service_.Tick(16);
  EXPECT_EQ(values_.back(), 255);
  EXPECT_EQ(service_.manager()->GetPendingCount(), 0u);
  EXPECT_EQ(service_.manager()->GetTimeoutInterval(), 0);
}

TEST_F(AnimationPlayerTest, LeavingAfter100msRunsBackIn100ms) {
  auto player = MakeHotFade();
  player->Continue();
  RunFor(100);
  const int at_leave = last();
  EXPECT_GT(at_leave, 76);
  player->ReverseContinue();
  EXPECT_DOUBLE_EQ(player->GetElapsed(), 150);
  EXPECT_EQ(player->GetStartValue(), 255);
  EXPECT_EQ(player->GetEndValue(), 0);
  RunFor(99);
  EXPECT_GT(last(), 0);
  EXPECT_TRUE(completed_at_.empty());
  RunFor(1);
  EXPECT_EQ(last(), 0);
  EXPECT_EQ(completed_at_, (std::vector<int64_t>{200}));

  // Entering again turns around once more: the full way back up.
  values_.clear();
  player->Continue();
  EXPECT_EQ(player->GetStartValue(), 0);
  RunFor(249);
  EXPECT_LT(last(), 255);
  RunFor(1);
  EXPECT_EQ(last(), 255);
  EXPECT_EQ(completed_at_.back(), 450);
}

TEST_F(AnimationPlayerTest, FirstReverseOfAFreshPlayerRunsTheFullWay) {
  auto player = MakeHotFade();
  player->ReverseContinue();
  EXPECT_EQ(player->GetLastValue(), 255);
  RunFor(249);
  EXPECT_GT(last(), 0);
  EXPECT_TRUE(completed_at_.empty());
  RunFor(1);
  EXPECT_EQ(last(), 0);
  EXPECT_EQ(completed_at_, (std::vector<int64_t>{250}));
  for (size_t i = 1; i < values_.size(); ++i) EXPECT_GT(values_[i - 1], values_[i]);
}

TEST_F(AnimationPlayerTest, DerivedDurationsOfSizeFadeAndSlide) {
  struct Case {
    int start, end;
    double factor;
    int expected_ms;
  };
  // A 100-unit width fade and a 100-pixel slide in from the left.
  for (const Case& c : {Case{0, 100, 0.00084, 629}, Case{100, 0, 0.006, 235}}) {
    SCOPED_TRACE(c.expected_ms);
    // One run stepping at 1 ms short of the duration, one stepping right at it.
    for (int run_ms : {c.expected_ms - 1, c.expected_ms}) {
      values_.clear();
      completed_at_.clear();
      const int64_t begin = service_.ElapsedMs();
      auto player = MakePlayer(c.start, c.end, -1, 0.3, 0.7);
      player->SetSpeedUpFactor(c.factor);
      player->Continue();
      EXPECT_EQ(player->GetTotalTime(), c.expected_ms);
      EXPECT_DOUBLE_EQ(player->GetSpeedUpFactor(), c.factor);
      RunFor(run_ms, player->GetStepInterval());
      if (run_ms < c.expected_ms) {
        EXPECT_NE(last(), c.end);
        EXPECT_TRUE(completed_at_.empty());
      } else {
        EXPECT_EQ(last(), c.end);
        EXPECT_EQ(completed_at_, (std::vector<int64_t>{begin + c.expected_ms}));
      }
    }
  }
}

TEST_F(AnimationPlayerTest, DerivedDurationIsCutAtTheMaximumAndTheCurveRefitted) {
  for (int run_ms : {9999, 10000}) {
    auto player = MakePlayer(0, 100, -1, 0.3, 0.7);
    player->SetSpeedUpFactor(1e-9);  // would take about 18 000 s
    player->SetMaxTotalTime(10000);
    player->Continue();
    EXPECT_EQ(player->GetTotalTime(), 10000);
    service_.Tick(run_ms);
    EXPECT_EQ(last(), run_ms == 10000 ? 100 : 99);
  }
  EXPECT_EQ(completed_at_.size(), 1u);
}

TEST_F(AnimationPlayerTest, LinearPlayers) {
  // Speed given: the duration is distance / speed.
  auto by_speed = MakePlayer(0, 100, -1, 0, 0);
  by_speed->SetLinearSpeed(0.5);
  by_speed->Continue();
  EXPECT_EQ(by_speed->GetTotalTime(), 200);
  EXPECT_EQ(by_speed->GetStepInterval(), 2);
  RunFor(100, by_speed->GetStepInterval());
  EXPECT_EQ(last(), 50);
  RunFor(100, by_speed->GetStepInterval());
  EXPECT_EQ(last(), 100);
  EXPECT_EQ(completed_at_.size(), 1u);

  // Duration given: the speed follows.
  auto by_time = MakePlayer(10, -30, 80, 0, 0);
  by_time->Continue();
  EXPECT_DOUBLE_EQ(by_time->GetLinearSpeed(), 0.5);
  RunFor(40, by_time->GetStepInterval());
  EXPECT_EQ(last(), -10);

  // Neither: no duration, so it goes straight to the end without dividing by 0.
  values_.clear();
  completed_at_.clear();
  auto neither = MakePlayer(0, 100, -1, 0, 0);
  neither->Continue();
  EXPECT_EQ(neither->GetTotalTime(), 0);
  EXPECT_EQ(values_, (std::vector<int>{100}));
  EXPECT_EQ(completed_at_.size(), 1u);
  EXPECT_FALSE(neither->IsPlaying());
}

TEST_F(AnimationPlayerTest, PauseKeepsProgressAndIgnoresThePausedTime) {
  auto player = MakeHotFade();
  player->Continue();
  RunFor(50);
  const int at_pause = last();
  player->Pause();
  RunFor(1000);
  EXPECT_EQ(last(), at_pause);
  player->Continue();
  RunFor(199);
  EXPECT_TRUE(completed_at_.empty());
  RunFor(1);
  EXPECT_EQ(last(), 255);
  EXPECT_EQ(completed_at_, (std::vector<int64_t>{1250}));
}

TEST_F(AnimationPlayerTest, ResetPlaysForwardFromTheStart) {
  auto player = MakeHotFade();
  player->ReverseContinue();
  RunFor(100);
  player->Reset();
  EXPECT_EQ(player->GetStartValue(), 0);
  EXPECT_EQ(player->GetEndValue(), 255);
  values_.clear();
  RunFor(250);
  EXPECT_EQ(last(), 255);
  EXPECT_EQ(completed_at_, (std::vector<int64_t>{350}));
  // Forward again after the reset needs no turn-around.
  player->Continue();
  EXPECT_EQ(player->GetStartValue(), 0);
}

TEST_F(AnimationPlayerTest, EdgesOfTheLifecycle) {
  // Equal start and end completes at once without a timer.
  auto still = MakePlayer(7, 7, 100, 0.3, 0.7);
  still->Continue();
  EXPECT_EQ(completed_at_.size(), 1u);
  EXPECT_TRUE(values_.empty());
  EXPECT_EQ(service_.manager()->GetPendingCount(), 0u);

  // Without a play callback it never completes by itself.
  auto silent = MakeHotFade();
  silent->SetPlayCallback(nullptr);
  silent->Continue();
  RunFor(1000);
  EXPECT_EQ(silent->GetLastValue(), 255);
  EXPECT_TRUE(silent->IsPlaying());
  EXPECT_EQ(completed_at_.size(), 1u);
  silent->Pause();

  // A player destroyed mid-play leaves a dead timer behind, nothing more.
  auto doomed = MakeHotFade();
  doomed->Continue();
  RunFor(16);
  const size_t seen = values_.size();
  doomed.reset();
  RunFor(500);
  EXPECT_EQ(values_.size(), seen);
  EXPECT_EQ(service_.manager()->GetPendingCount(), 0u);
}

TEST_F(AnimationPlayerTest, CompleteCallbackMayRestartOrDestroyThePlayer) {
  auto player = MakeHotFade();
  int restarts = 0;
  player->SetCompleteCallback([&] {
    if (restarts++ == 0) player->Reset();
  });
  player->Continue();
  RunFor(250);
  EXPECT_EQ(restarts, 1);
  EXPECT_TRUE(player->IsPlaying());
  RunFor(250);
  EXPECT_EQ(restarts, 2);
  EXPECT_FALSE(player->IsPlaying());

  auto owned = MakeHotFade();
  owned->SetCompleteCallback([&] { owned.reset(); });
  owned->Continue();
  RunFor(300);
  EXPECT_EQ(owned, nullptr);
  EXPECT_EQ(last(), 255);
}

}  // namespace
}  // namespace ui
