#include "ui/core/window.h"

#include <algorithm>

#include "base/startup_timing.h"
#include "base/string_util.h"
#include "ui/core/animation_manager.h"
#include "ui/core/box.h"
#include "ui/core/global_manager.h"
#include "ui/core/shadow_box.h"
#include "ui/native/key_codes.h"
#include "ui/render/render.h"

namespace ui {

namespace {

Control* HitTestProc(Control* control, void* data) {
  const CPoint& point = *static_cast<const CPoint*>(data);
  return control->GetPos(true).IsPointIn(point) ? control : nullptr;
}

Control* NameIgnoringCaseProc(Control* control, void* data) {
  const std::wstring& name = *static_cast<const std::wstring*>(data);
  return nbase::EqualsIgnoreAsciiCase(control->GetName(), name) ? control : nullptr;
}

struct TabStopSearch {
  Control* focus;
  Window* window;
  std::vector<Control*>* found;
};

// A control is usable only while it and every box around it are enabled.
bool EnabledWithItsBoxes(const Control* control) {
  for (const Control* c = control; c; c = c->GetParentControl()) {
    if (!c->IsEnabled()) return false;
  }
  return true;
}

bool IsUsableStop(const Control* control) {
  return control->IsTabStop() && EnabledWithItsBoxes(control);
}

// Collects the Tab stops of the window, and the focus where it lies in the tree
// (also inside a box just disabled, to find the stop after it).
Control* TabStopProc(Control* control, void* data) {
  auto* search = static_cast<TabStopSearch*>(data);
  if (control->GetWindow() == search->window &&
      (control == search->focus || IsUsableStop(control))) {
    search->found->push_back(control);
  }
  return nullptr;
}

Control* ArrangedProc(Control* control, void* /*data*/) {
  return control->IsArranged() ? control : nullptr;
}

NativeCursor ToNativeCursor(CursorType cursor) {
  switch (cursor) {
    case kCursorHand:
      return NativeCursor::kHand;
    case kCursorHandIbeam:
      return NativeCursor::kIBeam;
    default:
      return NativeCursor::kArrow;
  }
}

// Bounds the layout loop: a control whose SetPos keeps asking for layout
// must not hang the window.
constexpr int kMaxLayoutRounds = 100000;

}  // namespace

Window::Window() {
  UiRect corner = skin_attributes_.shadow_corner_unscaled;
  GlobalManager::ScaleRectangle(corner);
  shadow_corner_ = corner;
  skin_attributes_.shadow_corner_restore = corner;
}

Window::~Window() {
  weak_flag_.Cancel();
  if (AccessibilityObserver* observer = accessibility_observer_) {
    accessibility_observer_ = nullptr;
    observer->OnWindowDestroyed();
  }
  std::vector<Control*> pending;
  pending.swap(delayed_cleanup_);
  for (Control* control : pending) delete control;
  Control* root = root_;
  root_ = nullptr;
  delete root;
  focus_ = new_hover_ = event_hover_ = click_ = key_ = touch_ = pointer_ = nullptr;
  if (native_) native_->SetDelegate(nullptr);
}

bool Window::Init(std::unique_ptr<NativeWindow> native) {
  if (!native) return false;
  native_ = std::move(native);
  native_->SetDelegate(this);
  native_->SetAccessibleWindow(this);
  IRenderFactory* factory = GlobalManager::GetRenderFactory();
  if (factory) render_context_ = factory->CreateRenderContext();
  return render_context_ != nullptr;
}

void Window::OnInitLayout() {
  if (root_ && layered_) StartFadeIn();
}

void Window::StartFadeIn() {
  AnimationManager& manager = root_->GetAnimationManager();
  AnimationPlayer* player = manager.SetFadeAlpha(true);
  if (!player) return;
  // The root stays opaque; the window itself fades.
  root_->SetAlpha(255);
  player->SetPlayCallback(MakeWeakCallback([this](int value) {
    SetWindowAlpha(value);
    if (root_) root_->Invalidate();
  }));
  SetWindowAlpha(0);
  root_->SetFadeVisible(true);
}

void Window::AttachDialog(Control* root) {
  SetFocus(nullptr);
  key_ = new_hover_ = event_hover_ = click_ = touch_ = pointer_ = nullptr;
  if (root_) {
    Control* old = root_;
    root_ = nullptr;
    old->SetWindow(this, nullptr, false);
    AddDelayedCleanup(old);
  }
  root_ = root;
  if (shadow_box_ != root) shadow_box_ = nullptr;
  need_layout_ = true;
  first_layout_ = true;
  if (!root_) return;
  root_->SetArranged(true);
  InitControls(root_, nullptr);
  Invalidate(UiRect(0, 0, GetClientSize().cx, GetClientSize().cy));
}

Control* Window::AttachShadow(Control* root) {
  if (!shadow_attached_ || !root) return root;
  auto* box = new ShadowBox();
  box->GetLayout()->SetPadding(shadow_corner_, false);
  // A fixed size grows by the shadow sides; stretch and auto stay as they are.
  const int width = root->GetFixedWidth();
  box->SetFixedWidth(width > 0 ? width + shadow_corner_.left + shadow_corner_.right : width, false,
                     false);
  const int height = root->GetFixedHeight();
  box->SetFixedHeight(height > 0 ? height + shadow_corner_.top + shadow_corner_.bottom : height,
                      false);
  if (skin_attributes_.use_default_shadow_image) root->SetBorderRound(CSize(3, 3));
  box->SetWindow(this, nullptr, false);
  box->Add(root);
  box->SetBkImage(skin_attributes_.shadow_image);
  shadow_box_ = box;
  return box;
}

Control* Window::RegisterNameProc(Control* control, void* window) {
  auto* self = static_cast<Window*>(window);
  if (!control->GetName().empty()) self->names_[control->GetName()] = control;
  return nullptr;
}

bool Window::InitControls(Control* control, Box* parent) {
  if (!control) return false;
  control->SetWindow(this, parent ? parent : control->GetParent(), true);
  control->FindControl(&Window::RegisterNameProc, this, kFindAll);
  return true;
}

void Window::ReapObjects(Control* control) {
  if (!control) return;
  if (accessibility_observer_) accessibility_observer_->OnControlDestroyed(control);
  for (Control** slot : {&key_, &event_hover_, &new_hover_, &click_, &touch_, &pointer_, &focus_}) {
    if (*slot == control) *slot = nullptr;
  }
  if (!control->GetName().empty()) {
    auto it = names_.find(control->GetName());
    if (it != names_.end() && it->second == control) names_.erase(it);
  }
  // A group must never hand out a deleted option.
  for (auto it = option_groups_.begin(); it != option_groups_.end();) {
    auto& list = it->second;
    list.erase(std::remove(list.begin(), list.end(), control), list.end());
    it = list.empty() ? option_groups_.erase(it) : std::next(it);
  }
}

void Window::AddDelayedCleanup(Control* control) {
  if (!control) return;
  if (std::find(delayed_cleanup_.begin(), delayed_cleanup_.end(), control) !=
      delayed_cleanup_.end()) {
    return;
  }
  delayed_cleanup_.push_back(control);
  if (cleanup_posted_ || !native_) return;
  cleanup_posted_ = true;
  native_->PostTask(weak_flag_.MakeWeakCallback([this] { DoDelayedCleanup(); }));
}

void Window::DoDelayedCleanup() {
  cleanup_posted_ = false;
  std::vector<Control*> pending;
  pending.swap(delayed_cleanup_);
  for (Control* control : pending) delete control;
}

Control* Window::FindControl(CPoint point) const {
  if (!root_) return nullptr;
  return root_->FindControl(&HitTestProc, &point, kFindVisible | kFindHitTest | kFindTopFirst);
}

Control* Window::FindControl(const std::wstring& name) const {
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : it->second;
}

Control* Window::FindSubControlByName(Control* parent, const std::wstring& name) const {
  if (!parent) return nullptr;
  std::wstring key = name;
  return parent->FindControl(&NameIgnoringCaseProc, &key, kFindAll);
}

Control* Window::FindOwnControl(CPoint point) const {
  Control* control = FindControl(point);
  return control && control->GetWindow() == this ? control : nullptr;
}

void Window::SetFocus(Control* control) {
  Control* const before = focus_;
  ChangeFocus(control);
  if (accessibility_observer_ && focus_ != before) {
    accessibility_observer_->OnAccessibleFocus(before, focus_);
  }
}

void Window::ChangeFocus(Control* control) {
  if (native_ && !native_->HasFocus() && control && control != focus_) native_->TakeFocus();
  if (control == focus_) return;
  focus_from_keyboard_ = false;
  if (focus_) {
    Control* old = focus_;
    SendInputEvent(old, kEventInternalKillFocus, last_mouse_point_);
    // The handler may have deleted it (ReapObjects clears focus_ then).
    if (focus_ == old) SendInputEvent(old, kEventKillFocus, last_mouse_point_);
    // A kill-focus handler that moved the focus itself has the last word.
    if (focus_ != old && focus_) return;
    focus_ = nullptr;
  }
  if (control && control->GetWindow() == this && control->IsVisible() && control->IsEnabled()) {
    focus_ = control;
    SendInputEvent(control, kEventInternalSetFocus, last_mouse_point_);
    if (focus_ == control) SendNotify(control, kEventSetFocus);
  }
}

bool Window::MoveFocus(bool forward) {
  if (!root_) return false;
  std::vector<Control*> order;
  TabStopSearch search{focus_, this, &order};
  root_->FindControl(&TabStopProc, &search, kFindVisible | kFindMeFirst);
  // The focus may sit on a control that is no stop itself (a clicked list item, or one just
  // disabled): it still marks the place in the order.
  const auto at = std::find(order.begin(), order.end(), focus_);
  const bool found = focus_ && at != order.end();
  const std::ptrdiff_t place = found ? at - order.begin() : -1;
  const bool focus_is_stop = found && IsUsableStop(focus_);
  if (found && !focus_is_stop) order.erase(order.begin() + place);
  if (order.empty()) return false;
  const auto count = static_cast<std::ptrdiff_t>(order.size());
  std::ptrdiff_t next = forward ? 0 : count - 1;
  if (found) {
    // With the focus taken out of the list, `place` already names the stop after it.
    next = forward ? (focus_is_stop ? place + 1 : place) : place - 1;
    next = (next % count + count) % count;
  }
  Control* target = order[static_cast<size_t>(next)];
  SetFocus(target);
  if (focus_ != target) return false;
  focus_from_keyboard_ = true;
  target->Invalidate();
  return true;
}

void Window::OnControlDisabled(Control* control) {
  Control* const focus = focus_;
  bool holds_focus = false;
  for (const Control* c = focus; c && !holds_focus; c = c->GetParentControl()) {
    holds_focus = c == control;
  }
  if (!holds_focus) return;
  // On to the next stop, as Tab would go; the ring shows only where the
  // keyboard had put the focus.
  const bool from_keyboard = focus_from_keyboard_;
  if (!MoveFocus(true) || focus_ == focus) {
    SetFocus(nullptr);
    return;
  }
  focus_from_keyboard_ = from_keyboard;
}

void Window::SetCursor(CursorType cursor) {
  if (native_) native_->SetCursor(ToNativeCursor(cursor));
}

bool Window::SendNotify(Control* control, int32_t kind, uintptr_t w_param, intptr_t l_param) {
  SendInputEvent(control, kind, last_mouse_point_, w_param, l_param);
  return true;
}

void Window::SendInputEvent(Control* control, int32_t kind, CPoint point, uintptr_t w_param,
                            intptr_t l_param, wchar_t key, float pressure) {
  if (!control) return;
  EventArgs event;
  event.type = kind;
  event.sender = control;
  event.timestamp = GetEventTickCount();
  event.mouse_point = point;
  event.key = key;
  event.w_param = w_param;
  event.l_param = l_param;
  event.pressure = pressure;
  control->DispatchEvent(event);
}

void Window::AttachWindowEvent(int32_t kind, EventCallback callback) {
  window_events_[kind].push_back(std::move(callback));
}

bool Window::AddOptionGroup(const std::wstring& group, Control* control) {
  auto& list = option_groups_[group];
  if (std::find(list.begin(), list.end(), control) != list.end()) return false;
  list.push_back(control);
  return true;
}

std::vector<Control*>* Window::GetOptionGroup(const std::wstring& group) {
  auto it = option_groups_.find(group);
  return it == option_groups_.end() ? nullptr : &it->second;
}

void Window::RemoveOptionGroup(const std::wstring& group, Control* control) {
  auto it = option_groups_.find(group);
  if (it == option_groups_.end()) return;
  auto& list = it->second;
  list.erase(std::remove(list.begin(), list.end(), control), list.end());
  if (list.empty()) option_groups_.erase(it);
}

void Window::AddClass(const std::wstring& name, const std::wstring& attributes) {
  classes_[name] = attributes;
}

std::wstring Window::GetClassAttributes(const std::wstring& name) const {
  auto it = classes_.find(name);
  return it == classes_.end() ? std::wstring() : it->second;
}

void Window::SetResourcePath(const std::wstring& path) {
  resource_path_ = path;
  if (!resource_path_.empty() && resource_path_.back() != L'/' && resource_path_.back() != L'\\') {
    resource_path_ += L'/';
  }
}

void Window::SetWindowTextId(const std::wstring& id) {
  if (native_) native_->SetTitle(GlobalManager::GetLanguageString(id));
}

void Window::Invalidate(const UiRect& rect) {
  if (native_ && !rect.IsRectEmpty()) native_->Invalidate(rect);
}

CSize Window::GetClientSize() const {
  return native_ ? native_->GetClientSize() : CSize();
}

void Window::SetWindowAlpha(int alpha) {
  window_alpha_ = static_cast<uint8_t>(std::clamp(alpha, 0, 255));
  if (native_) native_->SetOpacity(window_alpha_);
}

void Window::SetRenderOffset(CPoint offset) {
  render_offset_ = offset;
  if (root_) root_->Invalidate();
}

void Window::LayoutIfNeeded() {
  if (!root_ || !need_layout_) return;
  need_layout_ = false;
  CSize client = GetClientSize();
  if (client.cx > 0 && client.cy > 0) {
    if (root_->IsArranged()) {
      root_->SetPos(UiRect(0, 0, client.cx, client.cy));
    } else {
      for (int round = 0; round < kMaxLayoutRounds; ++round) {
        Control* control = root_->FindControl(&ArrangedProc, nullptr, kFindVisible | kFindMeFirst);
        if (!control) break;
        control->SetPos(control->GetPos(true));
        // SetPos of an unchanged rect clears the flag; make sure it did.
        control->SetArranged(false);
      }
    }
  }
  if (first_layout_) {
    first_layout_ = false;
    OnInitLayout();
  }
}

void Window::Paint(const UiRect& update_rect) {
  if (!root_ || !render_context_) return;
  if (native_ && native_->IsMinimized()) return;

  if (need_layout_ && root_->IsArranged() &&
      (root_->GetFixedWidth() == kLengthAuto || root_->GetFixedHeight() == kLengthAuto) &&
      native_) {
    CSize size = root_->EstimateSize(CSize(99999, 99999));
    size.cx = Layout::ClampWidth(root_, size.cx);
    size.cy = Layout::ClampHeight(root_, size.cy);
    UiRect window_rect = native_->GetWindowRect();
    native_->SetWindowRect(UiRect(window_rect.left, window_rect.top, window_rect.left + size.cx,
                                  window_rect.top + size.cy),
                           false);
  }

  const CSize client = GetClientSize();
  const UiRect client_rect(0, 0, client.cx, client.cy);
  UiRect paint = update_rect;
  if (paint.IsRectEmpty() && !first_layout_) return;
  if (paint.IsRectEmpty()) paint = client_rect;

  LayoutIfNeeded();
  static bool laid_out_stamped = false;
  nbase::StartupTiming::MarkOnce("first layout done", &laid_out_stamped);
  if (!root_) return;

  if (render_context_->Resize(client.cx, client.cy)) {
    paint = client_rect;
    render_context_->SetRenderTransparent(!shadow_attached_);
  }
  if (!paint.Intersect(client_rect)) return;
  if (layered_) render_context_->ClearAlpha(paint, 0);
  {
    AutoClip clip(render_context_.get(), paint);
    CPoint old_origin = render_context_->OffsetWindowOrg(render_offset_);
    root_->Paint(render_context_.get(), paint);
    root_->PaintChildren(render_context_.get(), paint);
    render_context_->SetWindowOrg(old_origin);
  }
  if (layered_) {
    UiRect content = root_->GetPos(true);
    if (auto* box = dynamic_cast<Box*>(root_)) content = box->GetPaddingPos();
    const bool fix_corner = alpha_fix_corner_.left > 0 || alpha_fix_corner_.top > 0 ||
                            alpha_fix_corner_.right > 0 || alpha_fix_corner_.bottom > 0;
    if (shadow_attached_ && render_offset_ == CPoint()) {
      UiRect area = paint;
      if (area.Intersect(content)) {
        render_context_->RestoreAlpha(area,
                                      UiRect(shadow_corner_.left + 1, shadow_corner_.top + 1,
                                             shadow_corner_.right + 1, shadow_corner_.bottom + 1),
                                      0);
      }
    } else if (fix_corner) {
      UiRect area = paint;
      if (area.Intersect(content)) render_context_->RestoreAlpha(area, alpha_fix_corner_, 0);
    }
  }
  if (native_) native_->Present(render_context_.get(), paint);
}

void Window::OnNativePaint(const UiRect& update_rect) {
  Paint(update_rect);
  if (!first_frame_painted_) {
    first_frame_painted_ = true;
    OnFirstFrame();
  }
}

void Window::OnNativeDestroyed() {
  EventArgs event;
  event.type = kEventWindowClose;
  event.timestamp = GetEventTickCount();
  event.mouse_point = last_mouse_point_;
  RunEventCallbacks(window_events_, kEventWindowClose, event);
  RunEventCallbacks(window_events_, kEventAll, event);
}

bool Window::UpdateHover(CPoint point, uintptr_t w_param, intptr_t l_param) {
  Control* hover = FindControl(point);
  if (hover && hover->GetWindow() != this) return false;
  new_hover_ = hover;
  if (event_hover_ && event_hover_ != new_hover_) {
    Control* old = event_hover_;
    SendInputEvent(old, kEventMouseLeave, point);
    if (event_hover_ == old) event_hover_ = nullptr;
    if (native_) native_->HideToolTip();
  }
  if (new_hover_ && new_hover_ != event_hover_) {
    Control* entered = new_hover_;
    SendInputEvent(entered, kEventMouseEnter, point, w_param, l_param);
    event_hover_ = new_hover_ == entered ? entered : new_hover_;
  }
  return true;
}

bool Window::OnMouseMove(const NativeMessage& message) {
  if (touch_ || pointer_) return false;
  mouse_tracking_ = true;
  last_mouse_point_ = message.point;
  if (!UpdateHover(message.point, message.w_param, message.l_param)) return false;
  Control* target = click_ ? click_ : new_hover_;
  SendInputEvent(target, kEventMouseMove, message.point, message.w_param, message.l_param);
  return false;
}

bool Window::OnButtonDown(const NativeMessage& message, int32_t kind) {
  if (touch_ || pointer_) return false;
  if (native_) native_->TakeFocus();
  last_mouse_point_ = message.point;
  // The mouse takes over: the ring of a keyboard focus goes.
  if (focus_from_keyboard_) {
    focus_from_keyboard_ = false;
    if (focus_) focus_->Invalidate();
  }
  click_ = FindOwnControl(message.point);
  if (!click_) return false;
  if (native_) native_->SetCapture();
  SendInputEvent(click_, kind, message.point, message.w_param, message.l_param);
  return false;
}

bool Window::OnButtonUp(const NativeMessage& message, int32_t kind, bool keep_click) {
  last_mouse_point_ = message.point;
  if (native_) native_->ReleaseCapture();
  Control* control = click_;
  if (!control) return false;
  SendInputEvent(control, kind, message.point, message.w_param, message.l_param);
  if (!keep_click && click_ == control) click_ = nullptr;
  return false;
}

bool Window::OnTouch(const NativeMessage& message) {
  switch (message.type) {
    case NativeMessageType::kTouchDown:
      if (click_ || pointer_) return false;
      if (native_) native_->TakeFocus();
      last_touch_point_ = message.point;
      touch_ = FindOwnControl(message.point);
      if (!touch_) return false;
      if (native_) native_->SetCapture();
      SendInputEvent(touch_, kEventTouchDown, message.point);
      return false;
    case NativeMessageType::kTouchMove:
      if (click_ || pointer_ || message.point == last_touch_point_) return false;
      last_touch_point_ = message.point;
      if (touch_ && UpdateHover(message.point)) {
        SendInputEvent(touch_, kEventTouchMove, message.point);
      }
      return false;
    default: {
      last_touch_point_ = message.point;
      if (native_) native_->ReleaseCapture();
      Control* control = touch_;
      touch_ = nullptr;
      SendInputEvent(control, kEventTouchUp, message.point);
      return false;
    }
  }
}

bool Window::OnPointer(const NativeMessage& message) {
  if (!pointer_enabled_) return false;
  switch (message.type) {
    case NativeMessageType::kPointerUpdate:
      if (click_ || touch_) return true;
      last_mouse_point_ = message.point;
      if (pointer_ && UpdateHover(message.point)) {
        Control* control = pointer_;
        SendInputEvent(control, kEventPointMove, message.point, 0, 0, 0, message.pressure);
        return control == pointer_ && control->IsReceivePointer();
      }
      return false;
    case NativeMessageType::kPointerDown: {
      if (click_ || touch_) return true;
      if (native_) native_->TakeFocus();
      last_mouse_point_ = message.point;
      pointer_ = FindOwnControl(message.point);
      if (!pointer_) return false;
      if (native_) native_->SetCapture();
      Control* control = pointer_;
      SendInputEvent(control, kEventPointDown, message.point, 0, 0, 0, message.pressure);
      return control == pointer_ && control->IsReceivePointer();
    }
    default: {
      last_mouse_point_ = message.point;
      if (native_) native_->ReleaseCapture();
      Control* control = pointer_;
      if (!control) return false;
      const bool receives = control->IsReceivePointer();
      pointer_ = nullptr;
      SendInputEvent(control, kEventPointUp, message.point, 0, 0, 0, message.pressure);
      return receives;
    }
  }
}

bool Window::OnMouseHover(const NativeMessage& message) {
  mouse_tracking_ = false;
  Control* control = FindControl(message.point);
  if (!control) return false;
  SendInputEvent(event_hover_, kEventMouseHover, message.point);
  // The hover handler may have removed it.
  control = FindControl(message.point);
  if (!control || !native_) return true;
  std::wstring text = control->GetToolTipText();
  if (text.empty()) {
    native_->HideToolTip();
  } else {
    native_->ShowToolTip(text, control->GetPos(true), control->GetToolTipWidth());
  }
  return true;
}

bool Window::OnClose() {
  Control* hover = event_hover_;
  SendInputEvent(hover, kEventMouseLeave, last_mouse_point_);
  for (Control** slot : {&click_, &touch_, &pointer_}) {
    SendInputEvent(*slot, kEventMouseButtonUp, last_mouse_point_);
  }
  SetFocus(nullptr);
  // An owner that another box has disabled meanwhile leaves the focus (and
  // the top of the stack) to that box.
  if (native_ && native_->GetOwner() && native_->GetOwner()->IsEnabled()) {
    native_->GetOwner()->TakeFocus();
  }
  return false;
}

bool Window::OnKeyDown(const NativeMessage& message) {
  swallow_tab_char_ = false;
  const auto w_param = static_cast<uintptr_t>(message.w_param);
  Control* target = focus_;
  // Control+Tab leaves even a field that takes Tab.
  const bool navigate = w_param == kVkTab && !(message.l_param & kKeyStateAlt) &&
                        (!target || !target->WantsTabKey() || (message.l_param & kKeyStateControl));
  if (target) {
    key_ = target;
    // The focus sees the Tab first (a field tells its owner), then loses the focus to the next
    // stop unless its handler placed the focus itself.
    SendInputEvent(target, kEventKeyDown, last_mouse_point_, w_param, message.l_param,
                   static_cast<wchar_t>(w_param));
  }
  if (!navigate || focus_ != target) return false;
  MoveFocus((message.l_param & kKeyStateShift) == 0);
  swallow_tab_char_ = true;
  return true;
}

void Window::OnNativeComposition(const std::wstring& text, int cursor) {
  if (!focus_) return;
  ImeComposition composition{text, cursor};
  SendInputEvent(focus_, kEventImeComposition, last_mouse_point_, 0,
                 reinterpret_cast<intptr_t>(&composition));
}

bool Window::OnNativeMessage(const NativeMessage& message) {
  const auto key = static_cast<wchar_t>(message.w_param);
  const auto w_param = static_cast<uintptr_t>(message.w_param);
  switch (message.type) {
    case NativeMessageType::kSize:
      if (focus_) SendInputEvent(focus_, kEventWindowSize, last_mouse_point_, w_param);
      if (root_) root_->RequestLayout();
      return true;
    case NativeMessageType::kKillFocus: {
      last_mouse_point_ = message.point;
      Control* active = pointer_ ? pointer_ : (touch_ ? touch_ : click_);
      if (active && active->IsButtonUpOnFocusLoss()) {
        if (native_) native_->ReleaseCapture();
        click_ = touch_ = pointer_ = nullptr;
        SendInputEvent(active, kEventMouseButtonUp, message.point);
      }
      return false;
    }
    case NativeMessageType::kSetFocus:
      return false;
    case NativeMessageType::kClose:
      return OnClose();
    case NativeMessageType::kSetCursor: {
      if (click_ || touch_ || pointer_) return true;
      Control* control = FindOwnControl(message.point);
      if (!control) return false;
      SendInputEvent(control, kEventSetCursor, message.point);
      return true;
    }
    case NativeMessageType::kContextMenu: {
      last_mouse_point_ = message.point;
      Control* control = click_;
      if (!control) return false;
      if (native_) native_->ReleaseCapture();
      click_ = nullptr;
      SendInputEvent(control, kEventInternalMenu, message.point, 0,
                     reinterpret_cast<intptr_t>(control));
      return false;
    }
    case NativeMessageType::kKeyDown:
      return OnKeyDown(message);
    case NativeMessageType::kKeyUp:
      if (key_) {
        Control* control = key_;
        key_ = nullptr;
        SendInputEvent(control, kEventKeyUp, last_mouse_point_, w_param, message.l_param, key);
      }
      return false;
    case NativeMessageType::kChar:
      if (swallow_tab_char_ && key == L'\t') {
        swallow_tab_char_ = false;
        return false;
      }
      swallow_tab_char_ = false;
      SendInputEvent(focus_, kEventChar, last_mouse_point_, w_param, message.l_param, key);
      return false;
    case NativeMessageType::kSysKey:
      SendInputEvent(focus_, kEventSystemKey, last_mouse_point_, w_param, message.l_param, key);
      return false;
    case NativeMessageType::kImeStartComposition:
      SendInputEvent(focus_, kEventImeStartComposition, last_mouse_point_);
      return false;
    case NativeMessageType::kImeEndComposition:
      SendInputEvent(focus_, kEventImeEndComposition, last_mouse_point_);
      return false;
    case NativeMessageType::kMouseMove:
      return OnMouseMove(message);
    case NativeMessageType::kLeftButtonDown:
      return OnButtonDown(message, kEventMouseButtonDown);
    case NativeMessageType::kLeftButtonDoubleClick:
      return OnButtonDown(message, kEventInternalDoubleClick);
    case NativeMessageType::kRightButtonDown:
      return OnButtonDown(message, kEventMouseRightButtonDown);
    case NativeMessageType::kLeftButtonUp:
      return OnButtonUp(message, kEventMouseButtonUp, false);
    case NativeMessageType::kRightButtonUp:
      return OnButtonUp(message, kEventMouseRightButtonUp, true);
    case NativeMessageType::kMiddleButtonDown: {
      // No capture and no click control: the paste happens on the press.
      if (touch_ || pointer_ || click_) return false;
      last_mouse_point_ = message.point;
      Control* control = FindOwnControl(message.point);
      if (!control) return false;
      if (native_) native_->TakeFocus();
      SendInputEvent(control, kEventMouseMiddleButtonDown, message.point, w_param, message.l_param);
      return false;
    }
    case NativeMessageType::kMouseWheel:
      SendInputEvent(FindOwnControl(message.point), kEventMouseScrollWheel, message.point, w_param,
                     message.l_param);
      return false;
    case NativeMessageType::kMouseHover:
      return OnMouseHover(message);
    case NativeMessageType::kMouseLeave:
      if (native_) native_->HideToolTip();
      // Hover tracking stops at the hover message, yet leaving the window
      // must still end the hover.
      if (mouse_tracking_ || event_hover_) {
        NativeMessage leave;
        leave.type = NativeMessageType::kMouseMove;
        leave.point = CPoint(-1, -1);
        leave.l_param = -1;
        OnMouseMove(leave);
      }
      mouse_tracking_ = false;
      return false;
    case NativeMessageType::kTouchDown:
    case NativeMessageType::kTouchMove:
    case NativeMessageType::kTouchUp:
      return OnTouch(message);
    case NativeMessageType::kPointerDown:
    case NativeMessageType::kPointerUpdate:
    case NativeMessageType::kPointerUp:
      return OnPointer(message);
  }
  return false;
}

}  // namespace ui
