#include "ui/core/box.h"

#include <algorithm>
#include <cwchar>

#include "ui/animation/animation_player.h"
#include "ui/control/scroll_bar.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/core/window_builder.h"
#include "ui/render/render.h"

namespace ui {

namespace {

// Insets scale side by side, as margins do.
UiRect ScaledSides(UiRect sides) {
  GlobalManager::ScaleLength(sides.left);
  GlobalManager::ScaleLength(sides.top);
  GlobalManager::ScaleLength(sides.right);
  GlobalManager::ScaleLength(sides.bottom);
  return sides;
}

int ParseInt(const std::wstring& value) {
  return static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
}

// Start of a `length` placed in [lead, trail): 0 at the lead, 1 centred, 2 at the trail.
int AlignStart(int align, int lead, int trail, int length) {
  if (align == 2) return trail - length;
  if (align == 1) return lead + (trail - length - lead) / 2;
  return lead;
}

// Row and column layouts are the same algorithm along different axes.
struct Axis {
  bool horizontal;

  int Main(CSize s) const { return horizontal ? s.cx : s.cy; }
  int Cross(CSize s) const { return horizontal ? s.cy : s.cx; }
  CSize Make(int main, int cross) const {
    return horizontal ? CSize(main, cross) : CSize(cross, main);
  }
  int MainLead(const UiRect& r) const { return horizontal ? r.left : r.top; }
  int MainTrail(const UiRect& r) const { return horizontal ? r.right : r.bottom; }
  int CrossLead(const UiRect& r) const { return horizontal ? r.top : r.left; }
  int CrossTrail(const UiRect& r) const { return horizontal ? r.bottom : r.right; }
  UiRect MakeRect(int main0, int cross0, int main1, int cross1) const {
    return horizontal ? UiRect(main0, cross0, main1, cross1) : UiRect(cross0, main0, cross1, main1);
  }
  int ClampMain(const Control* c, int v) const {
    return horizontal ? Layout::ClampWidth(c, v) : Layout::ClampHeight(c, v);
  }
  int ClampCross(const Control* c, int v) const {
    return horizontal ? Layout::ClampHeight(c, v) : Layout::ClampWidth(c, v);
  }
  // Children of a row align vertically, children of a column horizontally.
  int CrossAlign(const Control* c) const {
    return horizontal ? static_cast<int>(c->GetVerAlignType())
                      : static_cast<int>(c->GetHorAlignType());
  }
};

bool IsFlowChild(const Control* c) {
  return c->IsVisible() && !c->IsFloat();
}

CSize ArrangeLinear(const Axis& axis, const std::vector<Control*>& items, const UiRect& rect,
                    int child_margin) {
  const CSize avail(rect.GetWidth(), rect.GetHeight());
  const int main_extent = axis.Main(avail);
  const int cross_extent = axis.Cross(avail);

  // Measure: what the fixed children take, and how many share the rest.
  int fixed_sum = 0;
  int count = 0;
  int stretch_count = 0;
  for (Control* item : items) {
    if (!IsFlowChild(item)) continue;
    ++count;
    const CSize sz = item->EstimateSize(avail);
    const UiRect m = item->GetMargin();
    fixed_sum += axis.MainLead(m) + axis.MainTrail(m);
    if (axis.Main(sz) == kLengthStretch) {
      ++stretch_count;
    } else {
      fixed_sum += axis.ClampMain(item, axis.Main(sz));
    }
  }
  if (count > 1) fixed_sum += child_margin * (count - 1);

  int share = 0;
  int remainder = 0;
  if (stretch_count > 0) {
    share = std::max((main_extent - fixed_sum) / stretch_count, 0);
    remainder = main_extent - stretch_count * share - fixed_sum;
  }

  // Place.
  int pos = axis.MainLead(rect);
  int remaining = main_extent;
  int thickest = 0;
  int used = 0;
  for (Control* item : items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      Layout::SetFloatPos(item, rect);
      continue;
    }
    const UiRect m = item->GetMargin();
    remaining -= axis.MainLead(m);
    const CSize sz = item->EstimateSize(axis.Make(remaining, cross_extent));
    int length = axis.Main(sz);
    if (length == kLengthStretch) {
      length = share;
      if (remainder > 0) {
        ++length;
        --remainder;
      }
    }
    length = axis.ClampMain(item, length);
    int thickness = axis.Cross(sz);
    if (thickness == kLengthStretch) {
      thickness = cross_extent - axis.CrossLead(m) - axis.CrossTrail(m);
    }
    thickness = axis.ClampCross(item, std::max(thickness, 0));

    const int cross_lead = axis.CrossLead(rect) + axis.CrossLead(m);
    const int cross_trail = axis.CrossTrail(rect) - axis.CrossTrail(m);
    const int cross0 = AlignStart(axis.CrossAlign(item), cross_lead, cross_trail, thickness);
    const int main0 = pos + axis.MainLead(m);
    item->SetPos(axis.MakeRect(main0, cross0, main0 + length, cross0 + thickness));

    pos += axis.MainLead(m) + length + axis.MainTrail(m) + child_margin;
    used += axis.MainLead(m) + length + axis.MainTrail(m);
    remaining -= length + axis.MainTrail(m) + child_margin;
    thickest = std::max(thickest, thickness);
  }
  const int margins = count > 1 ? child_margin * (count - 1) : 0;
  return axis.Make(margins + used, thickest);
}

CSize MeasureLinear(const Axis& axis, const std::vector<Control*>& items, CSize available,
                    int child_margin, const UiRect& padding) {
  int main_sum = 0;
  int cross_max = 0;
  int count = 0;
  for (Control* item : items) {
    if (!IsFlowChild(item)) continue;
    ++count;
    const CSize sz = item->EstimateSize(available);
    const UiRect m = item->GetMargin();
    main_sum += axis.MainLead(m) + axis.ClampMain(item, axis.Main(sz)) + axis.MainTrail(m);
    cross_max = std::max(
        cross_max, axis.CrossLead(m) + axis.ClampCross(item, axis.Cross(sz)) + axis.CrossTrail(m));
  }
  if (count > 1) main_sum += child_margin * (count - 1);
  const CSize content = axis.Make(main_sum, cross_max);
  return CSize(content.cx + padding.left + padding.right,
               content.cy + padding.top + padding.bottom);
}

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

// Layout ----------------------------------------------------------------------

bool Layout::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"padding") {
    SetPadding(ParseRectAttribute(value), true);
    return true;
  }
  if (name == L"childmargin") {
    SetChildMargin(ParseInt(value));
    return true;
  }
  return false;
}

