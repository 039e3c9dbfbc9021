#include "ui/core/control.h"

#include <utility>

#include "base/string_util.h"
#include "ui/core/animation_manager.h"
#include "ui/core/box.h"
#include "ui/core/core_helpers.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/render/render.h"

namespace ui {

using namespace core_helpers;

namespace core_helpers {

bool IsAuto(const PlaceHolder* p) {
  return p->GetFixedWidth() == kLengthAuto || p->GetFixedHeight() == kLengthAuto;
}

}  // namespace core_helpers

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
  NotifyAccessible(AccessibleChange::kName);
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
  if (IsVisible() != was_visible) {
    RelayoutUpward();
    NotifyAccessible(AccessibleChange::kVisibility);
  }
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
    // A disabled control cannot keep the keyboard (nor a screen reader's) focus.
    if (window_) window_->OnControlDisabled(this);
  }
  Invalidate();
  NotifyAccessible(AccessibleChange::kState);
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

bool Control::IsTabStop() const {
  return IsKeyboardFocusable() && tab_stop_ && !no_focus_ && keyboard_enabled_ && IsVisible() &&
         IsEnabled();
}

void Control::SetFocusRingEnabled(bool value) {
  if (focus_ring_ == value) return;
  focus_ring_ = value;
  Invalidate();
}

void Control::SetFocusRingColor(const std::wstring& color) {
  if (focus_ring_color_ == color) return;
  focus_ring_color_ = color;
  Invalidate();
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

void Control::GetAccessibleInfo(AccessibleInfo* info) const {
  info->role = AccessibleRole::kPanel;
}

void Control::GetChildAccessibleInfo(const Control* /*child*/, AccessibleInfo* /*info*/) const {}

AccessibleInfo Control::DescribeAccessible() const {
  AccessibleInfo info;
  GetAccessibleInfo(&info);
  if (const Control* parent = GetParentControl()) parent->GetChildAccessibleInfo(this, &info);
  const std::wstring tooltip = GetToolTipText();
  if (info.name.empty()) info.name = tooltip.empty() ? name_ : tooltip;
  if (info.description.empty() && tooltip != info.name) info.description = tooltip;
  return info;
}

void Control::NotifyAccessible(AccessibleChange change) {
  if (window_) window_->NotifyAccessible(this, change);
}

CPoint Control::GetScrollOffset() const {
  // A floating child of the scrolled box stays put, and so does everything in it.
  CPoint offset;
  for (const Control* c = this; Control* p = c->GetParentControl(); c = p) {
    if (p->GetChildScrollOffset(&offset)) return c->IsFloat() ? CPoint() : offset;
  }
  return CPoint();
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
