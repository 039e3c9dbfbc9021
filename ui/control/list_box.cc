#include "ui/control/list_box.h"

#include <algorithm>

#include "ui/animation/animation_player.h"
#include "ui/control/scroll_bar.h"
#include "ui/core/window.h"
#include "ui/native/key_codes.h"
#include "ui/render/render.h"

namespace ui {

namespace {

ListContainerElement* AsElement(Control* control) {
  return dynamic_cast<ListContainerElement*>(control);
}

}  // namespace

// ListContainerElement ----------------------------------------------------------

ListContainerElement::ListContainerElement() {
  text_style_ = DT_END_ELLIPSIS | DT_NOCLIP | DT_SINGLELINE | DT_VCENTER;
  receive_pointer_ = false;
}

void ListContainerElement::SetVisible(bool visible) {
  OptionBox::SetVisible(visible);
  if (!visible && owner_ && owner_->GetCurSel() == index_ && index_ >= 0) {
    owner_->SelectItem(-1, false, false);
  }
}

void ListContainerElement::Activate() {
  if (!IsActivatable()) return;
  std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
  SetFocus();
  if (!alive.expired()) OptionBox::Activate();
}

void ListContainerElement::Selected(bool selected, bool send_event) {
  if (!IsEnabled()) return;
  if (selected && owner_) {
    owner_->SelectItem(index_, false, send_event);
    return;
  }
  // Unselecting the list's selection clears it there too.
  if (!selected && owner_ && index_ >= 0 && owner_->GetCurSel() == index_) {
    owner_->SelectItem(-1, false, false);
    return;
  }
  OptionBox::Selected(selected, send_event);
}

void ListContainerElement::GetAccessibleInfo(AccessibleInfo* info) const {
  OptionBox::GetAccessibleInfo(info);
  info->role = AccessibleRole::kListItem;
  info->action = "click";
  info->states &= ~(kAccessibleCheckable | kAccessibleChecked);
  info->states |= kAccessibleSelectable | (IsSelected() ? kAccessibleSelected : 0u);
}

void ListContainerElement::HandleEvent(EventArgs& event) {
  if (IsMouseEvent(event.type) && !IsMouseEnabled()) {
    if (Control* parent = GetParentControl()) parent->DispatchEvent(event);
    return;
  }
  switch (event.type) {
    case kEventKeyDown:
      if (!IsKeyboardEnabled()) break;
      if (event.w_param == kVkReturn && window_) {
        std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
        window_->SendNotify(this, kEventReturn);
        if (alive.expired()) return;
      }
      if (event.w_param == kVkReturn || event.w_param == kVkSpace) {
        Activate();
        return;
      }
      // Navigation keys belong to the list.
      if (owner_) {
        owner_->HandleListEvent(event);
        return;
      }
      break;
    case kEventInternalDoubleClick:
      if (IsActivatable() && window_) window_->SendNotify(this, kEventMouseDoubleClick);
      return;
    case kEventInternalMenu:
      if (IsEnabled()) {
        std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
        Selected(true, true);
        if (!alive.expired() && window_) {
          window_->SendNotify(this, kEventMouseMenu, event.w_param, event.l_param);
        }
      }
      return;
    case kEventMouseScrollWheel:
      if (owner_) {
        owner_->HandleListEvent(event);
        return;
      }
      break;
    default:
      break;
  }
  OptionBox::HandleEvent(event);
}

// ListBox ------------------------------------------------------------------------

ListBox::ListBox(std::unique_ptr<Layout> layout)
    : ScrollableBox(layout ? std::move(layout) : std::make_unique<VLayout>()) {}

void ListBox::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"scrollselect") {
    SetScrollSelect(value == L"true");
  } else {
    ScrollableBox::SetAttribute(name, value);
  }
}

void ListBox::SetPos(UiRect rect) {
  ScrollableBox::SetPos(rect);
  if (!ensure_visible_pending_) return;
  ensure_visible_pending_ = false;
  if (Control* item = GetItemAt(static_cast<size_t>(std::max(cur_sel_, 0)));
      item && cur_sel_ >= 0) {
    EnsureVisible(item->GetPos());
  }
}