void Layout::SetPadding(UiRect padding, bool scale) {
  if (scale) padding = ScaledSides(padding);
  padding_ = padding;
  if (owner_) owner_->RequestLayout();
}

void Layout::SetChildMargin(int margin) {
  GlobalManager::ScaleLength(margin);
  child_margin_ = margin;
  if (owner_) owner_->RequestLayout();
}

int Layout::ClampWidth(const Control* control, int width) {
  width = std::max(width, control->GetMinWidth());
  if (control->GetMaxWidth() >= 0) width = std::min(width, control->GetMaxWidth());
  return width;
}

int Layout::ClampHeight(const Control* control, int height) {
  height = std::max(height, control->GetMinHeight());
  return std::min(height, control->GetMaxHeight());
}

CSize Layout::SetFloatPos(Control* control, UiRect rect) {
  if (!control->IsVisible()) return CSize();
  const UiRect m = control->GetMargin();
  const UiRect inner(rect.left + m.left, rect.top + m.top, rect.right - m.right,
                     rect.bottom - m.bottom);
  const CSize available(inner.GetWidth(), inner.GetHeight());
  CSize sz = control->EstimateSize(available);

  // Auto-sized text wraps at the width it is given.
  if (control->GetFixedWidth() == kLengthAuto && control->GetFixedHeight() == kLengthAuto &&
      control->GetMaxWidth() == kLengthStretch) {
    const int limit = std::max(available.cx, 0);
    if (sz.cx > limit) {
      control->SetFixedWidth(limit, false, false);
      sz = control->EstimateSize(available);
      control->SetFixedWidth(kLengthAuto, false, false);
    }
  }

  int width = sz.cx == kLengthStretch ? std::max(available.cx, 0) : sz.cx;
  width = ClampWidth(control, width);
  int height = sz.cy == kLengthStretch ? std::max(available.cy, 0) : sz.cy;
  height = ClampHeight(control, height);

  const int x0 = AlignStart(control->GetHorAlignType(), inner.left, inner.right, width);
  const int y0 = AlignStart(control->GetVerAlignType(), inner.top, inner.bottom, height);
  control->SetPos(UiRect(x0, y0, x0 + width, y0 + height));
  return CSize(width, height);
}

CSize Layout::ArrangeChildren(const std::vector<Control*>& items, UiRect rect) {
  CSize size;
  for (Control* item : items) {
    if (!item->IsVisible()) continue;
    const CSize sz = SetFloatPos(item, rect);
    size.cx = std::max(size.cx, sz.cx);
    size.cy = std::max(size.cy, sz.cy);
  }
  return size;
}

