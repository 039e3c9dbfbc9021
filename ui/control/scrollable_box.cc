#include "ui/control/scrollable_box.h"

#include <algorithm>

#include "ui/animation/animation_player.h"
#include "ui/control/scroll_bar.h"
#include "ui/core/core_helpers.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/native/key_codes.h"
#include "ui/render/render.h"

namespace ui {

using namespace core_helpers;

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
          case kVkPrior:
            PageUp();
            return;
          case kVkNext:
            PageDown();
            return;
          case kVkEnd:
            EndDown(true, true);
            return;
          case kVkHome:
            HomeUp();
            return;
          case kVkUp:
            LineUp(-1, true);
            return;
          case kVkDown:
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
        case kVkPrior:
          PageLeft();
          return;
        case kVkNext:
          PageRight();
          return;
        case kVkEnd:
          EndRight();
          return;
        case kVkHome:
          HomeLeft();
          return;
        case kVkUp:
          LineLeft();
          return;
        case kVkDown:
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

}  // namespace ui