void ListBox::Renumber(size_t from) {
  for (size_t i = from; i < items_.size(); ++i) {
    if (ListContainerElement* element = AsElement(items_[i])) {
      element->SetIndex(static_cast<int>(i));
      element->SetOwner(this);
    }
  }
}

bool ListBox::Add(Control* control) {
  return AddAt(control, items_.size());
}

bool ListBox::AddAt(Control* control, size_t index) {
  if (!control || index > items_.size()) return false;
  if (!ScrollableBox::AddAt(control, index)) return false;
  Renumber(index);
  if (cur_sel_ >= static_cast<int>(index)) ++cur_sel_;
  // An item that arrives selected (from its skin) is the selection, unless
  // the list already has one.
  if (ListContainerElement* element = AsElement(control); element && element->IsSelected()) {
    if (cur_sel_ < 0) {
      cur_sel_ = static_cast<int>(index);
      ensure_visible_pending_ = true;
    } else {
      element->OptionBox::Selected(false, false);
    }
  }
  return true;
}

bool ListBox::Remove(Control* control) {
  const int index = GetItemIndex(control);
  if (index < 0) return false;
  return RemoveAt(static_cast<size_t>(index));
}

bool ListBox::RemoveAt(size_t index) {
  if (index >= items_.size()) return false;
  if (ListContainerElement* element = AsElement(items_[index])) element->SetOwner(nullptr);
  if (!ScrollableBox::RemoveAt(index)) return false;
  Renumber(index);
  const int removed = static_cast<int>(index);
  if (removed < cur_sel_) {
    --cur_sel_;
  } else if (removed == cur_sel_) {
    // The neighbour takes over, so the list keeps a selection while it has items.
    cur_sel_ = -1;
    const int next = FindSelectable(std::min(removed, static_cast<int>(items_.size()) - 1), false);
    if (next >= 0) SelectItem(next, false, true);
  }
  return true;
}

void ListBox::RemoveAll() {
  for (Control* item : items_) {
    if (ListContainerElement* element = AsElement(item)) element->SetOwner(nullptr);
  }
  cur_sel_ = -1;
  ScrollableBox::RemoveAll();
}

bool ListBox::SetItemIndex(Control* control, size_t index) {
  const int old = GetItemIndex(control);
  if (old < 0 || index >= items_.size()) return false;
  Control* selected = cur_sel_ >= 0 ? GetItemAt(static_cast<size_t>(cur_sel_)) : nullptr;
  if (!ScrollableBox::SetItemIndex(control, index)) return false;
  Renumber(std::min(static_cast<size_t>(old), index));
  if (selected) cur_sel_ = GetItemIndex(selected);
  return true;
}

void ListBox::GetAccessibleInfo(AccessibleInfo* info) const {
  ScrollableBox::GetAccessibleInfo(info);
  info->role = AccessibleRole::kList;
  info->interfaces |= kAccessibleSelection;
}

bool ListBox::SelectItem(int index, bool take_focus, bool trigger) {
  const int old = cur_sel_;
  if (old >= 0) {
    if (ListContainerElement* element = AsElement(GetItemAt(static_cast<size_t>(old)))) {
      element->OptionBox::Selected(false, false);
    }
    cur_sel_ = -1;
  }
  if (index < 0) return false;
  ListContainerElement* element = AsElement(GetItemAt(static_cast<size_t>(index)));
  if (!element || !element->IsVisible() || !element->IsEnabled()) return false;
  cur_sel_ = index;
  std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
  element->OptionBox::Selected(true, false);
  if (alive.expired()) return true;
  NotifyAccessible(AccessibleChange::kSelection);
  if (item_rect_.IsRectEmpty()) {
    ensure_visible_pending_ = true;
  } else {
    EnsureVisible(element->GetPos());
  }
  if (take_focus) element->SetFocus();
  if (trigger && window_ && !alive.expired()) {
    window_->SendNotify(this, kEventSelect, static_cast<uintptr_t>(index), old);
  }
  return true;
}

