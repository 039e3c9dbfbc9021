#include "ui/control/scroll_bar.h"

#include <algorithm>
#include <cwchar>

#include "base/string_util.h"
#include "ui/core/global_manager.h"

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

}  // namespace

ScrollBar::ScrollBar() {
  SetFloat(true);
  SetButtonUpOnFocusLoss(true);
  fixed_width_ = GlobalManager::GetScaledLength(kDefaultBarWidth);
  fixed_height_ = 0;
}

void ScrollBar::SetHorizontal(bool horizontal) {
  if (horizontal_ == horizontal) return;
  horizontal_ = horizontal;
  std::swap(fixed_width_, fixed_height_);
  RequestLayout();
}

void ScrollBar::SetScrollRange(int64_t range) {
  range_ = std::max<int64_t>(range, 0);
  if (range_ == 0) pos_ = 0;
  pos_ = std::clamp<int64_t>(pos_, 0, range_);
  UpdateThumb();
  Invalidate();
}

void ScrollBar::SetScrollPos(int64_t pos) {
  pos = std::clamp<int64_t>(pos, 0, range_);
  if (pos == pos_) return;
  pos_ = pos;
  UpdateThumb();
  Invalidate();
}

void ScrollBar::SetPos(UiRect rect) {
  Control::SetPos(rect);
  UpdateThumb();
}

void ScrollBar::SetVisible(bool visible) {
  const bool was_visible = IsVisible();
  Control::SetVisible(visible);
  if (was_visible != IsVisible()) RelayoutSelf();
}

void ScrollBar::UpdateThumb() {
  const UiRect& rc = item_rect_;
  const int64_t rail = horizontal_ ? rc.GetWidth() : rc.GetHeight();
  if (rail <= 0 || range_ <= 0) {
    thumb_rect_ = UiRect();
    return;
  }
  int64_t length = rail * rail / (rail + range_);
  length = std::min<int64_t>(std::max<int64_t>(length, thumb_min_length_), rail);
  const int64_t offset = (rail - length) * pos_ / range_;
  if (horizontal_) {
    const int left = rc.left + static_cast<int>(offset);
    thumb_rect_ = UiRect(left, rc.top, left + static_cast<int>(length), rc.bottom);
  } else {
    const int top = rc.top + static_cast<int>(offset);
    thumb_rect_ = UiRect(rc.left, top, rc.right, top + static_cast<int>(length));
  }
}

void ScrollBar::SetAttribute(const std::wstring& name, const std::wstring& value) {
  for (const PartName& part : kPartNames) {
    const std::wstring prefix = part.prefix;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    for (const StateName& state : kStateNames) {
      if (name.compare(prefix.size(), std::wstring::npos, state.suffix) == 0) {
        part_images_[part.part][state.state].SetImageString(value);
        Invalidate();
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

void ScrollBar::Paint(IRenderContext* context, const UiRect& paint_area) {
  Control::Paint(context, paint_area);
  if (range_ <= 0 || paint_rect_.IsRectEmpty()) return;
  const ControlStateType state = IsEnabled() ? state_ : kControlStateDisabled;
  auto draw = [&](Part part, const UiRect& dest) {
    auto it = part_images_.find(part);
    if (it == part_images_.end()) return;
    auto image = it->second.find(state);
    if (image == it->second.end()) image = it->second.find(kControlStateNormal);
    if (image == it->second.end()) return;
    const std::wstring modifier = nbase::StringPrintf(
        L"destscale='false' dest='%d,%d,%d,%d'", dest.left - item_rect_.left,
        dest.top - item_rect_.top, dest.right - item_rect_.left, dest.bottom - item_rect_.top);
    DrawImage(context, image->second, modifier);
  };
  draw(kPartBk, item_rect_);
  draw(kPartRail, item_rect_);
  draw(kPartThumb, thumb_rect_);
}

void ScrollBar::ClearImageCache() {
  Control::ClearImageCache();
  for (auto& [part, states] : part_images_) {
    for (auto& [state, image] : states) image.ClearCache();
  }
}

}  // namespace ui
