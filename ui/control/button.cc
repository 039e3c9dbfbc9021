#include "ui/control/button.h"

#include "ui/core/window.h"

namespace ui {

namespace {

constexpr wchar_t kKeySpace = 0x20;
constexpr wchar_t kKeyReturn = 0x0D;

}  // namespace

template <typename Base>
ButtonTemplate<Base>::ButtonTemplate() {
  this->text_style_ = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS;
}

template <typename Base>
void ButtonTemplate<Base>::Activate() {
  if (!this->IsActivatable() || !this->window_) return;
  this->SendEvent(kEventClick);
}

template <typename Base>
void ButtonTemplate<Base>::HandleEvent(EventArgs& event) {
  if (IsMouseEvent(event.type) && !this->IsMouseEnabled()) {
    if (Control* parent = this->GetParentControl()) parent->DispatchEvent(event);
    return;
  }
  if (event.type == kEventKeyDown && this->IsKeyboardEnabled() &&
      (event.key == kKeySpace || event.key == kKeyReturn)) {
    Activate();
    return;
  }
  if (event.type == kEventInternalMenu) {
    if (this->IsMenuUsed()) this->SendEvent(kEventMouseMenu, event.w_param, event.l_param);
    return;
  }
  Base::HandleEvent(event);
}

template <typename Base>
void ButtonTemplate<Base>::GetAccessibleInfo(AccessibleInfo* info) const {
  LabelTemplate<Base>::GetAccessibleInfo(info);
  info->role = AccessibleRole::kPushButton;
  info->interfaces = (info->interfaces & ~kAccessibleText) | kAccessibleAction;
  info->action = "click";
  if (this->IsKeyboardEnabled() && !this->IsNoFocus()) info->states |= kAccessibleFocusable;
}

template class ButtonTemplate<Control>;
template class ButtonTemplate<Box>;

}  // namespace ui
