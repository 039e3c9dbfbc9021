#include "ui/control/option.h"

#include <algorithm>
#include <vector>

#include "ui/core/window.h"

namespace ui {

namespace {

void SetMemberSelected(Control* member, bool selected, bool send_event) {
  if (auto* option = dynamic_cast<CheckBoxTemplate<Control>*>(member)) {
    option->Selected(selected, send_event);
  } else if (auto* option_box = dynamic_cast<CheckBoxTemplate<Box>*>(member)) {
    option_box->Selected(selected, send_event);
  }
}

bool IsInGroup(Window* window, const std::wstring& group, Control* control) {
  std::vector<Control*>* members = window->GetOptionGroup(group);
  return members && std::find(members->begin(), members->end(), control) != members->end();
}

}  // namespace

template <typename Base>
void OptionTemplate<Base>::SetWindow(Window* window, Box* parent, bool init) {
  CheckBoxTemplate<Base>::SetWindow(window, parent, init);
  if (init && window && !group_.empty()) window->AddOptionGroup(group_, this);
}

template <typename Base>
void OptionTemplate<Base>::Activate() {
  if (!this->IsActivatable()) return;
  if (this->window_) {
    std::weak_ptr<nbase::WeakFlag> alive = this->AcquireWeakFlag();
    this->SendEvent(kEventClick);
    if (alive.expired()) return;
  }
  if (this->IsActivatable()) Selected(true, true);
}

template <typename Base>
void OptionTemplate<Base>::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"group") {
    SetGroup(value);
  } else {
    CheckBoxTemplate<Base>::SetAttribute(name, value);
  }
}

template <typename Base>
void OptionTemplate<Base>::Selected(bool selected, bool send_event) {
  const bool was_selected = this->selected_;
  this->selected_ = selected;
  Window* window = this->window_;
  if (window) {
    std::weak_ptr<nbase::WeakFlag> alive = this->AcquireWeakFlag();
    if (selected) {
      if (!group_.empty()) {
        // Handlers of the others may change the group: walk a copy and skip
        // members that have left it (or were deleted) meanwhile.
        std::vector<Control*> members;
        if (std::vector<Control*>* group = window->GetOptionGroup(group_)) members = *group;
        const std::wstring group_name = group_;
        for (Control* member : members) {
          if (member == this || !IsInGroup(window, group_name, member)) continue;
          SetMemberSelected(member, false, send_event);
          if (alive.expired()) return;
        }
      }
      if (send_event) this->SendEvent(kEventSelect);
    } else if (was_selected) {
      // Only a real change is reported: an option that was not selected
      // gets no unselect each time another member is chosen.
      this->SendEvent(kEventUnSelect);
    }
    if (alive.expired()) return;
  }
  this->Invalidate();
}

template <typename Base>
void OptionTemplate<Base>::SetGroup(const std::wstring& group) {
  if (group_ == group) return;
  if (this->window_ && !group_.empty()) this->window_->RemoveOptionGroup(group_, this);
  group_ = group;
  if (this->window_ && !group_.empty()) this->window_->AddOptionGroup(group_, this);
  Selected(this->selected_, true);
}

template <typename Base>
void OptionTemplate<Base>::GetAccessibleInfo(AccessibleInfo* info) const {
  CheckBoxTemplate<Base>::GetAccessibleInfo(info);
  info->role = AccessibleRole::kRadioButton;
  info->action = "click";
}

template class OptionTemplate<Control>;
template class OptionTemplate<Box>;

}  // namespace ui
