#pragma once

#include <map>
#include <memory>

#include "ui/animation/animation_player.h"

namespace ui {

class Control;
class TimerManager;

// Keys of a control's players; the numbers are shared with the skin words.
enum AnimationType {
  kAnimationNone = 0,
  kAnimationAlpha = 1,
  kAnimationHeight = 2,
  kAnimationWidth = 3,
  kAnimationHot = 4,
  kAnimationInoutXFromLeft = 5,
  kAnimationInoutXFromRight = 6,
  kAnimationInoutYFromTop = 7,
  kAnimationInoutYFromBottom = 8,
};

// The fades and slides of one control: at most one player per type, each
// feeding the control through a callback that falls silent once it is gone.
class AnimationManager {
 public:
  explicit AnimationManager(Control* control);
  AnimationManager(const AnimationManager&) = delete;
  AnimationManager& operator=(const AnimationManager&) = delete;
  ~AnimationManager();

  AnimationPlayer* GetAnimationPlayer(AnimationType type) const;

  // Each returns the new player when enabling, null when disabling.
  AnimationPlayer* SetFadeHot(bool enable);
  AnimationPlayer* SetFadeAlpha(bool enable);
  AnimationPlayer* SetFadeWidth(bool enable);
  AnimationPlayer* SetFadeHeight(bool enable);
  AnimationPlayer* SetFadeInOutX(bool enable, bool from_right);
  AnimationPlayer* SetFadeInOutY(bool enable, bool from_bottom);

  // Shows the control and plays the visibility players forward.
  void Appear();
  // Plays them backward and hides the control at the end (at once without any).
  void Disappear();

  void Clear() { players_.clear(); }

  // The timer service for the players (and the control's frame animation);
  // the process-wide one unless set.
  void SetTimerManager(TimerManager* timer_manager);
  TimerManager* GetTimerManager() const;

 private:
  AnimationPlayer* Create(AnimationType type);
  // A new player of `type` whose values go to `apply`; factor 0 leaves the factor unset.
  AnimationPlayer* Configure(AnimationType type, int start, int end, int total_time,
                             double speed_up_factor, void (*apply)(Control*, int));
  void Remove(AnimationType type) { players_.erase(type); }

  Control* control_;
  std::map<AnimationType, std::unique_ptr<AnimationPlayer>> players_;
  TimerManager* timer_manager_ = nullptr;
};

}  // namespace ui