CSize Layout::MeasureChildren(const std::vector<Control*>& items, CSize available) {
  // Without visible children the box is its padding alone, as rows and columns are.
  CSize size;
  bool any = false;
  for (Control* item : items) {
    if (!item->IsVisible()) continue;
    const CSize sz = item->EstimateSize(available);
    const UiRect m = item->GetMargin();
    const int w = m.left + ClampWidth(item, sz.cx) + m.right;
    const int h = m.top + ClampHeight(item, sz.cy) + m.bottom;
    size.cx = any ? std::max(size.cx, w) : w;
    size.cy = any ? std::max(size.cy, h) : h;
    any = true;
  }
  return CSize(size.cx + padding_.left + padding_.right, size.cy + padding_.top + padding_.bottom);
}

CSize HLayout::ArrangeChildren(const std::vector<Control*>& items, UiRect rect) {
  return ArrangeLinear(Axis{true}, items, rect, child_margin_);
}

CSize HLayout::MeasureChildren(const std::vector<Control*>& items, CSize available) {
  return MeasureLinear(Axis{true}, items, available, child_margin_, padding_);
}

CSize VLayout::ArrangeChildren(const std::vector<Control*>& items, UiRect rect) {
  return ArrangeLinear(Axis{false}, items, rect, child_margin_);
}

CSize VLayout::MeasureChildren(const std::vector<Control*>& items, CSize available) {
  return MeasureLinear(Axis{false}, items, available, child_margin_, padding_);
}

bool TileLayout::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"itemsize") {
    SetItemSize(ParseSizeAttribute(value), true);
    return true;
  }
  if (name == L"columns") {
    SetColumns(ParseInt(value));
    return true;
  }
  return Layout::SetAttribute(name, value);
}

void TileLayout::SetItemSize(CSize size, bool scale) {
  if (scale) GlobalManager::ScaleSize(size);
  if (item_size_ == size) return;
  item_size_ = size;
  if (owner_) owner_->RequestLayout();
}

void TileLayout::SetColumns(int columns) {
  if (columns < 1 || columns == columns_) return;
  columns_ = columns;
  if (owner_) owner_->RequestLayout();
}

CSize TileLayout::ArrangeChildren(const std::vector<Control*>& items, UiRect rect) {
  const int width = rect.GetWidth();
  if (item_size_.cx > 0) columns_ = width / item_size_.cx;
  const int columns = std::max(columns_, 1);
  const int cell_width = width / columns;
  const int remainder = width % columns;
  const int half_margin = child_margin_ / 2;

  int x = rect.left;
  int row_top = rect.top;
  int row_height = 0;
  int bottom = rect.top;
  int column = 0;
  int extra_left = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    Control* item = items[i];
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      SetFloatPos(item, rect);
      continue;
    }
    if (column == 0) {
      // The row is as tall as its tallest member measured at the first cell's width.
      extra_left = remainder;
      row_height = 0;
      const int first_cell_right = x + cell_width + (remainder > 0 ? 1 : 0);
      int k = 0;
      for (size_t j = i; j < items.size() && k < columns; ++j) {
        Control* member = items[j];
        if (!IsFlowChild(member)) continue;
        const UiRect m = member->GetMargin();
        const int share = (k == 0 || k == columns - 1) ? half_margin : child_margin_;
        const int w = ClampWidth(member, (first_cell_right - x) - m.left - m.right - share);
        const int h = ClampHeight(member, member->EstimateSize(CSize(w, 9999)).cy);
        row_height = std::max(row_height, m.top + h + m.bottom);
        ++k;
      }
    }
    int cell_right = x + cell_width;
    if (extra_left > 0) {
      ++cell_right;
      --extra_left;
    }
    const UiRect m = item->GetMargin();
    const int x0 = x + half_margin + m.left;
    const int x1 = cell_right - half_margin - m.right;
    const int y0 = row_top + m.top;
    const int row_bottom = row_top + row_height;
    CSize sz = item->EstimateSize(CSize(x1 - x0, row_height - m.top));
    if (sz.cx == kLengthStretch) sz.cx = x1 - x0;
    if (sz.cy == kLengthStretch) sz.cy = row_height - m.top;
    sz.cx = ClampWidth(item, sz.cx);
    sz.cy = ClampHeight(item, sz.cy);
    const int left = (x0 + x1 - sz.cx) / 2;
    const int top = (y0 + row_bottom - sz.cy) / 2;
    item->SetPos(UiRect(left, top, left + sz.cx, top + sz.cy));
    bottom = row_bottom;

    x = cell_right;
    if (++column == columns) {
      column = 0;
      x = rect.left;
      row_top += row_height + child_margin_;
    }
  }
  return CSize(width, bottom - rect.top);
}

