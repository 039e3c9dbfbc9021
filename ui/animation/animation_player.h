#pragma once

#include <functional>

#include "base/callback.h"
#include "base/time.h"

namespace ui {

class TimerManager;

// Moves an integer from a start to an end value over time and hands each new
// value to a callback, stepping on the shared timer service. Continue plays
// forward, ReverseContinue backward; each turns around keeping the progress
// made in the other direction.
class AnimationPlayerBase : public nbase::SupportWeakCallback {
 public:
  using PlayCallback = std::function<void(int)>;
  using CompleteCallback = std::function<void()>;

  AnimationPlayerBase();
  ~AnimationPlayerBase() override;

  // Back to the values after creation, except the first-run mark.
  virtual void Init();
  // Plays forward from the start value.
  virtual void Reset();
  virtual void Pause();
  virtual void Continue();
  virtual void ReverseContinue();
  virtual void StartPlay();
  // The value at the time played so far in the current direction.
  virtual int GetCurrentValue() const = 0;
  virtual void SetSpeedUpFactor(double) {}
  virtual void SetSpeedDownFactor(double) {}

  void SetStartValue(int value) { start_value_ = value; }
  void SetEndValue(int value) { end_value_ = value; }
  int GetStartValue() const { return start_value_; }
  int GetEndValue() const { return end_value_; }
  // -1: derived from the speed (AnimationPlayer).
  void SetTotalTime(int ms) { total_time_ = ms; }
  int GetTotalTime() const { return total_time_; }
  void SetPlayCallback(PlayCallback callback) { play_callback_ = std::move(callback); }
  void SetCompleteCallback(CompleteCallback callback) { complete_callback_ = std::move(callback); }
  bool IsPlaying() const { return playing_; }
  // The last value handed out.
  int GetLastValue() const { return current_value_; }
  double GetElapsed() const { return elapsed_; }
  int GetStepInterval() const { return step_interval_; }

  // The service that steps the player and tells the time; the process-wide
  // one unless set.
  void SetTimerManager(TimerManager* timer_manager) { timer_manager_ = timer_manager; }

 protected:
  TimerManager* GetTimerManager() const;

  int start_value_ = 0;
  int end_value_ = 0;
  int current_value_ = 0;
  int total_time_ = -1;
  double elapsed_ = 0;

 private:
  void Step();
  void Complete();
  // Swaps start and end and counts the rest of the way as already played.
  void TurnAround();

  int step_interval_ = 0;
  bool first_run_ = true;
  bool playing_ = false;
  bool reversed_ = false;
  PlayCallback play_callback_;
  CompleteCallback complete_callback_;
  nbase::TickTime last_tick_;
  nbase::WeakCallbackFlag timer_flag_;
  TimerManager* timer_manager_ = nullptr;
};

// Accelerates for the speed-up share of the time, glides, and decelerates for
// the speed-down share. With both shares 0 it is linear. Times are ms, values
// are units; the speed-up factor a1 gives the distance a1 * t * t.
class AnimationPlayer : public AnimationPlayerBase {
 public:
  static constexpr int kDefaultMaxTotalTime = 1000000;

  AnimationPlayer() = default;

  void Init() override;
  void StartPlay() override;
  int GetCurrentValue() const override;
  void SetSpeedUpFactor(double factor) override { speed_up_factor_ = factor; }
  void SetSpeedDownFactor(double factor) override { speed_down_factor_ = factor; }

  void SetLinearSpeed(double units_per_ms) { linear_speed_ = units_per_ms; }
  void SetSpeedUpRatio(double ratio) { speed_up_ratio_ = ratio; }
  void SetSpeedDownRatio(double ratio) { speed_down_ratio_ = ratio; }
  void SetMaxTotalTime(int ms) { max_total_time_ = ms; }

  double GetSpeedUpFactor() const { return speed_up_factor_; }
  double GetSpeedDownFactor() const { return speed_down_factor_; }
  double GetLinearSpeed() const { return linear_speed_; }

 private:
  // Derives the missing one of total time and factors, then the phases.
  void InitFactor();
  // Sets a1 or a2 from the total time when it is known and returns the
  // velocity factor d (the speed at the end of the speed-up is 2 * d * total).
  double DeriveFactors(double distance);

  double speed_up_ratio_ = 0;
  double speed_down_ratio_ = 0;
  double speed_up_time_ = 0;
  double linear_speed_ = 0;
  double linear_time_ = 0;
  double speed_down_time_ = 0;
  double speed_up_factor_ = 0;
  double speed_down_factor_ = 0;
  double speed_down_initial_speed_ = 0;
  int max_total_time_ = kDefaultMaxTotalTime;
};

}  // namespace ui
