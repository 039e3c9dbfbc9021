#include "ui/control/slider.h"

#include <algorithm>
#include <cwchar>

#include "base/string_util.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/native/key_codes.h"

namespace ui {

namespace {

constexpr int kDefaultThumb = 10;

}  // namespace

Slider::Slider() {
  thumb_size_ = CSize(kDefaultThumb, kDefaultThumb);
  GlobalManager::ScaleSize(thumb_size_);
}

void Slider::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"step") {
    SetChangeStep(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"thumbnormalimage") {
    SetThumbStateImage(kControlStateNormal, value);
  } else if (name == L"thumbhotimage") {
    SetThumbStateImage(kControlStateHot, value);
  } else if (name == L"thumbpushedimage") {
    SetThumbStateImage(kControlStatePushed, value);
  } else if (name == L"thumbdisabledimage") {
    SetThumbStateImage(kControlStateDisabled, value);
  } else if (name == L"thumbsize") {
    SetThumbSize(ParseSizeAttribute(value));
  } else if (name == L"progressbarpadding") {
    SetProgressBarPadding(ParseRectAttribute(value));
  } else {
    Progress::SetAttribute(name, value);
  }
}

void Slider::SetThumbSize(CSize size, bool scale) {
  if (scale) GlobalManager::ScaleSize(size);
  thumb_size_ = CSize(std::max(size.cx, 0), std::max(size.cy, 0));
  Invalidate();
}

void Slider::SetProgressBarPadding(UiRect padding, bool scale) {
  if (scale) GlobalManager::ScaleRectangle(padding);
  bar_padding_ = padding;
  if (fixed_width_ == kLengthAuto || fixed_height_ == kLengthAuto) {
    RelayoutSelf();
  } else {
    Invalidate();
  }
}

std::wstring Slider::GetThumbStateImage(ControlStateType state) const {
  return thumb_images_[state].image_attribute.image_string;
}

void Slider::SetThumbStateImage(ControlStateType state, const std::wstring& image) {
  thumb_images_[state].SetImageString(image);
  Invalidate();
}

void Slider::Range(int* lo, int* hi) const {
  *lo = GetMinValue();
  *hi = GetMaxValue();
  if (*hi <= *lo) *hi = *lo + 1;
}

UiRect Slider::GetThumbRect() const {
  int lo = 0;
  int hi = 0;
  Range(&lo, &hi);
  const double v = std::clamp(GetValue(), static_cast<double>(lo), static_cast<double>(hi));
  const UiRect& r = item_rect_;
  const int cx = thumb_size_.cx;
  const int cy = thumb_size_.cy;
  if (IsHorizontal()) {
    const int left = r.left + static_cast<int>((v - lo) * (r.right - cx - r.left) / (hi - lo));
    const int top = (r.top + r.bottom - cy) / 2;
    return UiRect(left, top, left + cx, top + cy);
  }
  const int top = r.bottom - cy - static_cast<int>((v - lo) * (r.bottom - cy - r.top) / (hi - lo));
  const int left = (r.left + r.right - cx) / 2;
  return UiRect(left, top, left + cx, top + cy);
}

double Slider::ValueAt(CPoint point) const {
  int lo = 0;
  int hi = 0;
  Range(&lo, &hi);
  const UiRect& r = item_rect_;
  const int cx = thumb_size_.cx;
  const int cy = thumb_size_.cy;
  if (IsHorizontal()) {
    if (point.x >= r.right - cx / 2) return hi;
    if (point.x <= r.left + cx / 2) return lo;
    const int track = r.right - r.left - cx;
    if (track <= 0) return lo;
    return lo + static_cast<double>(point.x - cx / 2 - r.left) * (hi - lo) / track;
  }
  if (point.y >= r.bottom - cy / 2) return lo;
  if (point.y <= r.top + cy / 2) return hi;
  const int track = r.bottom - r.top - cy;
  if (track <= 0) return lo;
  return lo + static_cast<double>(r.bottom - cy / 2 - point.y) * (hi - lo) / track;
}

void Slider::ChangeValue(double value, bool notify) {
  int lo = 0;
  int hi = 0;
  Range(&lo, &hi);
  value = std::clamp(value, static_cast<double>(lo), static_cast<double>(hi));
  const bool changed = value != GetValue();
  SetValue(value);
  if (notify && changed && window_) window_->SendNotify(this, kEventValueChange);
}

void Slider::GetAccessibleInfo(AccessibleInfo* info) const {
  Progress::GetAccessibleInfo(info);
  info->role = AccessibleRole::kSlider;
  info->step = step_;
  if (IsKeyboardEnabled() && !IsNoFocus()) info->states |= kAccessibleFocusable;
}

