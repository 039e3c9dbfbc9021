#include "ui/control/check_box.h"

#include <string_view>
#include <utility>

#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace ui {

namespace {

constexpr std::wstring_view kSelectedPrefix = L"selected";
constexpr const wchar_t* kStateWords[] = {L"normal", L"hot", L"pushed", L"disabled"};

// "hotimage" with suffix "image" → hot; -1 when `rest` is not state + suffix.
int StateOf(std::wstring_view rest, std::wstring_view suffix) {
  if (rest.size() <= suffix.size() || rest.substr(rest.size() - suffix.size()) != suffix) {
    return -1;
  }
  rest.remove_suffix(suffix.size());
  for (int i = 0; i < 4; ++i) {
    if (rest == kStateWords[i]) return i;
  }
  return -1;
}

Image* FirstWithFile(std::map<ControlStateType, Image>& set) {
  for (ControlStateType state :
       {kControlStateNormal, kControlStateHot, kControlStatePushed, kControlStateDisabled}) {
    auto it = set.find(state);
    if (it != set.end() && !it->second.image_attribute.file.empty()) return &it->second;
  }
  return nullptr;
}

// Puts the selected look in place of the normal one for one paint step; the
// base painting rules then apply unchanged.
template <typename T>
class SwapGuard {
 public:
  SwapGuard(T& a, T& b, bool active) : a_(a), b_(b), active_(active) {
    if (active_) std::swap(a_, b_);
  }
  ~SwapGuard() {
    if (active_) std::swap(a_, b_);
  }
  SwapGuard(const SwapGuard&) = delete;
  SwapGuard& operator=(const SwapGuard&) = delete;

 private:
  T& a_;
  T& b_;
  bool active_;
};

}  // namespace

template <typename Base>
Image* CheckBoxTemplate<Base>::GetEstimateImage() {
  if (Image* image = ButtonTemplate<Base>::GetEstimateImage()) return image;
  return FirstWithFile(selected_images_[kStateImageBk]);
}

template <typename Base>
void CheckBoxTemplate<Base>::Activate() {
  if (!this->IsActivatable()) return;
  Selected(!selected_, true);
}

template <typename Base>
void CheckBoxTemplate<Base>::GetAccessibleInfo(AccessibleInfo* info) const {
  ButtonTemplate<Base>::GetAccessibleInfo(info);
  info->role = AccessibleRole::kCheckBox;
  info->action = "toggle";
  info->states |= kAccessibleCheckable | (selected_ ? kAccessibleChecked : 0u);
}

template <typename Base>
bool CheckBoxTemplate<Base>::HasHotState() {
  return !GetSelectedStateColor(kControlStateHot).empty() || ButtonTemplate<Base>::HasHotState();
}

template <typename Base>
void CheckBoxTemplate<Base>::SetAttribute(const std::wstring& name, const std::wstring& value) {
  const std::wstring_view view(name);
  if (name == L"selected") {
    Selected(value == L"true", true);
    return;
  }
  if (view.substr(0, kSelectedPrefix.size()) == kSelectedPrefix) {
    std::wstring_view rest = view.substr(kSelectedPrefix.size());
    int state = -1;
    if (rest == L"textcolor") {
      SetSelectedTextColor(value);
      return;
    }
    if (rest.substr(0, 4) == L"fore" && (state = StateOf(rest.substr(4), L"image")) >= 0) {
      SetSelectedForeStateImage(static_cast<ControlStateType>(state), value);
      return;
    }
    if ((state = StateOf(rest, L"image")) >= 0) {
      SetSelectedStateImage(static_cast<ControlStateType>(state), value);
      return;
    }
    if ((state = StateOf(rest, L"color")) >= 0) {
      SetSelectedStateColor(static_cast<ControlStateType>(state), value);
      return;
    }
  }
  ButtonTemplate<Base>::SetAttribute(name, value);
}