CSize TileLayout::MeasureChildren(const std::vector<Control*>& items, CSize available) {
  // The owner's own size, never its children's.
  CSize size = owner_ ? owner_->Control::EstimateSize(available) : CSize();
  int columns = columns_;
  if (item_size_.cx > 0 && owner_) columns = owner_->GetFixedWidth() / item_size_.cx;
  columns = std::max(columns, 1);
  int count = 0;
  const Control* first = nullptr;
  for (Control* item : items) {
    if (!item->IsVisible()) continue;
    if (!first) first = item;
    ++count;
  }
  if (count > 0) {
    const int rows = (count + columns - 1) / columns;
    size.cy = (rows - 1) * child_margin_ + rows * first->GetFixedHeight() + padding_.top +
              padding_.bottom;
  }
  return size;
}

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

// ScrollableBox ---------------------------------------------------------------

namespace {

// Images of children further than this outside the view are released.
constexpr int kImageCacheMargin = 730;
constexpr int kDefaultLineStep = 20;
// The first scrollable box that paints loads the images around its view once.
bool g_first_view_cache_pass_done = false;

int64_t RangeOf(const ScrollBar* bar) {
  return bar ? bar->GetScrollRange() : 0;
}

}  // namespace

ScrollableBox::ScrollableBox(std::unique_ptr<Layout> layout) : Box(std::move(layout)) {}

ScrollableBox::~ScrollableBox() = default;

bool ScrollableBox::HasVerticalRange() const {
  return RangeOf(vertical_bar_.get()) != 0;
}

bool ScrollableBox::HasHorizontalRange() const {
  return RangeOf(horizontal_bar_.get()) != 0;
}

void ScrollableBox::SetWindow(Window* window) {
  Box::SetWindow(window);
  if (vertical_bar_) vertical_bar_->SetWindow(window, nullptr, false);
  if (horizontal_bar_) horizontal_bar_->SetWindow(window, nullptr, false);
}

void ScrollableBox::SetWindow(Window* window, Box* parent, bool init) {
  Box::SetWindow(window, parent, init);
  if (vertical_bar_) vertical_bar_->SetWindow(window, nullptr, init);
  if (horizontal_bar_) horizontal_bar_->SetWindow(window, nullptr, init);
}

bool ScrollableBox::GetChildScrollOffset(CPoint* offset) const {
  if (!HasVerticalRange() && !HasHorizontalRange()) return false;
  const CSize pos = GetScrollPos();
  *offset = CPoint(pos.cx, pos.cy);
  return true;
}

CSize ScrollableBox::GetScrollPos() const {
  return CSize(HasHorizontalRange() ? static_cast<int>(horizontal_bar_->GetScrollPos()) : 0,
               HasVerticalRange() ? static_cast<int>(vertical_bar_->GetScrollPos()) : 0);
}

CSize ScrollableBox::GetScrollRange() const {
  return CSize(static_cast<int>(RangeOf(horizontal_bar_.get())),
               static_cast<int>(RangeOf(vertical_bar_.get())));
}

void ScrollableBox::SetPos(UiRect rect) {
  bool at_end = false;
  if (hold_end_ && HasVerticalRange()) {
    at_end = vertical_bar_->GetScrollPos() == vertical_bar_->GetScrollRange();
  }
  Control::SetPos(rect);
  UiRect inner = item_rect_;
  inner.Deflate(layout_->GetPadding());
  const CSize required = CalcRequiredSize(inner);
  ProcessVScrollBar(item_rect_, required.cy);
  ProcessHScrollBar(item_rect_, required.cx);
  if (at_end && HasVerticalRange()) EndDown(false, false);
}

CSize ScrollableBox::CalcRequiredSize(const UiRect& rect) {
  if (items_.empty()) return CSize();
  UiRect space = rect;
  if (!scroll_bar_float_) {
    if (HasVerticalRange()) space.right -= vertical_bar_->GetFixedWidth();
    if (HasHorizontalRange()) space.bottom -= horizontal_bar_->GetFixedHeight();
  }
  return layout_->ArrangeChildren(items_, space);
}

void ScrollableBox::ProcessVScrollBar(UiRect rect, int required_height) {
  if (!vertical_bar_) return;
  const UiRect padding = layout_->GetPadding();
  const UiRect& sp = scroll_bar_padding_;
  ProcessScrollBar(vertical_bar_.get(), rect.GetHeight() - padding.top - padding.bottom,
                   required_height,
                   UiRect(rect.right - sp.right - vertical_bar_->GetFixedWidth(), rect.top + sp.top,
                          rect.right - sp.right, rect.bottom - sp.bottom));
}