void Slider::HandleEvent(EventArgs& event) {
  if (IsMouseEvent(event.type) && !IsMouseEnabled()) {
    if (Control* parent = GetParentControl()) parent->DispatchEvent(event);
    return;
  }
  const bool pointer =
      event.type == kEventPointDown || event.type == kEventPointMove || event.type == kEventPointUp;
  if (pointer && !receive_pointer_) {
    Progress::HandleEvent(event);
    return;
  }
  switch (event.type) {
    case kEventMouseButtonDown:
    case kEventInternalDoubleClick:
    case kEventPointDown:
      if (!IsEnabled()) return;
      // A press on the track moves the thumb there and holds it, so the
      // drag can go on from the same press.
      if (!GetThumbRect().IsPointIn(event.mouse_point)) {
        ChangeValue(ValueAt(event.mouse_point), false);
      }
      SetFocus();
      SetButtonHeld(true);
      state_ = kControlStatePushed;
      Invalidate();
      return;
    case kEventMouseMove:
    case kEventPointMove:
      if (IsButtonHeld()) {
        ChangeValue(ValueAt(event.mouse_point), false);
        return;
      }
      break;
    case kEventMouseButtonUp:
    case kEventPointUp:
      if (IsButtonHeld()) {
        SetButtonHeld(false);
        state_ = item_rect_.IsPointIn(event.mouse_point) ? kControlStateHot : kControlStateNormal;
        ChangeValue(ValueAt(event.mouse_point), false);
        if (window_) window_->SendNotify(this, kEventValueChange);
        Invalidate();
      }
      return;
    case kEventMouseScrollWheel: {
      if (!IsEnabled()) return;
      const auto wheel = static_cast<intptr_t>(event.w_param);
      ChangeValue(GetValue() + (wheel < 1 ? -step_ : step_), true);
      return;
    }
    case kEventKeyDown:
      if (!IsEnabled() || !IsKeyboardEnabled()) break;
      switch (event.w_param) {
        case kVkLeft:
        case kVkDown:
          ChangeValue(GetValue() - step_, true);
          return;
        case kVkRight:
        case kVkUp:
          ChangeValue(GetValue() + step_, true);
          return;
        case kVkHome:
          ChangeValue(GetMinValue(), true);
          return;
        case kVkEnd:
          ChangeValue(GetMaxValue(), true);
          return;
        default:
          break;
      }
      break;
    default:
      break;
  }
  Progress::HandleEvent(event);
}

UiRect Slider::GetProgressPos() {
  // The done part ends under the thumb's centre.
  const UiRect thumb = painting_ ? paint_thumb_ : GetThumbRect();
  UiRect bar = item_rect_;
  if (!painting_) bar.Deflate(bar_padding_);
  if (IsHorizontal()) {
    const int end = std::clamp((thumb.left + thumb.right) / 2, bar.left, bar.right);
    return UiRect(0, 0, end - bar.left, bar.GetHeight());
  }
  const int start = std::clamp((thumb.top + thumb.bottom) / 2, bar.top, bar.bottom);
  return UiRect(0, start - bar.top, bar.GetWidth(), bar.GetHeight());
}

void Slider::PaintStateImage(IRenderContext* context) {
  // The bar paints into the control's rect less the bar padding.
  const UiRect whole = item_rect_;
  const UiRect thumb = GetThumbRect();
  paint_thumb_ = thumb;
  painting_ = true;
  item_rect_.Deflate(bar_padding_);
  Progress::PaintStateImage(context);
  item_rect_ = whole;
  painting_ = false;

  thumb_modifier_ = nbase::StringPrintf(L"destscale='false' dest='%d,%d,%d,%d'",
                                        thumb.left - whole.left, thumb.top - whole.top,
                                        thumb.right - whole.left, thumb.bottom - whole.top);
  ControlStateType state = kControlStateNormal;
  if (!IsEnabled()) {
    state = kControlStateDisabled;
  } else if (IsButtonHeld()) {
    state = kControlStatePushed;
  } else if (state_ == kControlStateHot) {
    state = kControlStateHot;
  }
  if (state != kControlStateNormal && !thumb_images_[state].image_attribute.file.empty() &&
      DrawImage(context, thumb_images_[state], thumb_modifier_)) {
    return;
  }
  DrawImage(context, thumb_images_[kControlStateNormal], thumb_modifier_);
}

void Slider::ClearImageCache() {
  Progress::ClearImageCache();
  for (Image& image : thumb_images_) image.ClearCache();
}

}  // namespace ui
