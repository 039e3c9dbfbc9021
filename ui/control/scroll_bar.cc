#include "ui/control/scroll_bar.h"

#include <algorithm>
#include <cwchar>
#include <utility>

#include "base/string_util.h"
#include "ui/animation/timer_manager.h"
#include "ui/control/scrollable_box.h"
#include "ui/core/animation_manager.h"
#include "ui/core/box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace ui {

namespace {

constexpr int kDefaultBarWidth = 16;

struct PartName {
  const wchar_t* prefix;
  ScrollBar::Part part;
};
constexpr PartName kPartNames[] = {
    {L"button1", ScrollBar::kPartButton1}, {L"button2", ScrollBar::kPartButton2},
    {L"thumb", ScrollBar::kPartThumb},     {L"rail", ScrollBar::kPartRail},
    {L"bk", ScrollBar::kPartBk},
};

struct StateName {
  const wchar_t* suffix;
  ControlStateType state;
};
constexpr StateName kStateNames[] = {
    {L"normalimage", kControlStateNormal},
    {L"hotimage", kControlStateHot},
    {L"pushedimage", kControlStatePushed},
    {L"disabledimage", kControlStateDisabled},
};

// The geometry is worked out for a vertical bar; a horizontal one is the same
// with x and y exchanged.
UiRect Transpose(const UiRect& r) {
  return UiRect(r.top, r.left, r.bottom, r.right);
}

CPoint Transpose(const CPoint& p) {
  return CPoint(p.y, p.x);
}

}  // namespace

ScrollBar::ScrollBar() {
  SetFloat(true);
  SetButtonUpOnFocusLoss(true);
  fixed_width_ = GlobalManager::GetScaledLength(kDefaultBarWidth);
  fixed_height_ = 0;
}

ScrollBar::~ScrollBar() {
  repeat_flag_.Cancel();
}

void ScrollBar::SetHorizontal(bool horizontal) {
  if (horizontal_ == horizontal) return;
  horizontal_ = horizontal;
  const int thickness = GlobalManager::GetScaledLength(kDefaultBarWidth);
  if (horizontal_ && fixed_height_ == 0) {
    fixed_width_ = 0;
    fixed_height_ = thickness;
  } else if (!horizontal_ && fixed_width_ == 0) {
    fixed_width_ = thickness;
    fixed_height_ = 0;
  }
  if (owner_) {
    owner_->RequestLayout();
  } else {
    RelayoutUpward();
  }
}

void ScrollBar::SetScrollRange(int64_t range) {
  if (range_ == range) return;
  range_ = std::max<int64_t>(range, 0);
  pos_ = std::clamp<int64_t>(pos_, 0, range_);
  if (range_ == 0) {
    SetVisible(false);
  } else if (!IsVisible() && !auto_hide_) {
    SetFadeVisible(true);
  }
  SetPos(item_rect_);
  Invalidate();
}

void ScrollBar::SetScrollPos(int64_t pos) {
  if (pos_ == pos) return;
  pos_ = std::clamp<int64_t>(pos, 0, range_);
  SetPos(item_rect_);
  Invalidate();
}

void ScrollBar::SetPos(UiRect rect) {
  Control::SetPos(rect);
  const UiRect r = horizontal_ ? Transpose(item_rect_) : item_rect_;
  const int64_t length = r.GetHeight();
  int s = horizontal_ ? fixed_height_ : fixed_width_;
  auto button1 = [&](int size) {
    return show_button1_ ? UiRect(r.left, r.top, r.left + size, r.top + size)
                         : UiRect(r.left, r.top, r.left, r.top);
  };
  auto button2 = [&](int size) {
    return show_button2_ ? UiRect(r.left, r.bottom - size, r.left + size, r.bottom)
                         : UiRect(r.left, r.bottom, r.left, r.bottom);
  };
  UiRect b1 = button1(s);
  const int64_t track = length - (show_button1_ ? s : 0) - (show_button2_ ? s : 0);
  UiRect b2;
  UiRect thumb;
  if (s >= track) {
    // No room for a thumb: the buttons share the length.
    s = static_cast<int>(std::min<int64_t>(s, length / 2));
    b1 = button1(s);
    b2 = button2(s);
  } else {
    b2 = button2(s);
    thumb.left = r.left;
    thumb.right = r.left + s;
    if (range_ > 0) {
      // A minimum length larger than the track would push the thumb over the buttons.
      const int64_t t =
          std::min(std::max<int64_t>(length * track / (length + range_), thumb_min_length_), track);
      const int64_t offset = (track - t) * pos_ / range_;
      thumb.top = static_cast<int>(b1.bottom + offset);
      thumb.bottom = static_cast<int>(thumb.top + t);
      if (thumb.bottom > b2.top) {
        thumb.top = static_cast<int>(b2.top - t);
        thumb.bottom = b2.top;
      }
    } else {
      thumb.top = b1.bottom;
      thumb.bottom = b2.top;
    }
  }
  button1_rect_ = horizontal_ ? Transpose(b1) : b1;
  button2_rect_ = horizontal_ ? Transpose(b2) : b2;
  thumb_rect_ = horizontal_ ? Transpose(thumb) : thumb;
}

