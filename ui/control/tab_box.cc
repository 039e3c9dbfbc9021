#include "ui/control/tab_box.h"

#include <cwchar>

#include "ui/animation/animation_player.h"
#include "ui/core/animation_manager.h"
#include "ui/core/window.h"

namespace ui {

namespace {

constexpr double kSlideSpeedUp = 0.015;

}  // namespace

TabBox::TabBox() : Box(std::make_unique<Layout>()) {}

void TabBox::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selectedid") {
    const int index = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    // Children follow their parent's attributes in a skin: remember the wish.
    if (!SelectItem(index)) initial_sel_ = index;
  } else if (name == L"fadeswitch") {
    SetFadeSwitch(value == L"true");
  } else {
    Box::SetAttribute(name, value);
  }
}

void TabBox::SetShown(Control* control, bool shown) {
  control->SetMouseEnabled(shown);
  if (Box* box = dynamic_cast<Box*>(control)) box->SetMouseChildEnabled(shown);
  control->SetAlpha(shown ? 255 : 0);
  control->Invalidate();
}

void TabBox::HideNew(Control* control) {
  if (!fade_switch_) control->SetFadeVisible(false);
  SetShown(control, false);
}

bool TabBox::Add(Control* control) {
  return AddAt(control, items_.size());
}

bool TabBox::AddAt(Control* control, size_t index) {
  if (!control || index > items_.size()) return false;
  if (!Box::AddAt(control, index)) return false;
  const int at = static_cast<int>(index);
  if (cur_sel_ < 0 && control->IsVisible() && initial_sel_ < 0) {
    cur_sel_ = at;
    return true;
  }
  if (cur_sel_ >= 0 && at <= cur_sel_) ++cur_sel_;
  HideNew(control);
  if (initial_sel_ == at) {
    initial_sel_ = -1;
    SelectItem(at);
  }
  return true;
}

bool TabBox::Remove(Control* control) {
  const int index = GetItemIndex(control);
  return index >= 0 && RemoveAt(static_cast<size_t>(index));
}

bool TabBox::RemoveAt(size_t index) {
  if (index >= items_.size()) return false;
  const int at = static_cast<int>(index);
  if (!Box::RemoveAt(index)) return false;
  if (at == cur_sel_) {
    if (items_.empty()) {
      cur_sel_ = -1;
    } else {
      cur_sel_ = 0;
      Control* first = items_.front();
      if (!fade_switch_) first->SetFadeVisible(true);
      SetShown(first, true);
    }
    RelayoutSelf();
  } else if (at < cur_sel_) {
    --cur_sel_;
  }
  return true;
}

void TabBox::RemoveAll() {
  cur_sel_ = -1;
  Box::RemoveAll();
}

bool TabBox::SelectItem(Control* control) {
  const int index = GetItemIndex(control);
  return index >= 0 && SelectItem(index);
}

void TabBox::Slide(Control* control, int from, int to, bool hide_at_end) {
  AnimationPlayer* player = control->GetAnimationManager().SetFadeInOutX(true, /*from_right=*/true);
  if (!player) return;
  player->SetStartValue(from);
  player->SetEndValue(to);
  player->SetSpeedUpFactor(kSlideSpeedUp);
  if (hide_at_end) {
    player->SetCompleteCallback(control->MakeWeakCallback([control, this]() {
      // A slide that ends after the tab was chosen again keeps it shown.
      if (GetItemIndex(control) != cur_sel_) SetShown(control, false);
    }));
  }
  player->StartPlay();
}

bool TabBox::SelectItem(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return false;
  if (index == cur_sel_) return true;
  const int old = cur_sel_;
  cur_sel_ = index;
  const int width = GetWidth();
  for (int i = 0; i < static_cast<int>(items_.size()); ++i) {
    Control* child = items_[static_cast<size_t>(i)];
    if (i == index) {
      SetShown(child, true);
      if (!fade_switch_) child->SetFadeVisible(true);
    } else if (i != old || !fade_switch_) {
      SetShown(child, false);
      if (!fade_switch_) child->SetFadeVisible(false);
    }
  }
  if (fade_switch_ && old >= 0) {
    Control* incoming = items_[static_cast<size_t>(index)];
    Control* outgoing = items_[static_cast<size_t>(old)];
    incoming->SetVisible(true);
    if (index < old) {
      Slide(incoming, width, 0, false);
      Slide(outgoing, 0, -width, true);
    } else {
      Slide(incoming, -width, 0, false);
      Slide(outgoing, 0, width, true);
    }
  } else if (fade_switch_) {
    items_[static_cast<size_t>(index)]->SetVisible(true);
  }
  RelayoutSelf();
  NotifyAccessible(AccessibleChange::kSelection);
  if (window_) window_->SendNotify(this, kEventSelect, static_cast<uintptr_t>(index), old);
  return true;
}

void TabBox::GetAccessibleInfo(AccessibleInfo* info) const {
  Box::GetAccessibleInfo(info);
  info->role = AccessibleRole::kPageTabList;
}

// Each page is a tab; the chosen one is selected.
void TabBox::GetChildAccessibleInfo(const Control* child, AccessibleInfo* info) const {
  info->role = AccessibleRole::kPageTab;
  info->states |= kAccessibleSelectable;
  if (cur_sel_ >= 0 && static_cast<size_t>(cur_sel_) < items_.size() &&
      items_[static_cast<size_t>(cur_sel_)] == child) {
    info->states |= kAccessibleSelected;
  }
}

}  // namespace ui