void ScrollableBox::ProcessHScrollBar(UiRect rect, int required_width) {
  if (!horizontal_bar_) return;
  const UiRect padding = layout_->GetPadding();
  const UiRect& sp = scroll_bar_padding_;
  ProcessScrollBar(
      horizontal_bar_.get(), rect.GetWidth() - padding.left - padding.right, required_width,
      UiRect(rect.left + sp.left, rect.bottom - sp.bottom - horizontal_bar_->GetFixedHeight(),
             rect.right - sp.right, rect.bottom - sp.bottom));
}

void ScrollableBox::ProcessScrollBar(ScrollBar* bar, int viewport, int required,
                                     const UiRect& bar_rect) {
  const int excess = required - viewport;
  if (viewport < required && bar->GetScrollRange() == 0) {
    bar->SetScrollRange(excess);
    bar->SetScrollPos(0);
    // The bar now has a range (and may take room): lay out once more.
    in_scroll_processing_ = true;
    SetPos(item_rect_);
    in_scroll_processing_ = false;
    return;
  }
  if (bar->GetScrollRange() == 0) return;
  if (excess > 0 || in_scroll_processing_) {
    bar->SetPos(bar_rect);
    if (bar->GetScrollRange() == excess) return;
    const int64_t old_pos = bar->GetScrollPos();
    bar->SetScrollRange(excess < 0 ? -excess : excess);
    if (bar->GetScrollPos() < old_pos) SetPos(item_rect_);
  } else {
    bar->SetScrollPos(0);
    bar->SetScrollRange(0);
    SetPos(item_rect_);
  }
}

void ScrollableBox::SetScrollPos(CSize pos) {
  int cy = pos.cy;
  const int v_range = static_cast<int>(RangeOf(vertical_bar_.get()));
  if (cy < 0 || cy > v_range) {
    cy = cy < 0 ? 0 : v_range;
    if (scroll_player_) scroll_player_->Pause();
  }
  int dy = 0;
  bool changed = false;
  if (HasVerticalRange()) {
    const int64_t old = vertical_bar_->GetScrollPos();
    vertical_bar_->SetScrollPos(cy);
    dy = static_cast<int>(vertical_bar_->GetScrollPos() - old);
    changed = dy != 0;
  }
  if (HasHorizontalRange()) {
    const int64_t old = horizontal_bar_->GetScrollPos();
    horizontal_bar_->SetScrollPos(pos.cx);
    changed = changed || horizontal_bar_->GetScrollPos() != old;
  }
  if (!changed) return;
  LoadImageCacheInView(dy > 0);
  Invalidate();
  if (window_) SendEvent(kEventScrollChange);
}

void ScrollableBox::SetScrollPosY(int y) {
  SetScrollPos(CSize(GetScrollPos().cx, y));
}

void ScrollableBox::SetScrollPosX(int x) {
  SetScrollPos(CSize(x, GetScrollPos().cy));
}

void ScrollableBox::LoadImageCacheInView(bool forward) {
  const CSize scroll = GetScrollPos();
  UiRect view = item_rect_;
  view.Offset(scroll.cx + render_offset_.x, scroll.cy + render_offset_.y);
  const size_t n = items_.size();
  for (size_t k = 0; k < n; ++k) {
    Control* item = items_[forward ? k : n - 1 - k];
    if (!IsFlowChild(item)) continue;
    UiRect near = item->GetPos();
    near.top -= kImageCacheMargin;
    near.bottom += kImageCacheMargin;
    if (near.Intersect(view)) {
      item->LoadImageCache();
    } else {
      item->ReleaseImageCache();
    }
  }
}

namespace {

// The step of one line: the unit (20 when unset), or a smaller given delta.
int LineStep(int unit, int delta) {
  const int step = unit == 0 ? kDefaultLineStep : unit;
  return (delta != -1 && delta < step) ? delta : step;
}

}  // namespace

void ScrollableBox::LineUp(int delta, bool animate) {
  const int y = GetScrollPos().cy;
  if (y == 0) return;
  const int step = LineStep(vertical_unit_, delta);
  if (!animate) {
    SetScrollPosY(std::max(y - step, 0));
    return;
  }
  const bool running = scroll_player_ && scroll_player_->IsPlaying();
  const int target = (running && y >= scroll_player_->GetEndValue())
                         ? scroll_player_->GetEndValue() - step
                         : y - step;
  AnimateScrollTo(y, target);
}