void ScrollBar::SetVisible(bool visible) {
  const bool was_visible = IsVisible();
  Control::SetVisible(visible);
  if (was_visible != IsVisible()) RelayoutSelf();
}

void ScrollBar::SetEnabled(bool enabled) {
  Control::SetEnabled(enabled);
  const ControlStateType state = enabled ? kControlStateNormal : kControlStateDisabled;
  button1_state_ = button2_state_ = thumb_state_ = state;
}

void ScrollBar::SetFocus() {
  if (owner_) {
    owner_->SetFocus();
  } else {
    Control::SetFocus();
  }
}

std::wstring ScrollBar::GetPartImage(Part part, ControlStateType state) const {
  auto set = part_images_.find(part);
  if (set == part_images_.end()) return std::wstring();
  auto it = set->second.find(state);
  return it == set->second.end() ? std::wstring() : it->second.image_attribute.image_string;
}

void ScrollBar::SetPartImage(Part part, ControlStateType state, const std::wstring& image) {
  part_images_[part][state].SetImageString(image);
  Invalidate();
}

void ScrollBar::SetAttribute(const std::wstring& name, const std::wstring& value) {
  for (const PartName& part : kPartNames) {
    const std::wstring prefix = part.prefix;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    for (const StateName& state : kStateNames) {
      if (name.compare(prefix.size(), std::wstring::npos, state.suffix) == 0) {
        SetPartImage(part.part, state.state, value);
        return;
      }
    }
  }
  if (name == L"hor") {
    SetHorizontal(value == L"true");
  } else if (name == L"linesize") {
    line_size_ =
        GlobalManager::GetScaledLength(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"thumbminlength") {
    thumb_min_length_ =
        GlobalManager::GetScaledLength(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"range") {
    SetScrollRange(std::wcstoll(value.c_str(), nullptr, 10));
  } else if (name == L"value") {
    SetScrollPos(std::wcstoll(value.c_str(), nullptr, 10));
  } else if (name == L"showbutton1" || name == L"showbutton2") {
    (name == L"showbutton1" ? show_button1_ : show_button2_) = value == L"true";
    SetPos(item_rect_);
  } else if (name == L"autohidescroll") {
    auto_hide_ = value == L"true";
  } else {
    Control::SetAttribute(name, value);
  }
}

// ---------------------------------------------------------------------------
// Input

int ScrollBar::SideOfThumb(CPoint point) const {
  const UiRect thumb = horizontal_ ? Transpose(thumb_rect_) : thumb_rect_;
  const CPoint p = horizontal_ ? Transpose(point) : point;
  if (p.y < thumb.top) return -1;
  if (p.y >= thumb.bottom) return 1;
  return 0;
}

void ScrollBar::ScrollLine(int direction) {
  if (owner_) {
    if (horizontal_) {
      direction < 0 ? owner_->LineLeft(-1) : owner_->LineRight(-1);
    } else {
      direction < 0 ? owner_->LineUp(-1, true) : owner_->LineDown(-1, true);
    }
    return;
  }
  SetScrollPos(pos_ + direction * static_cast<int64_t>(line_size_));
}

void ScrollBar::ScrollPage(int direction) {
  if (owner_) {
    if (horizontal_) {
      direction < 0 ? owner_->PageLeft() : owner_->PageRight();
    } else {
      direction < 0 ? owner_->PageUp() : owner_->PageDown();
    }
    return;
  }
  const int64_t page = horizontal_ ? item_rect_.GetWidth() : item_rect_.GetHeight();
  SetScrollPos(pos_ + direction * page);
}

void ScrollBar::SetPosFromDrag(int64_t pos) {
  if (!owner_) {
    SetScrollPos(pos);
    return;
  }
  const CSize current = owner_->GetScrollPos();
  const int value = static_cast<int>(std::clamp<int64_t>(pos, INT32_MIN, INT32_MAX));
  owner_->SetScrollPos(horizontal_ ? CSize(value, current.cy) : CSize(current.cx, value));
}

void ScrollBar::OnButtonPressed(const EventArgs& event) {
  StopRepeatTimer();
  GetAnimationManager().GetTimerManager()->AddCancelableTimer(
      repeat_flag_.AcquireWeakFlag(), [this] { OnRepeatTimer(); }, kRepeatIntervalMs,
      TimerManager::kRepeatForever);
  const CPoint point = event.mouse_point;
  if (show_button1_ && button1_rect_.IsPointIn(point)) {
    button1_state_ = kControlStatePushed;
    ScrollLine(-1);
  } else if (show_button2_ && button2_rect_.IsPointIn(point)) {
    button2_state_ = kControlStatePushed;
    ScrollLine(1);
  } else if (thumb_rect_.IsPointIn(point)) {
    thumb_state_ = kControlStatePushed;
    drag_start_point_ = point;
    drag_start_pos_ = pos_;
  } else if (const int side = SideOfThumb(point); side != 0) {
    track_direction_ = side;
    ScrollPage(side);
  }
  Invalidate();
}

void ScrollBar::StopRepeatTimer() {
  repeat_flag_.Cancel();
  repeat_count_ = 0;
  drag_delta_ = 0;
}

void ScrollBar::OnRepeatTimer() {
  ++repeat_count_;
  if (thumb_state_ == kControlStatePushed) {
    SetPosFromDrag(drag_start_pos_ + drag_delta_);
  } else if (button1_state_ == kControlStatePushed) {
    if (repeat_count_ > kRepeatDelayTicks) ScrollLine(-1);
  } else if (button2_state_ == kControlStatePushed) {
    if (repeat_count_ > kRepeatDelayTicks) ScrollLine(1);
  } else if (track_direction_ != 0 && repeat_count_ > kRepeatDelayTicks) {
    // Pages go on only while the pointer stays on the side it pressed, so the
    // thumb never swings back and forth around it.
    NativeWindow* native = window_ ? window_->GetNativeWindow() : nullptr;
    if (native && SideOfThumb(native->GetCursorPos()) == track_direction_) {
      ScrollPage(track_direction_);
    }
  }
}

void ScrollBar::OnButtonReleased(const EventArgs& event) {
  StopRepeatTimer();
  track_direction_ = 0;
  if (thumb_state_ == kControlStatePushed) {
    thumb_state_ = item_rect_.IsPointIn(event.mouse_point) ? kControlStateHot : kControlStateNormal;
  }
  if (button1_state_ == kControlStatePushed) button1_state_ = kControlStateNormal;
  if (button2_state_ == kControlStatePushed) button2_state_ = kControlStateNormal;
  Invalidate();
}

void ScrollBar::HandleEvent(EventArgs& event) {
  const int32_t type = event.type;
  Control* forward = owner_ ? static_cast<Control*>(owner_) : GetParentControl();
  if (IsMouseEvent(type) && !IsMouseEnabled()) {
    if (forward) forward->DispatchEvent(event);
    return;
  }
  switch (type) {
    case kEventMouseButtonDown:
    case kEventInternalDoubleClick:
    case kEventPointDown:
      if (IsEnabled()) OnButtonPressed(event);
      OnButtonDown(event);
      return;
    case kEventMouseMove:
    case kEventPointMove:
      if (IsButtonHeld() && thumb_state_ == kControlStatePushed) {
        const UiRect thumb = horizontal_ ? Transpose(thumb_rect_) : thumb_rect_;
        const UiRect b1 = horizontal_ ? Transpose(button1_rect_) : button1_rect_;
        const UiRect b2 = horizontal_ ? Transpose(button2_rect_) : button2_rect_;
        const int64_t free_length = (b2.top - b1.bottom) - thumb.GetHeight();
        if (free_length != 0) {
          const CPoint p = horizontal_ ? Transpose(event.mouse_point) : event.mouse_point;
          const CPoint start = horizontal_ ? Transpose(drag_start_point_) : drag_start_point_;
          drag_delta_ = (p.y - start.y) * range_ / free_length;
        }
      }
      return;
    case kEventMouseButtonUp:
    case kEventPointUp:
      OnButtonReleased(event);
      OnButtonUp(event);
      return;
    case kEventMouseEnter:
      OnMouseEnter(event);
      // The bar is no child of its owner, so the owner's own hover test would
      // drop this; the pointer over the bar is over the owner.
      if (owner_) {
        owner_->OnMouseEnter(event);
      } else if (forward) {
        forward->DispatchEvent(event);
      }
      return;
    case kEventMouseLeave:
      OnMouseLeave(event);
      if (forward) forward->DispatchEvent(event);
      return;
    case kEventInternalMenu:
    case kEventInternalSetFocus:
    case kEventInternalKillFocus:
      return;
    case kEventSetCursor:
      if (window_) window_->SetCursor(cursor_type_ == kCursorHand ? kCursorHand : kCursorArrow);
      return;
    default:
      if (owner_) {
        owner_->DispatchEvent(event);
      } else {
        Control::HandleEvent(event);
      }
      return;
  }
}

bool ScrollBar::OnMouseEnter(EventArgs& event) {
  if (!Control::OnMouseEnter(event)) return false;
  button1_state_ = button2_state_ = thumb_state_ = kControlStateHot;
  return true;
}

bool ScrollBar::OnMouseLeave(EventArgs& event) {
  if (!Control::OnMouseLeave(event)) return false;
  button1_state_ = button2_state_ = thumb_state_ = kControlStateNormal;
  return true;
}

bool ScrollBar::OnButtonUp(EventArgs& event) {
  bool result = false;
  if (IsButtonHeld()) {
    SetButtonHeld(false);
    Invalidate();
    if (!IsEnabled()) {
      // Disabled during the press: it stays disabled and is not activated.
    } else if (item_rect_.IsPointIn(event.mouse_point)) {
      state_ = kControlStateHot;
      hot_alpha_ = 255;
      Activate();
      result = true;
    } else {
      state_ = kControlStateNormal;
      hot_alpha_ = 0;
    }
  }
  if (auto_hide_ && owner_ && !owner_->GetPos().IsPointIn(event.mouse_point)) {
    SetFadeVisible(false);
  }
  return result;
}

// ---------------------------------------------------------------------------
// Painting

bool ScrollBar::DrawPartImage(IRenderContext* context, Part part, ControlStateType state) {
  auto set = part_images_.find(part);
  if (set == part_images_.end()) return false;
  auto it = set->second.find(state);
  if (it == set->second.end()) return false;
  return DrawImage(context, it->second, modifier_);
}

void ScrollBar::PaintPart(IRenderContext* context, Part part, ControlStateType state, bool hot_too,
                          const UiRect& rect) {
  modifier_ = nbase::StringPrintf(L"destscale='false' dest='%d,%d,%d,%d'",
                                  rect.left - item_rect_.left, rect.top - item_rect_.top,
                                  rect.right - item_rect_.left, rect.bottom - item_rect_.top);
  if (state == kControlStateDisabled) {
    if (DrawPartImage(context, part, kControlStateDisabled)) return;
  } else if (state == kControlStatePushed) {
    if (DrawPartImage(context, part, kControlStatePushed)) return;
    if (DrawPartImage(context, part, kControlStateHot)) return;
  } else if (state == kControlStateHot || hot_too) {
    if (DrawPartImage(context, part, kControlStateHot)) return;
  }
  DrawPartImage(context, part, kControlStateNormal);
}

void ScrollBar::Paint(IRenderContext* context, const UiRect& paint_area) {
  paint_rect_ = paint_area;
  if (!paint_rect_.Intersect(item_rect_)) return;

  // The background set follows the bar's own state with the usual fallbacks
  // and hot fade: paint it through the control's state image rules.
  std::swap(part_images_[kPartBk], state_images_[kStateImageBk]);
  PaintStateImageSet(context, kStateImageBk);
  std::swap(part_images_[kPartBk], state_images_[kStateImageBk]);

  const bool thumb_pushed = thumb_state_ == kControlStatePushed;
  if (show_button1_) PaintPart(context, kPartButton1, button1_state_, thumb_pushed, button1_rect_);
  if (show_button2_) PaintPart(context, kPartButton2, button2_state_, thumb_pushed, button2_rect_);
  if (thumb_rect_.IsRectEmpty()) return;
  PaintPart(context, kPartThumb, thumb_state_, false, thumb_rect_);

  // The rail: a square of the bar's thickness in the middle of the thumb.
  UiRect rail = thumb_rect_;
  if (horizontal_) {
    const int side = thumb_rect_.GetHeight();
    rail.left = thumb_rect_.left + (thumb_rect_.GetWidth() - side) / 2;
    rail.right = rail.left + side;
  } else {
    const int side = thumb_rect_.GetWidth();
    rail.top = thumb_rect_.top + (thumb_rect_.GetHeight() - side) / 2;
    rail.bottom = rail.top + side;
  }
  PaintPart(context, kPartRail, thumb_state_, false, rail);
}

void ScrollBar::ClearImageCache() {
  Control::ClearImageCache();
  for (auto& [part, states] : part_images_) {
    for (auto& [state, image] : states) image.ClearCache();
  }
}

}  // namespace ui
