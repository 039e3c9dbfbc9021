#include "ui/core/control.h"

#include <chrono>

#include "ui/core/animation_manager.h"
#include "ui/core/box.h"
#include "ui/core/window.h"

namespace ui {

namespace {

struct EventWord {
  const wchar_t* word;
  EventType type;
};

constexpr EventWord kEventWords[] = {
    {L"all", kEventAll},
    {L"keydown", kEventKeyDown},
    {L"keyup", kEventKeyUp},
    {L"char", kEventChar},
    {L"syskey", kEventSystemKey},
    {L"mousemove", kEventMouseMove},
    {L"mouseenter", kEventMouseEnter},
    {L"mouseleave", kEventMouseLeave},
    {L"mousehover", kEventMouseHover},
    {L"buttondown", kEventMouseButtonDown},
    {L"buttonup", kEventMouseButtonUp},
    {L"rbuttondown", kEventMouseRightButtonDown},
    {L"doubleclick", kEventMouseDoubleClick},
    {L"menu", kEventMouseMenu},
    {L"scrollwheel", kEventMouseScrollWheel},
    {L"setfocus", kEventSetFocus},
    {L"killfocus", kEventKillFocus},
    {L"windowclose", kEventWindowClose},
    {L"setcursor", kEventSetCursor},
    {L"select", kEventSelect},
    {L"unselect", kEventUnSelect},
    {L"return", kEventReturn},
    {L"tab", kEventTab},
    {L"scrollchange", kEventScrollChange},
    {L"valuechange", kEventValueChange},
};

}  // namespace

EventType EventTypeFromString(const std::wstring& word) {
  for (const EventWord& entry : kEventWords) {
    if (word == entry.word) return entry.type;
  }
  return kEventNone;
}

bool RunEventCallbacks(const EventMap& map, int32_t kind, const EventArgs& args) {
  auto it = map.find(kind);
  if (it == map.end()) return true;
  // A copy: a handler may attach handlers or destroy the owner of the map.
  EventCallbackList callbacks = it->second;
  for (const EventCallback& callback : callbacks) {
    if (callback && !callback(args)) return false;
  }
  return true;
}

uint32_t GetEventTickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Control::DispatchEvent(EventArgs& event) {
  if (event.type >= kEventInternalDoubleClick && event.type <= kEventInternalKillFocus) {
    HandleEvent(event);
    return;
  }
  bool verdict = true;
  if (event.sender == this) {
    std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
    for (const EventMap* map : {&events_, &xml_events_}) {
      if (!verdict) break;
      if (map->empty()) continue;
      verdict = RunEventCallbacks(*map, event.type, event);
      if (alive.expired()) return;
      if (map->count(kEventAll)) {
        verdict = RunEventCallbacks(*map, kEventAll, event);
        if (alive.expired()) return;
      }
    }
  }
  if (verdict) HandleEvent(event);
}

void Control::HandleEvent(EventArgs& event) {
  const int32_t type = event.type;
  Control* parent = GetParentControl();
  if (IsMouseEvent(type) && !mouse_enabled_) {
    if (parent) parent->DispatchEvent(event);
    return;
  }
  switch (type) {
    case kEventInternalMenu:
      if (IsEnabled() && menu_used_ && window_) {
        window_->SendNotify(this, kEventMouseMenu, event.w_param, event.l_param);
        return;
      }
      break;
    case kEventMouseEnter:
      if (event.sender != this && window_ && !IsAncestorOrSelfOf(window_->GetNewHover())) {
        return;
      }
      OnMouseEnter(event);
      break;
    case kEventMouseLeave:
      if (event.sender != this && window_ && IsAncestorOrSelfOf(window_->GetNewHover())) {
        return;
      }
      OnMouseLeave(event);
      break;
    case kEventInternalDoubleClick:
    case kEventMouseButtonDown:
      OnButtonDown(event);
      return;
    case kEventPointDown:
      if (receive_pointer_) {
        OnButtonDown(event);
        return;
      }
      break;
    case kEventMouseButtonUp:
      OnButtonUp(event);
      return;
    case kEventPointUp:
      if (receive_pointer_) {
        OnButtonUp(event);
        return;
      }
      break;
    case kEventInternalSetFocus:
      focused_ = true;
      Invalidate();
      return;
    case kEventInternalKillFocus:
      focused_ = false;
      Invalidate();
      return;
    case kEventSetCursor:
      if (window_) {
        CursorType cursor = cursor_type_;
        if (cursor == kCursorHand && !IsEnabled()) cursor = kCursorArrow;
        window_->SetCursor(cursor);
      }
      return;
    default:
      break;
  }
  if (parent) parent->DispatchEvent(event);
}

bool Control::IsAncestorOrSelfOf(const Control* control) const {
  for (const Control* c = control; c; c = c->GetParentControl()) {
    if (c == this) return true;
  }
  return false;
}

bool Control::OnMouseEnter(EventArgs& /*event*/) {
  if (!IsEnabled() || state_ != kControlStateNormal) return false;
  state_ = kControlStateHot;
  if (HasHotState()) {
    if (AnimationPlayer* player = GetAnimationManager().GetAnimationPlayer(kAnimationHot)) {
      player->Continue();
    }
  }
  Invalidate();
  return true;
}

bool Control::OnMouseLeave(EventArgs& /*event*/) {
  if (!IsEnabled() || state_ != kControlStateHot) return false;
  state_ = kControlStateNormal;
  if (HasHotState()) {
    if (AnimationPlayer* player = GetAnimationManager().GetAnimationPlayer(kAnimationHot)) {
      player->ReverseContinue();
    }
  }
  Invalidate();
  return true;
}

bool Control::OnButtonDown(EventArgs& /*event*/) {
  if (!IsEnabled()) return false;
  state_ = kControlStatePushed;
  button_held_ = true;
  Invalidate();
  return true;
}

bool Control::OnButtonUp(EventArgs& event) {
  if (!button_held_) return false;
  button_held_ = false;
  // Disabled while held: the control stays disabled and is not activated.
  if (!IsEnabled()) return false;
  if (animation_manager_) {
    if (AnimationPlayer* player = animation_manager_->GetAnimationPlayer(kAnimationHot)) {
      player->Pause();
    }
  }
  const bool pointer = event.type == kEventPointUp;
  const bool inside = HitTestScrolled(event.mouse_point);
  if (inside) {
    state_ = pointer ? kControlStateNormal : kControlStateHot;
    hot_alpha_ = pointer ? 0 : 255;
  } else {
    state_ = kControlStateNormal;
    hot_alpha_ = 0;
  }
  Invalidate();
  if (!inside) return false;
  // The click may remove this control; nothing of it is touched afterwards.
  Activate();
  return true;
}

bool Control::HasHotState() {
  auto color = state_colors_.find(kControlStateHot);
  if (color != state_colors_.end() && !color->second.empty()) return true;
  for (const auto& set : state_images_) {
    auto it = set.find(kControlStateHot);
    if (it != set.end() && !it->second.image_attribute.file.empty()) return true;
  }
  return false;
}

void Control::AttachEvent(int32_t kind, EventCallback callback) {
  events_[kind].push_back(std::move(callback));
}

void Control::AttachXmlEvent(int32_t kind, EventCallback callback) {
  xml_events_[kind].push_back(std::move(callback));
}

void Control::DetachEvent(int32_t kind) {
  events_.erase(kind);
}

void Control::AttachBkImageAnimationStopped(EventCallback callback) {
  image_events_[kImageEventAnimationStopped].push_back(std::move(callback));
}

void Control::SendEvent(int32_t kind, uintptr_t w_param, intptr_t l_param, wchar_t key,
                        const CPoint* mouse_point) {
  EventArgs event;
  event.type = kind;
  event.sender = this;
  event.timestamp = GetEventTickCount();
  if (mouse_point) {
    event.mouse_point = *mouse_point;
  } else if (window_) {
    event.mouse_point = window_->GetLastMousePos();
  }
  event.key = key;
  event.w_param = w_param;
  event.l_param = l_param;
  DispatchEvent(event);
}

}  // namespace ui