void ScrollableBox::LineDown(int delta, bool animate) {
  const int y = GetScrollPos().cy;
  if (y >= GetScrollRange().cy) return;
  const int step = LineStep(vertical_unit_, delta);
  if (!animate) {
    SetScrollPosY(std::min(y + step, GetScrollRange().cy));
    return;
  }
  const bool running = scroll_player_ && scroll_player_->IsPlaying();
  const int target = (running && y <= scroll_player_->GetEndValue())
                         ? scroll_player_->GetEndValue() + step
                         : y + step;
  AnimateScrollTo(y, target);
}

void ScrollableBox::AnimateScrollTo(int from, int to) {
  if (!scroll_player_) {
    scroll_player_ = std::make_unique<AnimationPlayer>();
    if (timer_manager_) scroll_player_->SetTimerManager(timer_manager_);
  }
  AnimationPlayer& player = *scroll_player_;
  player.Pause();
  player.Init();
  player.SetStartValue(from);
  player.SetEndValue(to);
  player.SetSpeedUpRatio(0);
  player.SetSpeedDownRatio(0.5);
  player.SetSpeedDownFactor(-0.012);
  player.SetPlayCallback(MakeWeakCallback([this](int value) { SetScrollPosY(value); }));
  player.StartPlay();
}

void ScrollableBox::LineLeft(int delta) {
  const int step = LineStep(horizontal_unit_, delta);
  SetScrollPosX(std::max(GetScrollPos().cx - step, 0));
}

void ScrollableBox::LineRight(int delta) {
  const int step = LineStep(horizontal_unit_, delta);
  SetScrollPosX(std::min(GetScrollPos().cx + step, GetScrollRange().cx));
}

void ScrollableBox::PageUp() {
  SetScrollPosY(GetScrollPos().cy - PageHeight());
}

void ScrollableBox::PageDown() {
  SetScrollPosY(GetScrollPos().cy + PageHeight());
}

int ScrollableBox::PageHeight() const {
  const UiRect padding = layout_->GetPadding();
  int page = item_rect_.GetHeight() - padding.top - padding.bottom;
  if (HasHorizontalRange()) page -= horizontal_bar_->GetFixedHeight();
  return page;
}

void ScrollableBox::HomeUp() {
  SetScrollPosY(0);
}

void ScrollableBox::EndDown(bool relayout, bool animate) {
  if (relayout) SetPos(item_rect_);
  const int range = GetScrollRange().cy;
  if (animate && HasVerticalRange()) {
    const int player_target = render_offset_player_ ? render_offset_player_->GetEndValue() : 0;
    const int distance = player_target + range - GetScrollPos().cy - render_offset_.y;
    if (distance > 0) {
      if (!render_offset_player_) {
        render_offset_player_ = std::make_unique<AnimationPlayer>();
        if (timer_manager_) render_offset_player_->SetTimerManager(timer_manager_);
      }
      AnimationPlayer& player = *render_offset_player_;
      player.Pause();
      player.Init();
      player.SetStartValue(-distance);
      player.SetEndValue(0);
      player.SetSpeedUpRatio(0.3);
      player.SetSpeedDownRatio(0.7);
      player.SetSpeedUpFactor(0.003);
      player.SetMaxTotalTime(650);
      player.SetPlayCallback(MakeWeakCallback([this](int value) { SetRenderOffsetY(value); }));
      player.StartPlay();
    }
  }
  SetScrollPosY(range);
}

void ScrollableBox::PageLeft() {
  const UiRect padding = layout_->GetPadding();
  SetScrollPosX(GetScrollPos().cx - (item_rect_.GetWidth() - padding.left - padding.right));
}

void ScrollableBox::PageRight() {
  const UiRect padding = layout_->GetPadding();
  SetScrollPosX(GetScrollPos().cx + (item_rect_.GetWidth() - padding.left - padding.right));
}

void ScrollableBox::HomeLeft() {
  SetScrollPosX(0);
}

void ScrollableBox::EndRight() {
  SetScrollPosX(GetScrollRange().cx);
}

void ScrollableBox::TouchUp(int delta) {
  const int y = GetScrollPos().cy;
  if (y == 0) return;
  SetScrollPosY(y - delta);
}

void ScrollableBox::TouchDown(int delta) {
  const int y = GetScrollPos().cy;
  if (y >= GetScrollRange().cy) return;
  SetScrollPosY(y + delta);
}

namespace {

// Virtual-key codes, as the window delivers them in w_param.
constexpr uintptr_t kKeyPageUp = 0x21;
constexpr uintptr_t kKeyPageDown = 0x22;
constexpr uintptr_t kKeyEnd = 0x23;
constexpr uintptr_t kKeyHome = 0x24;
constexpr uintptr_t kKeyUp = 0x26;
constexpr uintptr_t kKeyDown = 0x28;

}  // namespace

