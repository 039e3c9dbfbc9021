#include "ui/animation/animation_player.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "ui/animation/timer_manager.h"

namespace ui {

AnimationPlayerBase::AnimationPlayerBase() = default;

AnimationPlayerBase::~AnimationPlayerBase() = default;

TimerManager* AnimationPlayerBase::GetTimerManager() const {
  return timer_manager_ ? timer_manager_ : TimerManager::GetInstance();
}

void AnimationPlayerBase::Init() {
  timer_flag_.Cancel();
  start_value_ = end_value_ = current_value_ = 0;
  total_time_ = -1;
  elapsed_ = 0;
  step_interval_ = 0;
  last_tick_ = nbase::TickTime();
  playing_ = false;
  reversed_ = false;
}

void AnimationPlayerBase::Reset() {
  timer_flag_.Cancel();
  elapsed_ = 0;
  // Start and end go back to their order at creation, or a reset of a
  // reversed player would play backward while calling itself forward.
  if (reversed_) std::swap(start_value_, end_value_);
  reversed_ = false;
  StartPlay();
}

void AnimationPlayerBase::Pause() {
  timer_flag_.Cancel();
}

void AnimationPlayerBase::Continue() {
  timer_flag_.Cancel();
  if (reversed_) {
    TurnAround();
    reversed_ = false;
  }
  first_run_ = false;
  StartPlay();
}

void AnimationPlayerBase::ReverseContinue() {
  timer_flag_.Cancel();
  if (!reversed_) TurnAround();
  // A fresh player has nothing to turn back from: it runs the whole way.
  if (first_run_) elapsed_ = 0;
  reversed_ = true;
  first_run_ = false;
  StartPlay();
}

void AnimationPlayerBase::TurnAround() {
  std::swap(start_value_, end_value_);
  current_value_ = start_value_;
  elapsed_ = total_time_ - elapsed_;
  if (elapsed_ < 0) elapsed_ = 0;
}

void AnimationPlayerBase::StartPlay() {
  last_tick_ = GetTimerManager()->Now();
  playing_ = true;
  if (end_value_ == start_value_) {
    Complete();
    return;
  }
  const int64_t distance = std::llabs(static_cast<int64_t>(end_value_) - start_value_);
  step_interval_ = static_cast<int>(total_time_ / distance);
  if (step_interval_ < 1) step_interval_ = 1;

  std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
  Step();
  // The first step may already have finished the play (or the player).
  if (alive.expired() || !playing_) return;
  GetTimerManager()->AddCancelableTimer(
      timer_flag_.AcquireWeakFlag(), MakeWeakCallback([this] { Step(); }),
      static_cast<uint32_t>(step_interval_), TimerManager::kRepeatForever);
}

void AnimationPlayerBase::Step() {
  const nbase::TickTime now = GetTimerManager()->Now();
  elapsed_ += static_cast<double>((now - last_tick_).ToMicroseconds()) / 1000.0;
  last_tick_ = now;
  const int value = GetCurrentValue();
  if (!play_callback_) {
    current_value_ = value;
    return;
  }
  const bool reached = (start_value_ < end_value_ && value >= end_value_) ||
                       (end_value_ < start_value_ && value <= end_value_);
  if (reached) {
    current_value_ = end_value_;
    std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
    play_callback_(end_value_);
    if (!alive.expired()) Complete();
    return;
  }
  if (value != current_value_) {
    current_value_ = value;
    play_callback_(value);
  }
}

void AnimationPlayerBase::Complete() {
  // Stop first: the complete callback may start the player again.
  timer_flag_.Cancel();
  playing_ = false;
  if (complete_callback_) {
    CompleteCallback callback = complete_callback_;
    callback();
  }
}

void AnimationPlayer::Init() {
  AnimationPlayerBase::Init();
  speed_up_ratio_ = speed_down_ratio_ = 0;
  speed_up_time_ = linear_speed_ = linear_time_ = speed_down_time_ = 0;
  speed_up_factor_ = speed_down_factor_ = speed_down_initial_speed_ = 0;
  max_total_time_ = kDefaultMaxTotalTime;
}

void AnimationPlayer::StartPlay() {
  InitFactor();
  AnimationPlayerBase::StartPlay();
}

double AnimationPlayer::DeriveFactors(double distance) {
  const double r1 = speed_up_ratio_, r2 = speed_down_ratio_;
  const double t = total_time_;
  if (total_time_ > 0) {
    const double g = 2 * (1 - r1 - r2);
    if (r1 != 0) {
      speed_up_factor_ = distance / ((g * r1 + r1 * r1 + r2 * r1) * t * t);
    } else if (r2 != 0) {
      speed_down_factor_ = -distance / ((g * r2 + r2 * r2 + r2 * r1) * t * t);
    }
  }
  double d;
  if (speed_up_factor_ == 0 || r1 == 0) {
    if (speed_down_factor_ != 0 && r2 != 0) {
      d = -(r2 * speed_down_factor_);
      if (r1 != 0) speed_up_factor_ = -(r2 * speed_down_factor_ / r1);
    } else {
      d = 0;
    }
  } else {
    d = speed_up_factor_ * r1;
    if (r2 != 0) speed_down_factor_ = -(d / r2);
  }
  return d;
}

void AnimationPlayer::InitFactor() {
  const double distance =
      std::fabs(static_cast<double>(end_value_) - static_cast<double>(start_value_));
  const double r1 = speed_up_ratio_, r2 = speed_down_ratio_;
  if (r1 == 0 && r2 == 0) {
    if (total_time_ == -1) {
      // Without a speed there is no duration: the value goes straight to the end.
      const double derived = linear_speed_ > 0 ? std::trunc(distance / linear_speed_) : 0;
      total_time_ = derived > max_total_time_ ? max_total_time_ : static_cast<int>(derived);
    } else {
      linear_speed_ = total_time_ > 0 ? distance / total_time_ : 0;
    }
    speed_up_time_ = speed_down_time_ = 0;
    linear_time_ = total_time_;
    return;
  }

  const bool derive_total = total_time_ == -1;
  double d = DeriveFactors(distance);
  if (derive_total) {
    const double divisor =
        speed_up_factor_ * r1 * r1 + 2 * (1 - r1 - r2) * d - speed_down_factor_ * r2 * r2;
    const double squared = divisor > 0 ? distance / divisor : INFINITY;
    const double derived = std::trunc(std::sqrt(squared));
    if (std::isfinite(derived) && derived <= max_total_time_) {
      total_time_ = static_cast<int>(derived);
    } else {
      total_time_ = max_total_time_;
      d = DeriveFactors(distance);
    }
  }

  const double t = total_time_;
  linear_speed_ = 2 * d * t;
  speed_down_initial_speed_ = linear_speed_;
  speed_up_time_ = t * r1;
  speed_down_time_ = t * r2;
  linear_time_ = t - t * r1 - t * r2;
}

int AnimationPlayer::GetCurrentValue() const {
  const double t = elapsed_;
  if (t >= total_time_) return end_value_;
  const double a1 = speed_up_factor_, a2 = speed_down_factor_, v = linear_speed_;
  const double t1 = speed_up_time_, t2 = linear_time_;
  double distance;
  if (t <= t1) {
    distance = a1 * t * t;
  } else if (t <= t1 + t2) {
    distance = (t - t1) * v + a1 * t1 * t1;
  } else {
    const double s = t - t1 - t2;
    distance = a1 * t1 * t1 + v * t2 + a2 * s * s + v * s;
  }
  // Rounding may overshoot the end a little; the end is where it stops.
  const double span =
      std::fabs(static_cast<double>(end_value_) - static_cast<double>(start_value_));
  if (!(distance > 0)) distance = 0;
  if (distance > span) distance = span;
  const int64_t whole = static_cast<int64_t>(std::trunc(distance));
  const int64_t value =
      start_value_ < end_value_ ? int64_t{start_value_} + whole : int64_t{start_value_} - whole;
  return static_cast<int>(value);
}

}  // namespace ui
