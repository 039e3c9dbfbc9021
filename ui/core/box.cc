#include "ui/core/box.h"

#include <algorithm>

#include "ui/core/window.h"
#include "ui/render/render.h"

namespace ui {

namespace {

// Runs the handlers of `kind`, then those for every kind; each list that exists
// replaces the verdict. Lists are copied: a handler may attach handlers or
// destroy the owner. Returns false once `alive` has expired.
bool RunKindThenAll(const EventMap& map, const EventArgs& event,
                    const std::weak_ptr<nbase::WeakFlag>& alive, bool* verdict) {
  for (int32_t kind : {event.type, static_cast<int32_t>(kEventAll)}) {
    auto it = map.find(kind);
    if (it == map.end()) continue;
    const EventCallbackList list = it->second;
    bool result = true;
    for (const EventCallback& callback : list) {
      const bool go_on = callback(event);
      if (alive.expired()) return false;
      if (!go_on) {
        result = false;
        break;
      }
    }
    *verdict = result;
    if (kind == kEventAll) break;
  }
  return true;
}

}  // namespace

// Box -------------------------------------------------------------------------

Box::Box(std::unique_ptr<Layout> layout)
    : layout_(layout ? std::move(layout) : std::make_unique<Layout>()) {
  layout_->SetOwner(this);
}

Box::~Box() {
  // Children die with the box, at once.
  std::vector<Control*> items;
  items.swap(items_);
  if (auto_destroy_) {
    for (Control* item : items) delete item;
  }
}

void Box::SetWindow(Window* window) {
  for (Control* item : items_) item->SetWindow(window, this, false);
  Control::SetWindow(window);
}

void Box::SetWindow(Window* window, Box* parent, bool init) {
  for (Control* item : items_) item->SetWindow(window, this, init);
  Control::SetWindow(window, parent, init);
}

CSize Box::EstimateSize(CSize available) {
  CSize fixed(GetFixedWidth(), GetFixedHeight());
  if (fixed.cx != kLengthAuto && fixed.cy != kLengthAuto) return fixed;
  if (!IsReEstimateSize()) return estimated_size_;

  const UiRect padding = layout_->GetPadding();
  available.cx -= padding.left + padding.right;
  available.cy -= padding.top + padding.bottom;
  const CSize measured = layout_->MeasureChildren(items_, available);
  if (fixed.cx == kLengthAuto) fixed.cx = measured.cx;
  if (fixed.cy == kLengthAuto) fixed.cy = measured.cy;

  // Re-measure until the auto-sized children have settled.
  bool unsettled = false;
  for (Control* item : items_) {
    if (!item->IsVisible()) continue;
    const bool is_auto =
        item->GetFixedWidth() == kLengthAuto || item->GetFixedHeight() == kLengthAuto;
    if (is_auto && item->IsReEstimateSize()) unsettled = true;
  }
  SetReEstimateSize(unsettled);
  estimated_size_ = fixed;
  return fixed;
}

void Box::SetPos(UiRect rect) {
  Control::SetPos(rect);
  if (items_.empty()) return;
  UiRect inner = item_rect_;
  inner.Deflate(layout_->GetPadding());
  layout_->ArrangeChildren(items_, inner);
}

void Box::SetInheritedVisible(bool visible) {
  Control::SetInheritedVisible(visible);
  for (Control* item : items_) item->SetInheritedVisible(IsVisible());
}

void Box::SetVisible(bool visible) {
  Control::SetVisible(visible);
  for (Control* item : items_) item->SetInheritedVisible(IsVisible());
}

void Box::SetEnabled(bool enabled) {
  Control::SetEnabled(enabled);
  for (Control* item : items_) item->SetEnabled(enabled);
  Invalidate();
}

Control* Box::FindControl(FindControlProc proc, void* data, uint32_t flags, CPoint scroll_pos) {
  if ((flags & kFindVisible) && !IsVisible()) return nullptr;
  if ((flags & kFindEnabled) && !IsEnabled()) return nullptr;
  const bool hit_test = (flags & kFindHitTest) != 0;
  const CPoint* point = static_cast<const CPoint*>(data);
  if (hit_test) {
    if (!item_rect_.IsPointIn(*point)) return nullptr;
    if (!mouse_child_) return Control::FindControl(proc, data, flags);
  }
  const bool me_first = (flags & kFindMeFirst) != 0;
  if (me_first) {
    if (Control* found = Control::FindControl(proc, data, flags)) return found;
  }

  UiRect search = item_rect_;
  search.Deflate(layout_->GetPadding());
  const bool top_first = (flags & kFindTopFirst) != 0;
  const size_t n = items_.size();
  for (size_t k = 0; k < n; ++k) {
    Control* item = items_[top_first ? n - 1 - k : k];
    Control* found = nullptr;
    if (hit_test) {
      CPoint shifted = *point;
      // Floating children do not scroll: they are hit where they are painted.
      if (!item->IsFloat()) shifted.Offset(scroll_pos.x, scroll_pos.y);
      found = item->FindControl(proc, &shifted, flags);
    } else {
      found = item->FindControl(proc, data, flags);
    }
    if (!found) continue;
    if (!hit_test || found->IsFloat() || search.IsPointIn(*point)) return found;
  }
  if (!me_first) return Control::FindControl(proc, data, flags);
  return nullptr;
}

void Box::DispatchEvent(EventArgs& event) {
  if (event.type >= kEventInternalDoubleClick && event.type <= kEventInternalKillFocus) {
    HandleEvent(event);
    return;
  }
  const std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
  bool verdict = true;
  if (event.sender == this) {
    if (!RunKindThenAll(events_, event, alive, &verdict)) return;
    if (verdict && !RunKindThenAll(xml_events_, event, alive, &verdict)) return;
  }
  if (!RunKindThenAll(bubbled_events_, event, alive, &verdict)) return;
  if (verdict && !RunKindThenAll(xml_bubbled_events_, event, alive, &verdict)) return;
  if (verdict) HandleEvent(event);
}

void Box::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (layout_->SetAttribute(name, value)) return;
  if (name == L"mousechild") {
    SetMouseChildEnabled(value == L"true");
  } else {
    Control::SetAttribute(name, value);
  }
}