void ScrollableBox::HandleEvent(EventArgs& event) {
  if (IsMouseEvent(event.type) && !IsMouseEnabled()) {
    if (Control* parent = GetParentControl()) parent->DispatchEvent(event);
    return;
  }
  const int wheel = static_cast<int>(static_cast<intptr_t>(event.w_param));
  if (HasVerticalRange() && vertical_bar_->IsEnabled()) {
    switch (event.type) {
      case kEventKeyDown:
        switch (event.w_param) {
          case kKeyPageUp:
            PageUp();
            return;
          case kKeyPageDown:
            PageDown();
            return;
          case kKeyEnd:
            EndDown(true, true);
            return;
          case kKeyHome:
            HomeUp();
            return;
          case kKeyUp:
            LineUp(-1, true);
            return;
          case kKeyDown:
            LineDown(-1, true);
            return;
          default:
            break;
        }
        break;
      case kEventMouseScrollWheel:
        if (wheel < 1) {
          LineDown(-wheel, true);
        } else {
          LineUp(wheel, true);
        }
        return;
      case kEventTouchDown:
      case kEventPointDown:
        if (IsEnabled()) {
          SetButtonHeld(true);
          last_touch_point_ = event.mouse_point;
        }
        return;
      case kEventTouchMove:
      case kEventPointMove:
        if (IsButtonHeld()) {
          const int dy = event.mouse_point.y - last_touch_point_.y;
          if (dy == 0) return;
          last_touch_point_ = event.mouse_point;
          if (dy < 1) {
            TouchDown(-dy);
          } else {
            TouchUp(dy);
          }
          return;
        }
        break;
      case kEventTouchUp:
      case kEventPointUp:
        if (IsButtonHeld()) {
          SetButtonHeld(false);
          last_touch_point_ = event.mouse_point;
          return;
        }
        break;
      default:
        break;
    }
  } else if (HasHorizontalRange() && horizontal_bar_->IsEnabled()) {
    if (event.type == kEventKeyDown) {
      switch (event.w_param) {
        case kKeyPageUp:
          PageLeft();
          return;
        case kKeyPageDown:
          PageRight();
          return;
        case kKeyEnd:
          EndRight();
          return;
        case kKeyHome:
          HomeLeft();
          return;
        case kKeyUp:
          LineLeft();
          return;
        case kKeyDown:
          LineRight();
          return;
        default:
          break;
      }
    } else if (event.type == kEventMouseScrollWheel) {
      if (wheel < 1) {
        LineRight(-wheel);
      } else {
        LineLeft(wheel);
      }
      return;
    }
  }
  Box::HandleEvent(event);
}

bool ScrollableBox::OnMouseEnter(EventArgs& event) {
  const bool result = Box::OnMouseEnter(event);
  for (ScrollBar* bar : {vertical_bar_.get(), horizontal_bar_.get()}) {
    if (bar && bar->GetScrollRange() != 0 && bar->IsEnabled() && bar->IsAutoHideScroll()) {
      bar->SetFadeVisible(true);
    }
  }
  return result;
}

bool ScrollableBox::OnMouseLeave(EventArgs& event) {
  const bool result = Box::OnMouseLeave(event);
  for (ScrollBar* bar : {vertical_bar_.get(), horizontal_bar_.get()}) {
    if (bar && bar->GetScrollRange() != 0 && bar->IsEnabled() && bar->IsAutoHideScroll() &&
        !bar->IsButtonHeld()) {
      bar->SetFadeVisible(false);
    }
  }
  return result;
}

void ScrollableBox::PaintChildren(IRenderContext* context, const UiRect& paint_area) {
  UiRect visible = item_rect_;
  if (!visible.Intersect(paint_area)) return;
  if (!g_first_view_cache_pass_done) {
    g_first_view_cache_pass_done = true;
    LoadImageCacheInView(true);
  }
  const CSize scroll = GetScrollPos();
  for (Control* item : items_) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      item->PaintComposited(context, paint_area);
      continue;
    }
    UiRect shifted_area = paint_area;
    shifted_area.Offset(scroll.cx + render_offset_.x, scroll.cy + render_offset_.y);
    const CPoint old_origin = context->OffsetWindowOrg(CPoint(scroll.cx, scroll.cy));
    item->PaintComposited(context, shifted_area);
    context->SetWindowOrg(old_origin);
  }
  for (ScrollBar* bar : {horizontal_bar_.get(), vertical_bar_.get()}) {
    if (bar && bar->IsVisible()) bar->PaintComposited(context, paint_area);
  }
}

