#include "ui/core/control.h"

#include <chrono>
#include <cwchar>
#include <utility>

#include "base/string_util.h"
#include "ui/core/animation_manager.h"
#include "ui/core/box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/render/render.h"

namespace ui {

namespace {

int Scaled(int value) {
  GlobalManager::ScaleLength(value);
  return value;
}

UiRect ScaledSides(UiRect sides) {
  return UiRect(Scaled(sides.left), Scaled(sides.top), Scaled(sides.right), Scaled(sides.bottom));
}

bool IsAuto(const PlaceHolder* p) {
  return p->GetFixedWidth() == kLengthAuto || p->GetFixedHeight() == kLengthAuto;
}

bool ToBool(const std::wstring& value) {
  return value == L"true";
}

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

struct EventWord {
  const wchar_t* word;
  EventType type;
};

constexpr EventWord kEventWords[] = {
    {L"all", kEventAll},
    {L"keydown", kEventKeyDown},
    {L"keyup", kEventKeyUp},
    {L"char", kEventChar},
    {L"syskey", kEventSystemKey},
    {L"mousemove", kEventMouseMove},
    {L"mouseenter", kEventMouseEnter},
    {L"mouseleave", kEventMouseLeave},
    {L"mousehover", kEventMouseHover},
    {L"buttondown", kEventMouseButtonDown},
    {L"buttonup", kEventMouseButtonUp},
    {L"rbuttondown", kEventMouseRightButtonDown},
    {L"doubleclick", kEventMouseDoubleClick},
    {L"menu", kEventMouseMenu},
    {L"scrollwheel", kEventMouseScrollWheel},
    {L"setfocus", kEventSetFocus},
    {L"killfocus", kEventKillFocus},
    {L"windowclose", kEventWindowClose},
    {L"setcursor", kEventSetCursor},
    {L"select", kEventSelect},
    {L"unselect", kEventUnSelect},
    {L"return", kEventReturn},
    {L"tab", kEventTab},
    {L"scrollchange", kEventScrollChange},
    {L"valuechange", kEventValueChange},
};

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

EventType EventTypeFromString(const std::wstring& word) {
  for (const EventWord& entry : kEventWords) {
    if (word == entry.word) return entry.type;
  }
  return kEventNone;
}

bool RunEventCallbacks(const EventMap& map, int32_t kind, const EventArgs& args) {
  auto it = map.find(kind);
  if (it == map.end()) return true;
  // A copy: a handler may attach handlers or destroy the owner of the map.
  EventCallbackList callbacks = it->second;
  for (const EventCallback& callback : callbacks) {
    if (callback && !callback(args)) return false;
  }
  return true;
}

uint32_t GetEventTickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

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

// ---------------------------------------------------------------------------
// PlaceHolder

PlaceHolder::PlaceHolder() = default;
PlaceHolder::~PlaceHolder() = default;

Window* PlaceHolder::GetWindow() const {
  return window_;
}

void PlaceHolder::SetWindow(Window* window) {
  window_ = window;
}

void PlaceHolder::SetWindow(Window* window, Box* parent, bool init) {
  window_ = window;
  parent_ = parent;
  if (init && parent_) Init();
}

void PlaceHolder::Init() {
  DoInit();
}

void PlaceHolder::DoInit() {}

bool PlaceHolder::IsVisible() const {
  return visible_ && inherited_visible_;
}

CSize PlaceHolder::EstimateSize(CSize /*available*/) {
  return CSize(fixed_width_, fixed_height_);
}

UiRect PlaceHolder::GetPos(bool with_shadow) const {
  UiRect rect = item_rect_;
  if (!with_shadow && window_ && window_->IsShadowAttached()) {
    UiRect corner = window_->GetShadowCorner();
    rect.Offset(-corner.left, -corner.top);
  }
  return rect;
}

void PlaceHolder::SetPos(UiRect rect) {
  item_rect_ = rect;
}

void PlaceHolder::RequestLayout() {
  if (IsAuto(this)) {
    RelayoutUpward();
  } else {
    RelayoutSelf();
  }
}

void PlaceHolder::RelayoutUpward() {
  re_estimate_ = true;
  if (window_ && window_->GetRoot()) {
    for (Control* p = GetParentControl(); p; p = p->GetParentControl()) {
      if (!IsAuto(p)) {
        p->RelayoutSelf();
        return;
      }
      p->SetReEstimateSize(true);
    }
    window_->GetRoot()->RelayoutSelf();
    return;
  }
  if (Control* parent = GetParentControl()) {
    parent->RelayoutSelf();
  } else {
    RelayoutSelf();
  }
}

void PlaceHolder::Invalidate() {
  if (!IsVisible()) return;
  cache_dirty_ = true;
  if (!window_) return;
  UiRect rect = GetPos(true);
  if (auto* control = dynamic_cast<Control*>(this)) {
    CPoint offset = control->GetScrollOffset();
    rect.Offset(-offset.x, -offset.y);
  }
  window_->Invalidate(rect);
}

void PlaceHolder::RelayoutSelf() {
  if (!IsVisible()) return;
  re_estimate_ = true;
  arranged_ = true;
  Invalidate();
  if (window_) window_->SetNeedLayout();
}

Control* PlaceHolder::GetParentControl() const {
  return parent_;
}

std::string PlaceHolder::GetUtf8Name() const {
  return nbase::WideToUTF8(name_);
}

void PlaceHolder::SetFixedWidth(int width, bool relayout, bool scale) {
  if (width < 0 && width != kLengthStretch && width != kLengthAuto) return;
  if (scale && width > 0) width = Scaled(width);
  if (fixed_width_ == width) return;
  fixed_width_ = width;
  if (relayout) {
    RelayoutUpward();
  } else {
    re_estimate_ = true;
  }
}

void PlaceHolder::SetFixedHeight(int height, bool scale) {
  if (height < 0 && height != kLengthStretch && height != kLengthAuto) return;
  if (scale && height > 0) height = Scaled(height);
  if (fixed_height_ == height) return;
  fixed_height_ = height;
  RelayoutUpward();
}

namespace {

void SetBound(PlaceHolder* self, int* field, int value) {
  if (value > 0) value = Scaled(value);
  if (*field == value) return;
  *field = value;
  if (self->IsFloat()) {
    self->RequestLayout();
  } else {
    self->RelayoutUpward();
  }
}

}  // namespace

void PlaceHolder::SetMinWidth(int width) {
  if (width < 0) return;
  SetBound(this, &min_width_, width);
}

void PlaceHolder::SetMinHeight(int height) {
  if (height < 0) return;
  SetBound(this, &min_height_, height);
}

void PlaceHolder::SetMaxWidth(int width) {
  SetBound(this, &max_width_, width);
}

void PlaceHolder::SetMaxHeight(int height) {
  SetBound(this, &max_height_, height);
}

void PlaceHolder::SetFloat(bool value) {
  if (float_ == value) return;
  float_ = value;
  RelayoutUpward();
}

void PlaceHolder::SetUseCache(bool value) {
  use_cache_ = value;
  if (!value) cache_context_.reset();
  cache_dirty_ = true;
}

// ---------------------------------------------------------------------------
// Control

Control::Control() = default;

Control::~Control() {
  image_weak_flag_.Cancel();
  animation_manager_.reset();
  if (window_) window_->ReapObjects(this);
}

AnimationManager& Control::GetAnimationManager() {
  if (!animation_manager_) animation_manager_ = std::make_unique<AnimationManager>(this);
  return *animation_manager_;
}

Image* Control::GetEstimateImage() {
  if (!bk_image_.image_attribute.file.empty()) return &bk_image_;
  for (ControlStateType state :
       {kControlStateNormal, kControlStateHot, kControlStatePushed, kControlStateDisabled}) {
    auto it = state_images_[kStateImageBk].find(state);
    if (it != state_images_[kStateImageBk].end() && !it->second.image_attribute.file.empty()) {
      return &it->second;
    }
  }
  return nullptr;
}

CursorType Control::GetCursorType() const {
  return cursor_type_;
}

std::wstring Control::GetToolTipText() const {
  if (tooltip_text_.empty() && !tooltip_text_id_.empty()) {
    return GlobalManager::GetLanguageString(tooltip_text_id_);
  }
  return tooltip_text_;
}

std::string Control::GetToolTipTextUtf8() const {
  return nbase::WideToUTF8(GetToolTipText());
}

void Control::SetToolTipText(const std::wstring& text) {
  tooltip_text_ = text;
  nbase::StringReplaceAll(L"<n>", L"\r\n", &tooltip_text_);
  Invalidate();
}

void Control::SetToolTipTextUtf8(const std::string& text) {
  std::wstring wide = nbase::UTF8ToWide(text);
  if (wide == tooltip_text_) return;
  if (wide.empty()) {
    tooltip_text_.clear();
    Invalidate();
  } else {
    SetToolTipText(wide);
  }
}

void Control::SetToolTipTextId(const std::wstring& id) {
  if (tooltip_text_id_ == id) return;
  tooltip_text_id_ = id;
  Invalidate();
}

void Control::SetToolTipTextIdUtf8(const std::string& id) {
  SetToolTipTextId(nbase::UTF8ToWide(id));
}

void Control::SetToolTipWidth(int width) {
  tooltip_width_ = Scaled(width);
}

int Control::GetToolTipWidth() const {
  return tooltip_width_;
}

bool Control::IsMenuUsed() const {
  return menu_used_;
}

void Control::SetMenuUsed(bool used) {
  menu_used_ = used;
}

std::wstring Control::GetDataId() const {
  return data_id_;
}

std::string Control::GetDataIdUtf8() const {
  return nbase::WideToUTF8(data_id_);
}

void Control::SetDataId(const std::wstring& id) {
  data_id_ = id;
}

void Control::SetDataIdUtf8(const std::string& id) {
  data_id_ = nbase::UTF8ToWide(id);
}

UserDataBase* Control::GetUserData() const {
  return user_data_.get();
}

void Control::SetUserData(std::unique_ptr<UserDataBase> data) {
  user_data_ = std::move(data);
}

void Control::SetFadeVisible(bool visible) {
  if (visible) {
    GetAnimationManager().Appear();
  } else {
    GetAnimationManager().Disappear();
  }
}

void Control::SetInheritedVisible(bool visible) {
  inherited_visible_ = visible;
  if (!visible && window_ && window_->GetFocus() == this) window_->SetFocus(nullptr);
  if (!IsVisible()) StopBkImageAnimation(kAnimationFrameCurrent);
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  bool was_visible = IsVisible();
  visible_ = visible;
  focused_ = false;
  if (!visible && window_ && window_->GetFocus() == this) window_->SetFocus(nullptr);
  if (IsVisible() != was_visible) RelayoutUpward();
  if (!IsVisible()) StopBkImageAnimation(kAnimationFrameCurrent);
}

bool Control::IsEnabled() const {
  return enabled_;
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (enabled) {
    state_ = kControlStateNormal;
    hot_alpha_ = 0;
  } else {
    state_ = kControlStateDisabled;
  }
  Invalidate();
}

bool Control::IsMouseEnabled() const {
  return mouse_enabled_;
}

void Control::SetMouseEnabled(bool enabled) {
  mouse_enabled_ = enabled;
}

bool Control::IsKeyboardEnabled() const {
  return keyboard_enabled_;
}

void Control::SetKeyboardEnabled(bool enabled) {
  keyboard_enabled_ = enabled;
}

bool Control::IsFocused() const {
  return focused_;
}

void Control::SetFocus() {
  if (no_focus_) return;
  if (window_) window_->SetFocus(this);
}

bool Control::IsButtonHeld() const {
  return button_held_;
}

void Control::SetButtonHeld(bool held) {
  button_held_ = held;
}

bool Control::IsActivatable() const {
  return IsVisible() && IsEnabled();
}

void Control::Activate() {}

Control* Control::FindControl(FindControlProc proc, void* data, uint32_t flags,
                              CPoint /*scroll_pos*/) {
  if ((flags & kFindVisible) && !IsVisible()) return nullptr;
  if ((flags & kFindEnabled) && !IsEnabled()) return nullptr;
  if (flags & kFindHitTest) {
    if (!mouse_enabled_ || !data) return nullptr;
    if (!item_rect_.IsPointIn(*static_cast<const CPoint*>(data))) return nullptr;
  }
  return proc(this, data);
}

UiRect Control::GetMargin() const {
  return margin_;
}

void Control::SetMargin(UiRect margin, bool scale) {
  if (scale) margin = ScaledSides(margin);
  if (margin == margin_) return;
  margin_ = margin;
  RelayoutUpward();
}

CSize Control::EstimateText(CSize /*available*/, bool* /*re_estimate*/) {
  return CSize();
}

bool Control::HitTestScrolled(CPoint point) {
  CPoint offset = GetScrollOffset();
  point.Offset(offset.x, offset.y);
  return item_rect_.IsPointIn(point);
}

bool Control::GetChildScrollOffset(CPoint* /*offset*/) const {
  return false;
}

CPoint Control::GetScrollOffset() const {
  // A floating child of the scrolled box stays put, and so does everything in it.
  CPoint offset;
  for (const Control* c = this; Control* p = c->GetParentControl(); c = p) {
    if (p->GetChildScrollOffset(&offset)) return c->IsFloat() ? CPoint() : offset;
  }
  return CPoint();
}

void Control::DispatchEvent(EventArgs& event) {
  if (event.type >= kEventInternalDoubleClick && event.type <= kEventInternalKillFocus) {
    HandleEvent(event);
    return;
  }
  bool verdict = true;
  if (event.sender == this) {
    std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
    for (const EventMap* map : {&events_, &xml_events_}) {
      if (!verdict) break;
      if (map->empty()) continue;
      verdict = RunEventCallbacks(*map, event.type, event);
      if (alive.expired()) return;
      if (map->count(kEventAll)) {
        verdict = RunEventCallbacks(*map, kEventAll, event);
        if (alive.expired()) return;
      }
    }
  }
  if (verdict) HandleEvent(event);
}

void Control::HandleEvent(EventArgs& event) {
  const int32_t type = event.type;
  Control* parent = GetParentControl();
  if (IsMouseEvent(type) && !mouse_enabled_) {
    if (parent) parent->DispatchEvent(event);
    return;
  }
  switch (type) {
    case kEventInternalMenu:
      if (IsEnabled() && menu_used_ && window_) {
        window_->SendNotify(this, kEventMouseMenu, event.w_param, event.l_param);
        return;
      }
      break;
    case kEventMouseEnter:
      if (event.sender != this && window_ && !IsAncestorOrSelfOf(window_->GetNewHover())) {
        return;
      }
      OnMouseEnter(event);
      break;
    case kEventMouseLeave:
      if (event.sender != this && window_ && IsAncestorOrSelfOf(window_->GetNewHover())) {
        return;
      }
      OnMouseLeave(event);
      break;
    case kEventInternalDoubleClick:
    case kEventMouseButtonDown:
      OnButtonDown(event);
      return;
    case kEventPointDown:
      if (receive_pointer_) {
        OnButtonDown(event);
        return;
      }
      break;
    case kEventMouseButtonUp:
      OnButtonUp(event);
      return;
    case kEventPointUp:
      if (receive_pointer_) {
        OnButtonUp(event);
        return;
      }
      break;
    case kEventInternalSetFocus:
      focused_ = true;
      Invalidate();
      return;
    case kEventInternalKillFocus:
      focused_ = false;
      Invalidate();
      return;
    case kEventSetCursor:
      if (window_) {
        CursorType cursor = cursor_type_;
        if (cursor == kCursorHand && !IsEnabled()) cursor = kCursorArrow;
        window_->SetCursor(cursor);
      }
      return;
    default:
      break;
  }
  if (parent) parent->DispatchEvent(event);
}

bool Control::IsAncestorOrSelfOf(const Control* control) const {
  for (const Control* c = control; c; c = c->GetParentControl()) {
    if (c == this) return true;
  }
  return false;
}

bool Control::OnMouseEnter(EventArgs& /*event*/) {
  if (!IsEnabled() || state_ != kControlStateNormal) return false;
  state_ = kControlStateHot;
  if (HasHotState()) {
    if (AnimationPlayer* player = GetAnimationManager().GetAnimationPlayer(kAnimationHot)) {
      player->Continue();
    }
  }
  Invalidate();
  return true;
}

bool Control::OnMouseLeave(EventArgs& /*event*/) {
  if (!IsEnabled() || state_ != kControlStateHot) return false;
  state_ = kControlStateNormal;
  if (HasHotState()) {
    if (AnimationPlayer* player = GetAnimationManager().GetAnimationPlayer(kAnimationHot)) {
      player->ReverseContinue();
    }
  }
  Invalidate();
  return true;
}

bool Control::OnButtonDown(EventArgs& /*event*/) {
  if (!IsEnabled()) return false;
  state_ = kControlStatePushed;
  button_held_ = true;
  Invalidate();
  return true;
}

bool Control::OnButtonUp(EventArgs& event) {
  if (!button_held_) return false;
  button_held_ = false;
  // Disabled while held: the control stays disabled and is not activated.
  if (!IsEnabled()) return false;
  if (animation_manager_) {
    if (AnimationPlayer* player = animation_manager_->GetAnimationPlayer(kAnimationHot)) {
      player->Pause();
    }
  }
  const bool pointer = event.type == kEventPointUp;
  const bool inside = HitTestScrolled(event.mouse_point);
  if (inside) {
    state_ = pointer ? kControlStateNormal : kControlStateHot;
    hot_alpha_ = pointer ? 0 : 255;
  } else {
    state_ = kControlStateNormal;
    hot_alpha_ = 0;
  }
  Invalidate();
  if (!inside) return false;
  // The click may remove this control; nothing of it is touched afterwards.
  Activate();
  return true;
}

bool Control::HasHotState() {
  auto color = state_colors_.find(kControlStateHot);
  if (color != state_colors_.end() && !color->second.empty()) return true;
  for (const auto& set : state_images_) {
    auto it = set.find(kControlStateHot);
    if (it != set.end() && !it->second.image_attribute.file.empty()) return true;
  }
  return false;
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

void Control::AttachEvent(int32_t kind, EventCallback callback) {
  events_[kind].push_back(std::move(callback));
}

void Control::AttachXmlEvent(int32_t kind, EventCallback callback) {
  xml_events_[kind].push_back(std::move(callback));
}

void Control::DetachEvent(int32_t kind) {
  events_.erase(kind);
}

void Control::AttachBkImageAnimationStopped(EventCallback callback) {
  image_events_[kImageEventAnimationStopped].push_back(std::move(callback));
}

void Control::SendEvent(int32_t kind, uintptr_t w_param, intptr_t l_param, wchar_t key,
                        const CPoint* mouse_point) {
  EventArgs event;
  event.type = kind;
  event.sender = this;
  event.timestamp = GetEventTickCount();
  if (mouse_point) {
    event.mouse_point = *mouse_point;
  } else if (window_) {
    event.mouse_point = window_->GetLastMousePos();
  }
  event.key = key;
  event.w_param = w_param;
  event.l_param = l_param;
  DispatchEvent(event);
}

void Control::SetPos(UiRect rect) {
  rect.right = std::max(rect.right, rect.left);
  rect.bottom = std::max(rect.bottom, rect.top);
  if (rect == item_rect_) {
    arranged_ = false;
    return;
  }
  UiRect old_rect = item_rect_.IsRectEmpty() ? rect : item_rect_;
  item_rect_ = rect;
  if (!window_) return;
  if (!in_resize_event_) {
    std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
    in_resize_event_ = true;
    EventArgs event;
    event.type = kEventResize;
    event.sender = this;
    event.timestamp = GetEventTickCount();
    event.mouse_point = window_->GetLastMousePos();
    DispatchEvent(event);
    if (alive.expired()) return;
    in_resize_event_ = false;
  }
  arranged_ = false;
  UiRect invalid = old_rect;
  invalid.Union(rect);
  CPoint offset = GetScrollOffset();
  invalid.Offset(-offset.x, -offset.y);
  for (Control* p = GetParentControl(); p; p = p->GetParentControl()) {
    UiRect clip = p->GetPos(true);
    CPoint parent_offset = p->GetScrollOffset();
    clip.Offset(-parent_offset.x, -parent_offset.y);
    if (!invalid.Intersect(clip)) return;
  }
  window_->Invalidate(invalid);
}

CSize Control::EstimateSize(CSize available) {
  if (fixed_width_ != kLengthAuto && fixed_height_ != kLengthAuto) {
    return CSize(fixed_width_, fixed_height_);
  }
  if (!re_estimate_) return estimated_size_;
  int width = fixed_width_;
  int height = fixed_height_;
  if (Image* image = GetEstimateImage()) {
    const UiRect& source = image->image_attribute.source;
    if (ImageAttribute::IsRectSet(source)) {
      SetFixedWidth(source.GetWidth(), true, true);
      SetFixedHeight(source.GetHeight(), true);
      return CSize(fixed_width_, fixed_height_);
    }
    GetImage(*image);
    if (image->IsLoaded()) {
      if (width == kLengthAuto) width = Scaled(image->GetImageInfo()->GetWidth());
      if (height == kLengthAuto) height = Scaled(image->GetImageInfo()->GetHeight());
    }
  }
  re_estimate_ = false;
  CSize text = EstimateText(available, &re_estimate_);
  if (fixed_width_ == kLengthAuto) width = std::max(width, text.cx);
  if (fixed_height_ == kLengthAuto) height = std::max(height, text.cy);
  estimated_size_ = CSize(width, height);
  return estimated_size_;
}

void Control::LoadImageCache() {
  if (!bk_image_.IsLoaded()) GetImage(bk_image_);
}

void Control::ReleaseImageCache() {
  image_weak_flag_.Cancel();
  bk_image_.ClearCache();
}

void Control::ClearImageCache() {
  for (auto& set : state_images_) {
    for (auto& entry : set) entry.second.ClearCache();
  }
  ReleaseImageCache();
}

}  // namespace ui
