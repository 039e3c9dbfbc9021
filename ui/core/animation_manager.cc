#include "ui/core/animation_manager.h"

#include "ui/animation/timer_manager.h"
#include "ui/core/control.h"

namespace ui {

namespace {

constexpr int kFadeTime = 250;
constexpr double kSpeedUpRatio = 0.3;
constexpr double kSpeedDownRatio = 0.7;
constexpr double kSizeSpeedUpFactor = 0.00084;
constexpr double kSlideSpeedUpFactor = 0.006;
// The players that take part in showing and hiding, in the order they run.
constexpr AnimationType kVisibilityTypes[] = {kAnimationAlpha,           kAnimationWidth,
                                              kAnimationHeight,          kAnimationInoutXFromLeft,
                                              kAnimationInoutXFromRight, kAnimationInoutYFromTop,
                                              kAnimationInoutYFromBottom};

}  // namespace

AnimationManager::AnimationManager(Control* control) : control_(control) {}

AnimationManager::~AnimationManager() = default;

AnimationPlayer* AnimationManager::GetAnimationPlayer(AnimationType type) const {
  auto it = players_.find(type);
  return it == players_.end() ? nullptr : it->second.get();
}

void AnimationManager::SetTimerManager(TimerManager* timer_manager) {
  timer_manager_ = timer_manager;
  for (auto& entry : players_) entry.second->SetTimerManager(timer_manager);
}

TimerManager* AnimationManager::GetTimerManager() const {
  return timer_manager_ ? timer_manager_ : TimerManager::GetInstance();
}

AnimationPlayer* AnimationManager::Create(AnimationType type) {
  auto player = std::make_unique<AnimationPlayer>();
  if (timer_manager_) player->SetTimerManager(timer_manager_);
  player->SetSpeedUpRatio(kSpeedUpRatio);
  player->SetSpeedDownRatio(kSpeedDownRatio);
  AnimationPlayer* raw = player.get();
  players_[type] = std::move(player);
  return raw;
}

AnimationPlayer* AnimationManager::Configure(AnimationType type, int start, int end, int total_time,
                                             double speed_up_factor, void (*apply)(Control*, int)) {
  AnimationPlayer* player = Create(type);
  player->SetStartValue(start);
  player->SetEndValue(end);
  player->SetTotalTime(total_time);
  if (speed_up_factor > 0) player->SetSpeedUpFactor(speed_up_factor);
  Control* control = control_;
  player->SetPlayCallback(
      control->MakeWeakCallback([control, apply](int value) { apply(control, value); }));
  return player;
}

AnimationPlayer* AnimationManager::SetFadeHot(bool enable) {
  if (!enable) {
    Remove(kAnimationHot);
    return nullptr;
  }
  return Configure(kAnimationHot, 0, 255, kFadeTime, 0,
                   [](Control* control, int value) { control->SetHotAlpha(value); });
}

AnimationPlayer* AnimationManager::SetFadeAlpha(bool enable) {
  if (!enable) {
    Remove(kAnimationAlpha);
    control_->SetAlpha(255);
    return nullptr;
  }
  AnimationPlayer* player =
      Configure(kAnimationAlpha, 0, 255, kFadeTime, 0,
                [](Control* control, int value) { control->SetAlpha(value); });
  control_->SetAlpha(0);
  return player;
}

AnimationPlayer* AnimationManager::SetFadeWidth(bool enable) {
  if (!enable) {
    Remove(kAnimationWidth);
    return nullptr;
  }
  return Configure(kAnimationWidth, 0, control_->EstimateSize(CSize(999999, 999999)).cx, -1,
                   kSizeSpeedUpFactor,
                   [](Control* control, int value) { control->SetFixedWidth(value, true, false); });
}

AnimationPlayer* AnimationManager::SetFadeHeight(bool enable) {
  if (!enable) {
    Remove(kAnimationHeight);
    return nullptr;
  }
  return Configure(kAnimationHeight, 0, control_->EstimateSize(CSize(999999, 999999)).cy, -1,
                   kSizeSpeedUpFactor,
                   [](Control* control, int value) { control->SetFixedHeight(value, false); });
}

AnimationPlayer* AnimationManager::SetFadeInOutX(bool enable, bool from_right) {
  const AnimationType type = from_right ? kAnimationInoutXFromRight : kAnimationInoutXFromLeft;
  if (!enable) {
    Remove(type);
    return nullptr;
  }
  int width = control_->EstimateSize(CSize(999999, 999999)).cx;
  if (width < 1) width = 100;
  return Configure(type, from_right ? -width : width, 0, -1, kSlideSpeedUpFactor,
                   [](Control* control, int value) { control->SetRenderOffsetX(value); });
}

AnimationPlayer* AnimationManager::SetFadeInOutY(bool enable, bool from_bottom) {
  const AnimationType type = from_bottom ? kAnimationInoutYFromBottom : kAnimationInoutYFromTop;
  if (!enable) {
    Remove(type);
    return nullptr;
  }
  int height = control_->EstimateSize(CSize(999999, 999999)).cy;
  if (height < 1) height = 100;
  return Configure(type, from_bottom ? -height : height, 0, -1, kSlideSpeedUpFactor,
                   [](Control* control, int value) { control->SetRenderOffsetY(value); });
}

void AnimationManager::Appear() {
  control_->SetVisible(true);
  for (AnimationType type : kVisibilityTypes) {
    if (AnimationPlayer* player = GetAnimationPlayer(type)) {
      player->SetCompleteCallback(nullptr);
      player->Continue();
    }
  }
}

void AnimationManager::Disappear() {
  bool any = false;
  Control* control = control_;
  for (AnimationType type : kVisibilityTypes) {
    if (AnimationPlayer* player = GetAnimationPlayer(type)) {
      player->SetCompleteCallback(
          control->MakeWeakCallback([control] { control->SetVisible(false); }));
      player->ReverseContinue();
      any = true;
    }
  }
  if (!any) control_->SetVisible(false);
}

}  // namespace ui