void ListBox::EnsureVisible(const UiRect& rect) {
  UiRect area = GetPaddingPos();
  ScrollBar* hbar = GetHorizontalScrollBar();
  if (hbar && hbar->IsVisible() && HasHorizontalRange()) area.bottom -= hbar->GetFixedHeight();
  const CSize pos = GetScrollPos();
  area.Offset(pos.cx, pos.cy);
  int dx = 0;
  if (rect.right > area.right) {
    dx = rect.right - area.right;
  } else if (rect.left < area.left) {
    dx = rect.left - area.left;
  }
  int dy = 0;
  if (rect.bottom > area.bottom) {
    dy = rect.bottom - area.bottom;
  } else if (rect.top < area.top) {
    dy = rect.top - area.top;
  }
  // A taller item than the view shows its top.
  if (dy > 0 && rect.GetHeight() > area.GetHeight()) dy = rect.top - area.top;
  if (dx != 0 || dy != 0) SetScrollPos(CSize(pos.cx + dx, pos.cy + dy));
}

void ListBox::StopScroll() {
  if (AnimationPlayer* player = GetSmoothScrollPlayer()) player->Pause();
}

bool ListBox::ScrollItemToTop(const std::wstring& name) {
  for (Control* item : items_) {
    if (item->GetName() != name) continue;
    SetScrollPosY(item->GetPos().top - GetPaddingPos().top);
    return true;
  }
  return false;
}

Control* ListBox::GetTopItem() const {
  const int top = GetPaddingPos().top + GetScrollPos().cy;
  for (Control* item : items_) {
    if (item->IsVisible() && !item->IsFloat() && item->GetPos().bottom > top) return item;
  }
  return nullptr;
}

void ListBox::SelectFound(int index, bool forward) {
  const int n = static_cast<int>(items_.size());
  if (n == 0) return;
  index = std::clamp(index, 0, n - 1);
  auto selectable = [this](int i) {
    Control* item = items_[static_cast<size_t>(i)];
    return AsElement(item) && item->IsVisible() && item->IsEnabled();
  };
  int found = -1;
  if (forward) {
    for (int i = index; i < n && found < 0; ++i) {
      if (selectable(i)) found = i;
    }
  } else {
    for (int i = index; i >= 0 && found < 0; --i) {
      if (selectable(i)) found = i;
    }
    for (int i = 0; i < n && found < 0; ++i) {
      if (selectable(i)) found = i;
    }
  }
  // Running off an end keeps what is selected rather than clearing it.
  if (found >= 0 && found != cur_sel_) SelectItem(found, true, true);
}

int ListBox::ItemsPerPage() const {
  Control* item = cur_sel_ >= 0 ? GetItemAt(static_cast<size_t>(cur_sel_)) : nullptr;
  if (!item && !items_.empty()) item = items_.front();
  const int height = item ? item->GetHeight() : 0;
  if (height <= 0) return 1;
  return std::max(1, PageHeight() / height);
}

void ListBox::HandleEvent(EventArgs& event) {
  if (IsMouseEvent(event.type) && !IsMouseEnabled()) {
    if (Control* parent = GetParentControl()) parent->DispatchEvent(event);
    return;
  }
  switch (event.type) {
    case kEventMouseButtonDown:
    case kEventMouseButtonUp:
      if (event.sender == this) {
        // A press on the list itself gives it the keys.
        if (event.type == kEventMouseButtonDown) SetFocus();
        return;
      }
      break;
    case kEventKeyDown:
      switch (event.w_param) {
        case kVkHome:
          SelectFound(0, true);
          return;
        case kVkEnd:
          SelectFound(static_cast<int>(items_.size()) - 1, false);
          return;
        case kVkUp:
          SelectFound(cur_sel_ - 1, false);
          return;
        case kVkDown:
          SelectFound(cur_sel_ + 1, true);
          return;
        case kVkPrior:
          SelectFound(std::max(cur_sel_ - ItemsPerPage(), 0), true);
          return;
        case kVkNext:
          SelectFound(cur_sel_ + ItemsPerPage(), false);
          return;
        default:
          break;
      }
      break;
    case kEventMouseScrollWheel:
      if (scroll_select_) {
        const auto wheel = static_cast<intptr_t>(event.w_param);
        if (wheel > 0) {
          SelectFound(cur_sel_ - 1, false);
        } else {
          SelectFound(cur_sel_ + 1, true);
        }
        return;
      }
      break;
    default:
      break;
  }
  ScrollableBox::HandleEvent(event);
}

}  // namespace ui