void Box::PaintChildren(IRenderContext* context, const UiRect& paint_area) {
  UiRect visible = item_rect_;
  if (!visible.Intersect(paint_area)) return;
  for (Control* item : items_) {
    if (item->IsVisible()) item->PaintComposited(context, paint_area);
  }
}

void Box::LoadImageCache() {
  Control::LoadImageCache();
  for (Control* item : items_) item->LoadImageCache();
}

void Box::ReleaseImageCache() {
  Control::ReleaseImageCache();
  for (Control* item : items_) item->ReleaseImageCache();
}

void Box::ClearImageCache() {
  Control::ClearImageCache();
  for (Control* item : items_) item->ClearImageCache();
}

int Box::FindSelectable(int index, bool forward) const {
  const int n = static_cast<int>(items_.size());
  if (n == 0) return -1;
  auto selectable = [this](int i) { return items_[i]->IsVisible() && items_[i]->IsEnabled(); };
  if (!forward) {
    for (int i = std::min(index, n - 1); i >= 0; --i) {
      if (selectable(i)) return i;
    }
    index = 0;
  }
  for (int i = std::max(index, 0); i < n; ++i) {
    if (selectable(i)) return i;
  }
  return -1;
}

Control* Box::GetItemAt(size_t index) const {
  return index < items_.size() ? items_[index] : nullptr;
}

int Box::GetItemIndex(const Control* control) const {
  auto it = std::find(items_.begin(), items_.end(), control);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

bool Box::SetItemIndex(Control* control, size_t index) {
  const int current = GetItemIndex(control);
  if (current < 0 || index >= items_.size()) return false;
  items_.erase(items_.begin() + current);
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), control);
  RequestLayout();
  NotifyAccessible(AccessibleChange::kChildren);
  return true;
}

bool Box::Add(Control* control) {
  return AddAt(control, items_.size());
}

bool Box::AddAt(Control* control, size_t index) {
  // Listed twice, the child would be deleted twice.
  if (!control || index > items_.size() || GetItemIndex(control) >= 0) return false;
  if (window_) {
    window_->InitControls(control, this);
  } else {
    // Without a window the child still learns its parent.
    control->SetWindow(nullptr, this, false);
  }
  if (IsVisible()) {
    // It may come from a hidden box: it shows with this one.
    if (!control->IsInternVisible()) control->SetInheritedVisible(true);
    RequestLayout();
  } else {
    control->SetInheritedVisible(false);
  }
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), control);
  NotifyAccessible(AccessibleChange::kChildren);
  return true;
}

bool Box::Remove(Control* control) {
  const int index = GetItemIndex(control);
  if (index < 0) return false;
  return RemoveAt(static_cast<size_t>(index));
}

bool Box::RemoveAt(size_t index) {
  if (index >= items_.size()) return false;
  Control* control = items_[index];
  RequestLayout();
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  if (auto_destroy_) {
    DestroyChild(control);
  } else {
    // A kept control must not point back at a box that no longer lists it.
    control->SetWindow(window_, nullptr, false);
  }
  NotifyAccessible(AccessibleChange::kChildren);
  return true;
}

void Box::RemoveAll() {
  std::vector<Control*> items;
  items.swap(items_);
  for (Control* item : items) {
    if (auto_destroy_) {
      DestroyChild(item);
    } else {
      // Kept children must not point back at a box that no longer lists them.
      item->SetWindow(window_, nullptr, false);
    }
  }
  RequestLayout();
  NotifyAccessible(AccessibleChange::kChildren);
}

void Box::DestroyChild(Control* control) {
  if (delayed_destroy_ && window_) {
    // The child may be running its own handler: it dies after the event.
    control->SetWindow(window_, nullptr, false);
    window_->AddDelayedCleanup(control);
  } else {
    delete control;
  }
}

void Box::ResetLayout(std::unique_ptr<Layout> layout) {
  layout_ = layout ? std::move(layout) : std::make_unique<Layout>();
  layout_->SetOwner(this);
}

UiRect Box::GetPaddingPos() const {
  UiRect rect = GetPos(true);
  rect.Deflate(layout_->GetPadding());
  return rect;
}

void Box::AttachBubbledEvent(int32_t kind, EventCallback callback) {
  bubbled_events_[kind].push_back(std::move(callback));
}

void Box::AttachXmlBubbledEvent(int32_t kind, EventCallback callback) {
  xml_bubbled_events_[kind].push_back(std::move(callback));
}

}  // namespace ui