template <typename Base>
void CheckBoxTemplate<Base>::PaintStateColor(IRenderContext* context) {
  SwapGuard guard(this->state_colors_, selected_colors_, selected_);
  ButtonTemplate<Base>::PaintStateColor(context);
}

template <typename Base>
void CheckBoxTemplate<Base>::PaintStateImage(IRenderContext* context) {
  SwapGuard guard(this->state_images_, selected_images_, selected_);
  ButtonTemplate<Base>::PaintStateImage(context);
}

template <typename Base>
void CheckBoxTemplate<Base>::PaintText(IRenderContext* context) {
  if (!selected_) {
    ButtonTemplate<Base>::PaintText(context);
    return;
  }
  const std::wstring text = this->GetText();
  if (text.empty()) return;
  std::wstring color = selected_text_color_.empty() ? this->GetStateTextColor(kControlStateNormal)
                                                    : selected_text_color_;
  if (!this->IsEnabled()) color = this->GetStateTextColor(kControlStateDisabled);
  context->DrawText(this->GetTextRect(), text, GlobalManager::GetTextColor(color), this->font_,
                    this->EffectiveTextStyle(), 255, false);
}

template <typename Base>
void CheckBoxTemplate<Base>::ClearImageCache() {
  ButtonTemplate<Base>::ClearImageCache();
  for (auto& set : selected_images_) {
    for (auto& entry : set) entry.second.ClearCache();
  }
}

template <typename Base>
void CheckBoxTemplate<Base>::Selected(bool selected, bool send_event) {
  if (selected_ == selected) return;
  selected_ = selected;
  this->NotifyAccessible(AccessibleChange::kState);
  if (this->window_ && send_event) {
    std::weak_ptr<nbase::WeakFlag> alive = this->AcquireWeakFlag();
    this->window_->SendNotify(this, selected ? kEventSelect : kEventUnSelect);
    if (alive.expired()) return;
  }
  this->Invalidate();
}

template <typename Base>
std::wstring CheckBoxTemplate<Base>::GetSelectedStateColor(ControlStateType state) const {
  auto it = selected_colors_.find(state);
  return it == selected_colors_.end() ? std::wstring() : it->second;
}

template <typename Base>
void CheckBoxTemplate<Base>::SetSelectedStateColor(ControlStateType state,
                                                   const std::wstring& color) {
  if (GetSelectedStateColor(state) == color) return;
  selected_colors_[state] = color;
  this->Invalidate();
}

template <typename Base>
std::wstring CheckBoxTemplate<Base>::GetSelectedStateImage(ControlStateType state) const {
  auto it = selected_images_[kStateImageBk].find(state);
  return it == selected_images_[kStateImageBk].end() ? std::wstring()
                                                     : it->second.image_attribute.image_string;
}

template <typename Base>
void CheckBoxTemplate<Base>::SetSelectedStateImage(ControlStateType state,
                                                   const std::wstring& image) {
  selected_images_[kStateImageBk][state].SetImageString(image);
  // It may be the picture an auto-sized box measures.
  if (this->fixed_width_ == kLengthAuto || this->fixed_height_ == kLengthAuto) {
    this->RelayoutUpward();
  } else {
    this->Invalidate();
  }
}

template <typename Base>
std::wstring CheckBoxTemplate<Base>::GetSelectedForeStateImage(ControlStateType state) const {
  auto it = selected_images_[kStateImageFore].find(state);
  return it == selected_images_[kStateImageFore].end() ? std::wstring()
                                                       : it->second.image_attribute.image_string;
}

template <typename Base>
void CheckBoxTemplate<Base>::SetSelectedForeStateImage(ControlStateType state,
                                                       const std::wstring& image) {
  selected_images_[kStateImageFore][state].SetImageString(image);
  this->Invalidate();
}

template <typename Base>
void CheckBoxTemplate<Base>::SetSelectedTextColor(const std::wstring& color) {
  selected_text_color_ = color;
  this->Invalidate();
}

template class CheckBoxTemplate<Control>;
template class CheckBoxTemplate<Box>;

}  // namespace ui
