#include "ui/control/label.h"

#include <algorithm>
#include <cwchar>
#include <type_traits>

#include "base/string_util.h"
#include "ui/core/animation_manager.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace ui {

uint32_t ApplyTextAlign(uint32_t style, const std::wstring& words) {
  auto has = [&words](const wchar_t* word) { return words.find(word) != std::wstring::npos; };
  // Substring tests in a fixed order: "vcenter" also matches "center".
  if (has(L"left")) style &= ~(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  if (has(L"center")) {
    style &= ~DT_RIGHT;
    style |= DT_CENTER;
  }
  if (has(L"right")) {
    style &= ~(DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    style |= DT_RIGHT;
  }
  if (has(L"top")) {
    style &= ~(DT_VCENTER | DT_BOTTOM);
    style |= DT_SINGLELINE;
  }
  if (has(L"vcenter")) {
    style &= ~DT_BOTTOM;
    style |= DT_VCENTER | DT_SINGLELINE | DT_CENTER;
  }
  if (has(L"bottom")) {
    style &= ~DT_VCENTER;
    style |= DT_BOTTOM | DT_SINGLELINE;
  }
  return style;
}

template <typename Base>
LabelTemplate<Base>::LabelTemplate() {
  const int initial = std::is_base_of_v<Box, Base> ? kLengthStretch : kLengthAuto;
  this->fixed_width_ = initial;
  this->fixed_height_ = initial;
  text_colors_[kControlStateNormal] = GlobalManager::GetDefaultColorName();
  text_colors_[kControlStateDisabled] = GlobalManager::GetDefaultDisabledColorName();
}

template <typename Base>
uint32_t LabelTemplate<Base>::EffectiveTextStyle() {
  if (single_line_) {
    text_style_ |= DT_SINGLELINE;
  } else {
    text_style_ &= ~DT_SINGLELINE;
  }
  return text_style_;
}

template <typename Base>
UiRect LabelTemplate<Base>::GetTextRect() const {
  UiRect rect = this->item_rect_;
  rect.left += text_padding_.left;
  rect.top += text_padding_.top;
  rect.right -= text_padding_.right;
  rect.bottom -= text_padding_.bottom;
  return rect;
}

template <typename Base>
void LabelTemplate<Base>::OnContentChanged() {
  if (this->fixed_width_ == kLengthAuto || this->fixed_height_ == kLengthAuto) {
    this->RelayoutUpward();
  } else {
    this->Invalidate();
  }
}

template <typename Base>
void LabelTemplate<Base>::GetAccessibleInfo(AccessibleInfo* info) const {
  Base::GetAccessibleInfo(info);
  info->role = AccessibleRole::kLabel;
  info->name = GetText();
  info->text = info->name;
  info->interfaces |= kAccessibleText;
}

template <typename Base>
CSize LabelTemplate<Base>::EstimateText(CSize available, bool* re_estimate) {
  const uint32_t style = EffectiveTextStyle();
  const std::wstring text = GetText();
  if (text.empty()) return CSize();
  IRenderContext* render = this->window_ ? this->window_->GetRenderContext() : nullptr;
  if (!render) return CSize();
  const int pad_x = text_padding_.left + text_padding_.right;
  const int pad_y = text_padding_.top + text_padding_.bottom;
  // The text is drawn inside the padding, so a fixed width wraps it that much narrower.
  const int fixed = this->fixed_width_;
  const int measure_width = fixed > pad_x ? fixed - pad_x : std::max(fixed, 0);
  const UiRect measured = render->MeasureText(text, font_, style, measure_width);
  int width = measured.GetWidth();
  int height = measured.GetHeight();
  if (this->fixed_height_ == kLengthAuto && !single_line_ && this->fixed_width_ == kLengthAuto &&
      this->max_width_ == kLengthStretch) {
    // The wrap width depends on what the parent offers: estimate again each time.
    if (re_estimate) *re_estimate = true;
    const int wrap_width = available.cx - pad_x;
    if (width > wrap_width && wrap_width > 0) {
      width = wrap_width;
      height = render->MeasureText(text, font_, style, wrap_width).GetHeight();
    }
  }
  return CSize(width + pad_x, height + pad_y);
}

template <typename Base>
bool LabelTemplate<Base>::HasHotState() {
  return !GetStateTextColor(kControlStateHot).empty() || Base::HasHotState();
}

template <typename Base>
void LabelTemplate<Base>::SetAttribute(const std::wstring& name, const std::wstring& value) {
  const bool on = value == L"true";
  if (name == L"align") {
    text_style_ = ApplyTextAlign(text_style_, value);
    this->Invalidate();
  } else if (name == L"endellipsis") {
    SetTextStyle(on ? (text_style_ | DT_END_ELLIPSIS) : (text_style_ & ~DT_END_ELLIPSIS));
  } else if (name == L"linelimit") {
    SetLineLimit(on);
  } else if (name == L"singleline") {
    SetSingleLine(on);
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"textid") {
    SetTextId(value);
  } else if (name == L"font") {
    SetFont(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"normaltextcolor") {
    SetStateTextColor(kControlStateNormal, value);
  } else if (name == L"hottextcolor") {
    SetStateTextColor(kControlStateHot, value);
  } else if (name == L"pushedtextcolor") {
    SetStateTextColor(kControlStatePushed, value);
  } else if (name == L"disabledtextcolor") {
    SetStateTextColor(kControlStateDisabled, value);
  } else if (name == L"textpadding") {
    SetTextPadding(ParseRectAttribute(value), true);
  } else {
    Base::SetAttribute(name, value);
  }
}

template <typename Base>
void LabelTemplate<Base>::PaintText(IRenderContext* context) {
  const std::wstring text = GetText();
  if (text.empty()) return;
  const UiRect rect = GetTextRect();
  const uint32_t style = EffectiveTextStyle();

  ControlStateType state = this->state_;
  if (state == kControlStatePushed && GetStateTextColor(state).empty()) state = kControlStateHot;
  if (state == kControlStateHot && GetStateTextColor(state).empty()) state = kControlStateNormal;
  if (state == kControlStateDisabled && GetStateTextColor(state).empty()) {
    state = kControlStateNormal;
  }

  const std::wstring hot = GetStateTextColor(kControlStateHot);
  const bool fading = this->animation_manager_ &&
                      this->animation_manager_->GetAnimationPlayer(kAnimationHot) != nullptr;
  if (fading && !hot.empty() &&
      (this->state_ == kControlStateNormal || this->state_ == kControlStateHot)) {
    const std::wstring normal = GetStateTextColor(kControlStateNormal);
    if (!normal.empty()) {
      context->DrawText(rect, text, GlobalManager::GetTextColor(normal), font_, style, 255,
                        line_limit_);
    }
    if (this->hot_alpha_ >= 1) {
      context->DrawText(rect, text, GlobalManager::GetTextColor(hot), font_, style,
                        static_cast<uint8_t>(std::min(this->hot_alpha_, 255)), line_limit_);
    }
    return;
  }
  context->DrawText(rect, text, GlobalManager::GetTextColor(GetStateTextColor(state)), font_, style,
                    255, line_limit_);
}

template <typename Base>
std::wstring LabelTemplate<Base>::GetText() const {
  if (text_.empty() && !text_id_.empty()) return GlobalManager::GetLanguageString(text_id_);
  return text_;
}

template <typename Base>
std::string LabelTemplate<Base>::GetTextUtf8() const {
  return nbase::WideToUTF8(GetText());
}

template <typename Base>
void LabelTemplate<Base>::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  OnContentChanged();
  this->NotifyAccessible(AccessibleChange::kText);
}

template <typename Base>
void LabelTemplate<Base>::SetTextUtf8(const std::string& text) {
  SetText(nbase::UTF8ToWide(text));
}

template <typename Base>
void LabelTemplate<Base>::SetTextId(const std::wstring& id) {
  if (text_id_ == id) return;
  text_id_ = id;
  OnContentChanged();
  this->NotifyAccessible(AccessibleChange::kText);
}

template <typename Base>
void LabelTemplate<Base>::SetTextIdUtf8(const std::string& id) {
  SetTextId(nbase::UTF8ToWide(id));
}

template <typename Base>
std::wstring LabelTemplate<Base>::GetStateTextColor(ControlStateType state) const {
  auto it = text_colors_.find(state);
  return it == text_colors_.end() ? std::wstring() : it->second;
}

template <typename Base>
void LabelTemplate<Base>::SetStateTextColor(ControlStateType state, const std::wstring& color) {
  if (state == kControlStateHot) this->GetAnimationManager().SetFadeHot(true);
  text_colors_[state] = color;
  this->Invalidate();
}

template <typename Base>
void LabelTemplate<Base>::SetFont(int font) {
  font_ = font;
  // Another font is another size for a label that follows its text.
  OnContentChanged();
}

template <typename Base>
void LabelTemplate<Base>::SetTextStyle(uint32_t style) {
  text_style_ = style;
  this->Invalidate();
}

template <typename Base>
void LabelTemplate<Base>::SetSingleLine(bool single_line) {
  if (single_line_ == single_line) return;
  single_line_ = single_line;
  OnContentChanged();
}

template <typename Base>
void LabelTemplate<Base>::SetLineLimit(bool line_limit) {
  if (line_limit_ == line_limit) return;
  line_limit_ = line_limit;
  this->Invalidate();
}

template <typename Base>
void LabelTemplate<Base>::SetTextPadding(UiRect padding, bool scale) {
  if (scale) GlobalManager::ScaleRectangle(padding);
  text_padding_ = padding;
  OnContentChanged();
}

template class LabelTemplate<Control>;
template class LabelTemplate<Box>;

}  // namespace ui
