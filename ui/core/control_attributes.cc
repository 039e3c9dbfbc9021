#include "ui/core/control.h"

#include <cwchar>

#include "base/string_util.h"
#include "ui/core/animation_manager.h"
#include "ui/core/box.h"
#include "ui/core/core_helpers.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace ui {

using namespace core_helpers;

namespace {

// Reads up to `count` integers the way wcstol walks a comma list: each number
// starts one character after the previous one ended.
void ParseIntegers(const std::wstring& value, int* out, int count) {
  const wchar_t* p = value.c_str();
  const wchar_t* end = p + value.size();
  for (int i = 0; i < count; ++i) {
    if (p >= end) break;
    wchar_t* stop = nullptr;
    out[i] = static_cast<int>(std::wcstol(p, &stop, 10));
    if (stop == p) break;
    p = stop;
    if (p < end) ++p;
  }
}

Control* FindByNameIgnoringCase(Control* control, void* data) {
  const std::wstring& name = *static_cast<const std::wstring*>(data);
  return nbase::EqualsIgnoreAsciiCase(control->GetName(), name) ? control : nullptr;
}

constexpr const wchar_t* kStateWords[] = {L"normal", L"hot", L"pushed", L"disabled"};

// "normalcolor", "forehotimage", ... → state; -1 when `name` is not prefix+state+suffix.
int StateFromName(const std::wstring& name, std::wstring_view prefix, std::wstring_view suffix) {
  if (name.size() <= prefix.size() + suffix.size()) return -1;
  if (name.compare(0, prefix.size(), prefix) != 0) return -1;
  if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return -1;
  std::wstring word = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  for (int i = 0; i < 4; ++i) {
    if (word == kStateWords[i]) return i;
  }
  return -1;
}

}  // namespace

UiRect ParseRectAttribute(const std::wstring& value) {
  int v[4] = {0, 0, 0, 0};
  ParseIntegers(value, v, 4);
  return UiRect(v[0], v[1], v[2], v[3]);
}

CSize ParseSizeAttribute(const std::wstring& value) {
  int v[2] = {0, 0};
  ParseIntegers(value, v, 2);
  return CSize(v[0], v[1]);
}

CPoint ParsePointAttribute(const std::wstring& value) {
  CSize size = ParseSizeAttribute(value);
  return CPoint(size.cx, size.cy);
}

int ParseLengthAttribute(const std::wstring& value) {
  if (value == L"stretch") return kLengthStretch;
  if (value == L"auto") return kLengthAuto;
  return static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
}