void ScrollableBox::SetMouseEnabled(bool enabled) {
  Box::SetMouseEnabled(enabled);
  if (vertical_bar_) vertical_bar_->SetMouseEnabled(enabled);
  if (horizontal_bar_) horizontal_bar_->SetMouseEnabled(enabled);
}

Control* ScrollableBox::FindControl(FindControlProc proc, void* data, uint32_t flags,
                                    CPoint /*scroll_pos*/) {
  if ((flags & kFindVisible) && !IsVisible()) return nullptr;
  if ((flags & kFindEnabled) && !IsEnabled()) return nullptr;
  if (flags & kFindHitTest) {
    if (!item_rect_.IsPointIn(*static_cast<const CPoint*>(data))) return nullptr;
  }
  for (ScrollBar* bar : {vertical_bar_.get(), horizontal_bar_.get()}) {
    if (!bar) continue;
    if (Control* found = bar->FindControl(proc, data, flags)) return found;
  }
  if ((flags & kFindHitTest) && !mouse_child_) return Control::FindControl(proc, data, flags);
  const CSize scroll = GetScrollPos();
  return Box::FindControl(proc, data, flags, CPoint(scroll.cx, scroll.cy));
}

void ScrollableBox::EnableScrollBar(bool vertical, bool horizontal) {
  auto update = [this](std::unique_ptr<ScrollBar>& bar, bool enable, bool is_horizontal) {
    if (!enable) {
      bar.reset();
      return;
    }
    if (bar) return;
    bar = std::make_unique<ScrollBar>();
    bar->SetVisible(false);
    bar->SetScrollRange(0);
    bar->SetOwner(this);
    bar->SetWindow(window_, nullptr, false);
    if (is_horizontal) bar->SetHorizontal(true);
    bar->SetClass(is_horizontal ? L"hscrollbar" : L"vscrollbar");
  };
  update(vertical_bar_, vertical, false);
  update(horizontal_bar_, horizontal, true);
  RequestLayout();
}

void ScrollableBox::SetAttribute(const std::wstring& name, const std::wstring& value) {
  const bool on = value == L"true";
  if (name == L"vscrollbar") {
    EnableScrollBar(on, horizontal_bar_ != nullptr);
  } else if (name == L"vscrollbarstyle") {
    EnableScrollBar(true, horizontal_bar_ != nullptr);
    vertical_bar_->ApplyAttributeList(value);
  } else if (name == L"hscrollbar") {
    EnableScrollBar(vertical_bar_ != nullptr, on);
  } else if (name == L"hscrollbarstyle") {
    EnableScrollBar(vertical_bar_ != nullptr, true);
    horizontal_bar_->ApplyAttributeList(value);
  } else if (name == L"scrollbarpadding") {
    scroll_bar_padding_ = ScaledSides(ParseRectAttribute(value));
  } else if (name == L"vscrollunit") {
    vertical_unit_ = GlobalManager::GetScaledLength(ParseInt(value));
  } else if (name == L"hscrollunit") {
    horizontal_unit_ = GlobalManager::GetScaledLength(ParseInt(value));
  } else if (name == L"scrollbarfloat") {
    scroll_bar_float_ = on;
  } else if (name == L"holdend") {
    hold_end_ = on;
  } else {
    Box::SetAttribute(name, value);
  }
}

void ScrollableBox::LoadImageCache() {
  Box::LoadImageCache();
  if (vertical_bar_) vertical_bar_->LoadImageCache();
  if (horizontal_bar_) horizontal_bar_->LoadImageCache();
}

void ScrollableBox::ReleaseImageCache() {
  Box::ReleaseImageCache();
  if (vertical_bar_) vertical_bar_->ReleaseImageCache();
  if (horizontal_bar_) horizontal_bar_->ReleaseImageCache();
}

void ScrollableBox::ClearImageCache() {
  Box::ClearImageCache();
  if (vertical_bar_) vertical_bar_->ClearImageCache();
  if (horizontal_bar_) horizontal_bar_->ClearImageCache();
}

// ChildBox --------------------------------------------------------------------

void ChildBox::DoInit() {
  if (xml_file_.empty() || GetCount() > 0) return;
  WindowBuilder builder;
  Control* content = builder.Build(xml_file_, {}, GetWindow());
  if (!content) {
    RemoveAll();
    return;
  }
  if (!Add(content)) delete content;
}

void ChildBox::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"xmlfile") {
    xml_file_ = value;
  } else {
    Box::SetAttribute(name, value);
  }
}

}  // namespace ui
