#include "ui/control/virtual_list_box.h"

#include <algorithm>

#include "ui/animation/animation_player.h"
#include "ui/control/scroll_bar.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/native/key_codes.h"

namespace ui {

namespace {

// The content height saturates rather than wrapping for huge row counts.
int ContentHeight(size_t rows, int height) {
  const int64_t total = static_cast<int64_t>(rows) * height;
  return static_cast<int>(std::min<int64_t>(total, kMaxLength * int64_t{100}));
}

}  // namespace

CSize VirtualLayout::ArrangeChildren(const std::vector<Control*>& items, UiRect rect) {
  auto* list = dynamic_cast<VirtualListBox*>(owner_);
  if (list && list->IsVirtual()) return list->Arrange(rect, VirtualListBox::Direction::kFull);
  return VLayout::ArrangeChildren(items, rect);
}

CSize VirtualLayout::MeasureChildren(const std::vector<Control*>& items, CSize available) {
  auto* list = dynamic_cast<VirtualListBox*>(owner_);
  if (list && list->IsVirtual()) {
    return CSize(available.cx, ContentHeight(list->GetRowCount(), list->GetElementHeight()));
  }
  return VLayout::MeasureChildren(items, available);
}

VirtualListBox::VirtualListBox() : ListBox(std::make_unique<VirtualLayout>()) {}

void VirtualListBox::SetElementHeight(int height) {
  element_height_ = GlobalManager::GetScaledLength(std::max(height, 0));
  RelayoutSelf();
}

bool VirtualListBox::IsVirtual() {
  row_count_ = provider_ ? provider_->GetElementCount() : 0;
  return element_height_ > 0 && row_count_ > items_.size() && !items_.empty();
}

int64_t VirtualListBox::GetElementRow(const Control* element) const {
  const int slot = GetItemIndex(element);
  return slot < 0 ? -1 : element_rows_[static_cast<size_t>(slot)];
}

void VirtualListBox::Fill(size_t slot, int64_t row) {
  if (element_rows_.size() < items_.size()) element_rows_.resize(items_.size(), -1);
  if (element_rows_[slot] == row) return;
  element_rows_[slot] = row;
  // The selection belongs to a row, not to the control that showed it.
  if (cur_sel_ >= 0 && static_cast<size_t>(cur_sel_) == slot) SelectItem(-1, false, false);
  if (row >= 0 && static_cast<size_t>(row) < row_count_) {
    provider_->FillElement(items_[slot], static_cast<size_t>(row));
  }
}

void VirtualListBox::InitElement(int max_count) {
  if (!provider_) return;
  max_count_ = std::max(max_count, 0);
  row_count_ = provider_->GetElementCount();
  const size_t want = std::min(static_cast<size_t>(max_count_), row_count_);
  for (size_t i = items_.size(); i < want; ++i) {
    Control* element = provider_->CreateElement();
    if (!element || !Add(element)) {
      delete element;
      break;
    }
  }
  element_rows_.assign(items_.size(), -1);
  for (size_t i = 0; i < items_.size(); ++i) Fill(i, static_cast<int64_t>(i));
  first_row_ = -1;
  RelayoutSelf();
}

void VirtualListBox::Refresh() {
  if (!provider_) return;
  row_count_ = provider_->GetElementCount();
  const size_t want = std::min(static_cast<size_t>(max_count_), row_count_);
  while (items_.size() > want) RemoveAt(0);
  while (items_.size() < want) {
    Control* element = provider_->CreateElement();
    if (!element || !Add(element)) {
      delete element;
      break;
    }
  }
  element_rows_.assign(items_.size(), -1);
  first_row_ = -1;
  if (IsVirtual()) {
    // More rows than elements: the scroll range and the placement change.
    if (!layout_rect_.IsRectEmpty()) Arrange(layout_rect_, Direction::kFull);
    RelayoutSelf();
  } else {
    for (size_t i = 0; i < items_.size(); ++i) Fill(i, static_cast<int64_t>(i));
    RelayoutSelf();
  }
  Invalidate();
}

CSize VirtualListBox::Arrange(const UiRect& rect, Direction direction) {
  layout_rect_ = rect;
  const int h = element_height_;
  const size_t rows = row_count_;
  const CSize content(rect.GetWidth(), ContentHeight(rows, h));
  const size_t n = std::min(items_.size(), rows);
  if (n == 0 || h <= 0) return content;
  if (element_rows_.size() < items_.size()) element_rows_.resize(items_.size(), -1);

  const int64_t scroll = GetScrollPos().cy;
  const int64_t view = std::max(PageHeight(), 0);
  const int64_t first_visible = scroll / h;
  const int64_t last_visible = (scroll + std::max<int64_t>(view, 1) - 1) / h;
  const int64_t count = static_cast<int64_t>(n);
  const int64_t max_first = static_cast<int64_t>(rows) - count;
  // The elements still cover the rows in view: nothing to move.
  if (direction != Direction::kFull && first_row_ >= 0 && first_row_ <= first_visible &&
      first_row_ + count - 1 >= std::min(last_visible, static_cast<int64_t>(rows) - 1)) {
    return content;
  }
  int64_t first = first_visible;
  if (direction != Direction::kDown) {
    // Spare elements wait above the view for the next scroll up.
    first -= std::max<int64_t>(count - view / h - 1, 0);
  }
  first = std::clamp<int64_t>(first, 0, std::max<int64_t>(max_first, 0));
  first_row_ = first;
  for (int64_t row = first; row < first + count; ++row) {
    const size_t slot = static_cast<size_t>(row % count);
    const int64_t top = rect.top + row * h;
    items_[slot]->SetPos(
        UiRect(rect.left, static_cast<int>(top), rect.right, static_cast<int>(top + h)));
    Fill(slot, row);
  }
  // Elements beyond the row count (the rows shrank) hold nothing.
  for (size_t slot = n; slot < items_.size(); ++slot) {
    items_[slot]->SetPos(UiRect(rect.left, rect.top, rect.right, rect.top));
    element_rows_[slot] = -1;
  }
  return content;
}

void VirtualListBox::SetScrollPos(CSize pos) {
  if (!HasVerticalRange()) {
    ListBox::SetScrollPos(pos);
    return;
  }
  const int range = GetScrollRange().cy;
  int y = pos.cy;
  if (y < 0 || y > range) {
    y = std::clamp(y, 0, range);
    if (scroll_player_) scroll_player_->Pause();
  }
  const int64_t old = vertical_bar_->GetScrollPos();
  bool changed = false;
  if (HasHorizontalRange()) {
    const int64_t old_x = horizontal_bar_->GetScrollPos();
    horizontal_bar_->SetScrollPos(pos.cx);
    changed = horizontal_bar_->GetScrollPos() != old_x;
  }
  vertical_bar_->SetScrollPos(y);
  changed = changed || vertical_bar_->GetScrollPos() != old;
  if (!changed) return;
  const size_t rows_before = row_count_;
  const bool is_virtual = IsVirtual();
  if (row_count_ != rows_before && max_count_ > 0) {
    // The provider changed under the scroll: elements and range follow it.
    Refresh();
  } else if (is_virtual && !layout_rect_.IsRectEmpty()) {
    Arrange(layout_rect_, y > old ? Direction::kDown : Direction::kUp);
  }
  Invalidate();
  if (window_) SendEvent(kEventScrollChange);
}

void VirtualListBox::HandleEvent(EventArgs& event) {
  if (event.type == kEventKeyDown) {
    switch (event.w_param) {
      case kVkHome:
        HomeUp();
        return;
      case kVkEnd:
        EndDown(false, false);
        return;
      case kVkUp:
        LineUp(element_height_, false);
        return;
      case kVkDown:
        LineDown(element_height_, false);
        return;
      case kVkPrior:
        PageUp();
        return;
      case kVkNext:
        PageDown();
        return;
      default:
        break;
    }
  }
  ListBox::HandleEvent(event);
}

}  // namespace ui