void Control::SetAttribute(const std::wstring& name, const std::wstring& value) {
  int state = -1;
  if (name == L"class") {
    SetClass(value);
  } else if (name == L"halign") {
    if (value == L"left") hor_align_ = kHorAlignLeft;
    if (value == L"center") hor_align_ = kHorAlignCenter;
    if (value == L"right") hor_align_ = kHorAlignRight;
  } else if (name == L"valign") {
    if (value == L"top") ver_align_ = kVerAlignTop;
    if (value == L"center") ver_align_ = kVerAlignCenter;
    if (value == L"bottom") ver_align_ = kVerAlignBottom;
  } else if (name == L"margin") {
    SetMargin(ParseRectAttribute(value), true);
  } else if (name == L"bkcolor" || name == L"bkcolor1") {
    size_t start = 0;
    while (start < value.size() && value[start] <= L' ') ++start;
    SetBkColor(value.substr(start));
  } else if (name == L"bordersize") {
    if (value.find(L',') == std::wstring::npos) {
      SetBorderSize(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
    } else {
      SetBorderSize(ParseRectAttribute(value));
    }
  } else if (name == L"borderround") {
    SetBorderRound(ParseSizeAttribute(value));
  } else if (name == L"width" || name == L"height") {
    int length = ParseLengthAttribute(value);
    if (length >= 0 || length == kLengthStretch || length == kLengthAuto) {
      if (name == L"width") {
        SetFixedWidth(length, true, true);
      } else {
        SetFixedHeight(length, true);
      }
    }
  } else if (name == L"maxwidth") {
    SetMaxWidth(ParseLengthAttribute(value));
  } else if (name == L"maxheight") {
    SetMaxHeight(ParseLengthAttribute(value));
  } else if (name == L"minwidth") {
    SetMinWidth(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"minheight") {
    SetMinHeight(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"state") {
    for (int i = 0; i < 4; ++i) {
      if (value == kStateWords[i]) SetState(static_cast<ControlStateType>(i));
    }
  } else if (name == L"cursortype") {
    if (value == L"arrow") cursor_type_ = kCursorArrow;
    if (value == L"hand") cursor_type_ = kCursorHand;
    if (value == L"ibeam") cursor_type_ = kCursorHandIbeam;
  } else if (name == L"renderoffset") {
    CPoint offset = ParsePointAttribute(value);
    SetRenderOffset(CPoint(Scaled(offset.x), Scaled(offset.y)));
  } else if ((state = StateFromName(name, L"", L"color")) >= 0) {
    SetStateColor(static_cast<ControlStateType>(state), value);
  } else if (name == L"bordercolor") {
    SetBorderColor(value);
  } else if (name == L"leftbordersize" || name == L"topbordersize" || name == L"rightbordersize" ||
             name == L"bottombordersize") {
    int size = Scaled(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
    if (name[0] == L'l') border_sides_.left = size;
    if (name[0] == L't') border_sides_.top = size;
    if (name[0] == L'r') border_sides_.right = size;
    if (name[0] == L'b') border_sides_.bottom = size;
    Invalidate();
  } else if (name == L"bkimage") {
    SetBkImage(value);
  } else if (name == L"name") {
    SetName(value);
  } else if (name == L"tooltiptext") {
    SetToolTipText(value);
  } else if (name == L"tooltiptextid") {
    SetToolTipTextId(value);
  } else if (name == L"dataid") {
    SetDataId(value);
  } else if (name == L"enabled") {
    SetEnabled(ToBool(value));
  } else if (name == L"mouse") {
    SetMouseEnabled(ToBool(value));
  } else if (name == L"keyboard") {
    SetKeyboardEnabled(ToBool(value));
  } else if (name == L"visible") {
    SetVisible(ToBool(value));
  } else if (name == L"menu") {
    SetMenuUsed(ToBool(value));
  } else if (name == L"fadevisible") {
    SetFadeVisible(ToBool(value));
  } else if (name == L"float") {
    SetFloat(ToBool(value));
  } else if (name == L"cache") {
    SetUseCache(ToBool(value));
  } else if (name == L"nofocus") {
    SetNoFocus();
  } else if (name == L"tabstop") {
    SetTabStop(ToBool(value));
  } else if (name == L"focusring") {
    SetFocusRingEnabled(ToBool(value));
  } else if (name == L"focusringcolor") {
    SetFocusRingColor(value);
  } else if (name == L"alpha") {
    SetAlpha(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if ((state = StateFromName(name, L"fore", L"image")) >= 0) {
    SetForeStateImage(static_cast<ControlStateType>(state), value);
  } else if ((state = StateFromName(name, L"", L"image")) >= 0) {
    SetStateImage(static_cast<ControlStateType>(state), value);
  } else if (name == L"fadealpha") {
    GetAnimationManager().SetFadeAlpha(ToBool(value));
  } else if (name == L"fadehot") {
    GetAnimationManager().SetFadeHot(ToBool(value));
  } else if (name == L"fadewidth") {
    GetAnimationManager().SetFadeWidth(ToBool(value));
  } else if (name == L"fadeheight") {
    GetAnimationManager().SetFadeHeight(ToBool(value));
  } else if (name == L"fadeinoutxfromleft") {
    GetAnimationManager().SetFadeInOutX(ToBool(value), false);
  } else if (name == L"fadeinoutxfromright") {
    GetAnimationManager().SetFadeInOutX(ToBool(value), true);
  } else if (name == L"fadeinoutyfromtop") {
    GetAnimationManager().SetFadeInOutY(ToBool(value), false);
  } else if (name == L"fadeinoutyfrombottom") {
    GetAnimationManager().SetFadeInOutY(ToBool(value), true);
  } else if (name == L"receivepointer") {
    SetReceivePointer(ToBool(value));
  }
}

void Control::SetBkColor(const std::wstring& color) {
  if (bk_color_ == color) return;
  bk_color_ = color;
  Invalidate();
}

std::wstring Control::GetStateColor(ControlStateType state) const {
  auto it = state_colors_.find(state);
  return it == state_colors_.end() ? std::wstring() : it->second;
}

void Control::SetStateColor(ControlStateType state, const std::wstring& color) {
  if (GetStateColor(state) == color) return;
  if (state == kControlStateHot) GetAnimationManager().SetFadeHot(true);
  state_colors_[state] = color;
  Invalidate();
}

const std::wstring& Control::GetBkImage() const {
  return bk_image_.image_attribute.image_string;
}

void Control::SetBkImage(const std::wstring& image) {
  StopBkImageAnimation(kAnimationFrameCurrent);
  bk_image_.SetImageString(image);
  play_bk_animation_ = bk_image_.image_attribute.play_count != 0;
  if (IsAuto(this)) {
    RelayoutUpward();
  } else {
    Invalidate();
  }
}

std::wstring Control::GetStateImageString(StateImageType set, ControlStateType state) const {
  auto it = state_images_[set].find(state);
  return it == state_images_[set].end() ? std::wstring() : it->second.image_attribute.image_string;
}

bool Control::StoreStateImage(StateImageType set, ControlStateType state,
                              const std::wstring& image) {
  if (state_images_[set].count(state) && GetStateImageString(set, state) == image) return false;
  if (state == kControlStateHot) GetAnimationManager().SetFadeHot(true);
  state_images_[set][state].SetImageString(image);
  return true;
}

std::wstring Control::GetStateImage(ControlStateType state) const {
  return GetStateImageString(kStateImageBk, state);
}

void Control::SetStateImage(ControlStateType state, const std::wstring& image) {
  if (!StoreStateImage(kStateImageBk, state, image)) return;
  if (IsAuto(this)) {
    RelayoutUpward();
  } else {
    Invalidate();
  }
}

std::wstring Control::GetForeStateImage(ControlStateType state) const {
  return GetStateImageString(kStateImageFore, state);
}

void Control::SetForeStateImage(ControlStateType state, const std::wstring& image) {
  if (StoreStateImage(kStateImageFore, state, image)) Invalidate();
}

void Control::SetBorderColor(const std::wstring& color) {
  if (border_color_ == color) return;
  border_color_ = color;
  Invalidate();
}

void Control::SetBorderSize(int size) {
  size = Scaled(size);
  border_sides_ = UiRect();
  if (border_size_ == size) return;
  border_size_ = size;
  Invalidate();
}

void Control::SetBorderSize(UiRect sides) {
  border_sides_ = ScaledSides(sides);
  Invalidate();
}

void Control::SetBorderRound(CSize round) {
  border_round_ = CSize(Scaled(round.cx), Scaled(round.cy));
  Invalidate();
}

void Control::SetAlpha(int alpha) {
  alpha_ = alpha;
  Invalidate();
}

void Control::SetHotAlpha(int alpha) {
  hot_alpha_ = alpha;
  Invalidate();
}

void Control::SetRenderOffset(CPoint offset) {
  render_offset_ = offset;
  Invalidate();
}

void Control::SetRenderOffsetX(int x) {
  SetRenderOffset(CPoint(x, render_offset_.y));
}

void Control::SetRenderOffsetY(int y) {
  SetRenderOffset(CPoint(render_offset_.x, y));
}

void Control::SetState(ControlStateType state) {
  if (state == kControlStateNormal) hot_alpha_ = 0;
  if (state == kControlStateHot) hot_alpha_ = 255;
  state_ = state;
  Invalidate();
}

void Control::SetClass(const std::wstring& classes) {
  for (const std::wstring& name : nbase::StringTokenize(classes, L" ")) {
    std::wstring list = GlobalManager::GetClass(name);
    if (list.empty() && window_) list = window_->GetClassAttributes(name);
    if (!list.empty()) ApplyAttributeList(list);
  }
}

void Control::ApplyAttributeList(const std::wstring& list) {
  const size_t size = list.size();
  size_t pos = 0;
  while (pos < size) {
    size_t equals = list.find(L'=', pos);
    if (equals == std::wstring::npos) return;
    std::wstring name = list.substr(pos, equals - pos);
    if (equals + 1 >= size || list[equals + 1] != L'"') return;
    size_t value_start = equals + 2;
    size_t quote = list.find(L'"', value_start);
    if (quote == std::wstring::npos) return;
    SetAttribute(name, list.substr(value_start, quote - value_start));
    pos = quote + 1;
    if (pos + 1 < size && list[pos] == L' ') {
      ++pos;
    } else {
      return;
    }
  }
}

bool Control::ApplyAttributeListTo(const std::wstring& receiver, const std::wstring& list) {
  Control* target = nullptr;
  if (receiver.rfind(L".\\", 0) == 0 || receiver.rfind(L"./", 0) == 0) {
    std::wstring name = receiver.substr(2);
    target = FindControl(&FindByNameIgnoringCase, &name, kFindAll);
  } else if (window_) {
    target = window_->FindControl(receiver);
  }
  if (target) target->ApplyAttributeList(list);
  return true;
}

}  // namespace ui
