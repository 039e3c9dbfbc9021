#include "ui/core/layout.h"

#include <algorithm>
#include <cwchar>

#include "ui/core/box.h"
#include "ui/core/core_helpers.h"
#include "ui/core/global_manager.h"

namespace ui {

namespace core_helpers {

int ParseInt(const std::wstring& value) {
  return static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
}

bool IsFlowChild(const Control* c) {
  return c->IsVisible() && !c->IsFloat();
}

}  // namespace core_helpers

using namespace core_helpers;

namespace {

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

}  // namespace ui
