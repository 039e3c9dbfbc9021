#include "ui/control/progress.h"

#include <algorithm>
#include <cwchar>

#include "base/string_util.h"
#include "ui/core/global_manager.h"

namespace ui {

namespace {

constexpr int kDefaultHeight = 12;

int ToInt(const std::wstring& value) {
  return static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
}

}  // namespace

Progress::Progress() {
  text_style_ = DT_SINGLELINE | DT_CENTER;
  fixed_height_ = GlobalManager::GetScaledLength(kDefaultHeight);
}

void Progress::SetAttribute(const std::wstring& name, const std::wstring& value) {
  const bool on = value == L"true";
  if (name == L"hor") {
    SetHorizontal(on);
  } else if (name == L"min") {
    SetMinValue(ToInt(value));
  } else if (name == L"max") {
    SetMaxValue(ToInt(value));
  } else if (name == L"value") {
    SetValue(std::wcstod(value.c_str(), nullptr));
  } else if (name == L"progressimage") {
    SetProgressImage(value);
  } else if (name == L"isstretchfore") {
    SetStretchForeImage(on);
  } else if (name == L"progresscolor") {
    size_t start = 0;
    while (start < value.size() && value[start] == L' ') ++start;
    SetProgressColor(value.substr(start));
  } else {
    LabelTemplate<Control>::SetAttribute(name, value);
  }
}

void Progress::NormalizeRange() {
  if (min_ >= max_) max_ = min_ + 1;
  value_ = std::clamp(value_, static_cast<double>(min_), static_cast<double>(max_));
}

UiRect Progress::GetProgressPos() {
  NormalizeRange();
  const double done = value_ - min_;
  const double span = static_cast<double>(max_) - min_;
  const int width = item_rect_.GetWidth();
  const int height = item_rect_.GetHeight();
  if (horizontal_) {
    return UiRect(0, 0, static_cast<int>(width * done / span), height);
  }
  return UiRect(0, static_cast<int>((max_ - value_) * height / span), width, height);
}

void Progress::PaintStateImage(IRenderContext* context) {
  const UiRect pos = GetProgressPos();
  if (!progress_color_.empty()) {
    const uint32_t color = GlobalManager::GetTextColor(progress_color_);
    if (color != 0) {
      UiRect fill = item_rect_;
      if (horizontal_) {
        fill.right = fill.left + pos.right;
      } else {
        fill.top = fill.top + pos.top;
      }
      context->DrawColor(fill, color, 255);
    }
  }
  if (progress_image_.image_attribute.file.empty()) return;
  if (stretch_fore_) {
    modifier_ = nbase::StringPrintf(L"destscale='false' dest='%d,%d,%d,%d'", pos.left, pos.top,
                                    pos.right, pos.bottom);
  } else {
    // Cut rather than squeezed: the picture shows at its own scale up to the value.
    modifier_ = nbase::StringPrintf(L"destscale='false' dest='%d,%d,%d,%d' source='%d,%d,%d,%d'",
                                    pos.left, pos.top, pos.right, pos.bottom, pos.left, pos.top,
                                    pos.right, pos.bottom);
  }
  DrawImage(context, progress_image_, modifier_);
}

void Progress::ClearImageCache() {
  LabelTemplate<Control>::ClearImageCache();
  progress_image_.ClearCache();
}

void Progress::SetHorizontal(bool horizontal) {
  if (horizontal_ == horizontal) return;
  horizontal_ = horizontal;
  Invalidate();
}

void Progress::SetMinValue(int min) {
  min_ = min;
  Invalidate();
}

void Progress::SetMaxValue(int max) {
  max_ = max;
  Invalidate();
}

void Progress::SetValue(double value) {
  const bool changed = value_ != value;
  value_ = value;
  Invalidate();
  if (changed) NotifyAccessible(AccessibleChange::kValue);
}

void Progress::GetAccessibleInfo(AccessibleInfo* info) const {
  LabelTemplate<Control>::GetAccessibleInfo(info);
  info->role = AccessibleRole::kProgressBar;
  info->interfaces = (info->interfaces & ~kAccessibleText) | kAccessibleValue;
  info->value = value_;
  info->min_value = min_;
  info->max_value = max_;
}

void Progress::SetStretchForeImage(bool stretch) {
  if (stretch_fore_ == stretch) return;
  stretch_fore_ = stretch;
  Invalidate();
}

const std::wstring& Progress::GetProgressImage() const {
  return progress_image_.image_attribute.image_string;
}

void Progress::SetProgressImage(const std::wstring& image) {
  progress_image_.SetImageString(image);
  Invalidate();
}

void Progress::SetProgressColor(const std::wstring& color) {
  if (progress_color_ == color) return;
  progress_color_ = color;
  Invalidate();
}

}  // namespace ui
