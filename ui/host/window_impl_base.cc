#include "ui/host/window_impl_base.h"

#include <algorithm>

#include "base/startup_timing.h"
#include "base/string_util.h"
#include "ui/animation/timer_manager.h"
#include "ui/builder/window_builder.h"
#include "ui/control/button.h"
#include "ui/control/rich_edit.h"
#include "ui/core/global_manager.h"
#include "ui/host/desktop_accessibility.h"
#include "ui/native/clipboard.h"
#include "ui/native/desktop.h"

namespace ui {

namespace {

bool IsButtonLike(const Control* control) {
  return dynamic_cast<const ButtonTemplate<Control>*>(control) != nullptr ||
         dynamic_cast<const ButtonTemplate<Box>*>(control) != nullptr;
}

}  // namespace

WindowImplBase::WindowImplBase() = default;

WindowImplBase::~WindowImplBase() {
  // A box that goes away without closing must not leave its owner disabled.
  if (WindowImplBase* owner = ModalOwner(); owner && owner->GetNativeWindow()) {
    owner->GetNativeWindow()->SetEnabled(true);
  }
}

void WindowImplBase::ReleaseModalOwner() {
  modal_owner_ = nullptr;
  modal_owner_alive_.reset();
}

bool WindowImplBase::Create(WindowImplBase* owner, const std::wstring& title, const UiRect& rect,
                            bool layered, std::unique_ptr<NativeWindow> native) {
  last_error_.clear();
  if (!native) native = CreateDesktopWindow();
  // With a display in use, fields copy and paste through its clipboard and
  // primary selection, and screen readers see the controls.
  if (native->IsOnDesktop()) {
    UseDesktopClipboard();
    UseDesktopAccessibility();
  }
  NativeWindow* owner_native = owner ? owner->GetNativeWindow() : nullptr;
  if (!native->Create(owner_native, title, rect, layered)) {
    last_error_ = L"Cannot create the native window";
    return false;
  }
  // The process's first window is the one whose start-up is timed.
  static bool native_stamped = false;
  nbase::StartupTiming::MarkOnce("native window created", &native_stamped);
  SetLayered(layered);
  if (!Init(std::move(native))) {
    last_error_ = L"No render context";
    native_->Destroy();
    return false;
  }
  SetResourcePath(GetSkinFolder());
  const std::wstring path = GetResourcePath() + GetSkinFile();
  WindowBuilder builder;
  Control* root = builder.Build(
      path, [this](const std::wstring& name) { return CreateControl(name); }, this);
  static bool built_stamped = false;
  nbase::StartupTiming::MarkOnce("controls built", &built_stamped);
  if (!root) {
    const MarkupDocument* markup = builder.GetMarkup();
    last_error_ = L"Failed to load xml file " + path;
    const std::wstring message = markup->GetLastErrorMessage();
    if (!message.empty()) {
      last_error_ += L": " + message + L" " + std::wstring(markup->GetLastErrorLocation());
    }
    // No window is left, and nothing of it reaches the handlers.
    native_->SetDelegate(nullptr);
    native_->Destroy();
    return false;
  }
  // Without per-pixel alpha the shadow cannot show: the window loses it.
  if (IsShadowAttached() && !native_->HasAlphaChannel()) {
    const UiRect corner = GetShadowCorner();
    CSize& size = GetSkinAttributes().init_size;
    if (size.cx > 0) size.cx -= corner.left + corner.right;
    if (size.cy > 0) size.cy -= corner.top + corner.bottom;
    const UiRect r = native_->GetWindowRect();
    native_->SetWindowRect(UiRect(r.left, r.top, r.left + size.cx, r.top + size.cy), false);
  }
  AttachDialog(AttachShadow(root));
  if (GetSkinAttributes().shadow_corner_restore == UiRect() && IsShadowAttached()) {
    GetSkinAttributes().shadow_corner_restore = GetShadowCorner();
  }
  if (!native_->HasAlphaChannel()) ApplyShadowPadding(false);
  InitWindow();
  FitToContent();
  ApplyNativeGeometry();
  WireSystemButtons();
  return true;
}

void WindowImplBase::FitToContent() {
  if (!native_ || !root_) return;
  if (root_->GetFixedWidth() != kLengthAuto && root_->GetFixedHeight() != kLengthAuto) return;
  CSize size = root_->EstimateSize(CSize(99999, 99999));
  size.cx = Layout::ClampWidth(root_, size.cx);
  size.cy = Layout::ClampHeight(root_, size.cy);
  const UiRect r = native_->GetWindowRect();
  if (r.GetWidth() == size.cx && r.GetHeight() == size.cy) return;
  native_->SetWindowRect(UiRect(r.left, r.top, r.left + size.cx, r.top + size.cy), false);
}

void WindowImplBase::ApplyShadowPadding(bool with_shadow) {
  if (!shadow_box_) return;
  const UiRect padding = with_shadow && native_ && native_->HasAlphaChannel()
                             ? GetSkinAttributes().shadow_corner_restore
                             : UiRect();
  shadow_box_->GetLayout()->SetPadding(padding, false);
  // A fixed-size root: the shadow box is as large as it plus the sides it
  // shows now, or a window that lost its shadow keeps the empty sides.
  if (Control* inner = shadow_box_->GetItemAt(0)) {
    const int width = inner->GetFixedWidth();
    if (width > 0) shadow_box_->SetFixedWidth(width + padding.left + padding.right, false, false);
    const int height = inner->GetFixedHeight();
    if (height > 0) shadow_box_->SetFixedHeight(height + padding.top + padding.bottom, false);
  }
}

void WindowImplBase::ApplyNativeGeometry() {
  if (!native_) return;
  const SkinAttributes& skin = GetSkinAttributes();
  CSize min_info = skin.min_info;
  CSize max_info = skin.max_info;
  // The limits count the shadow sides, which a window without alpha drops.
  if (shadow_box_ && !native_->HasAlphaChannel()) {
    const UiRect c = GetShadowCorner();
    for (CSize* size : {&min_info, &max_info}) {
      if (size->cx > 0) size->cx = std::max(1, size->cx - c.left - c.right);
      if (size->cy > 0) size->cy = std::max(1, size->cy - c.top - c.bottom);
    }
  }
  native_->SetSizeLimits(min_info, max_info);
  native_->SetRoundCorner(skin.round_corner);
}

void WindowImplBase::WireSystemButtons() {
  auto wire = [this](const wchar_t* name, auto action) {
    Control* control = FindControl(std::wstring(name));
    if (!control || !IsButtonLike(control)) return;
    control->AttachEvent(kEventClick, MakeWeakCallback([this, action](const EventArgs&) {
                           action();
                           return true;
                         }));
  };
  wire(L"closebtn", [this] { Close(kIdOk); });
  wire(L"minbtn", [this] {
    if (native_) native_->SetShowState(NativeShowState::kMinimize);
  });
  wire(L"maxbtn", [this] {
    Control* max = FindControl(std::wstring(L"maxbtn"));
    Control* restore = FindControl(std::wstring(L"restorebtn"));
    if (max && restore) {
      max->SetFadeVisible(false);
      restore->SetFadeVisible(true);
    }
    if (native_) native_->SetShowState(NativeShowState::kMaximize);
  });
  wire(L"restorebtn", [this] {
    Control* max = FindControl(std::wstring(L"maxbtn"));
    Control* restore = FindControl(std::wstring(L"restorebtn"));
    if (max) max->SetFadeVisible(true);
    if (restore) restore->SetFadeVisible(false);
    if (native_) native_->SetShowState(NativeShowState::kRestore);
  });
}

void WindowImplBase::Close(int result) {
  if (!native_ || !native_->IsValid() || closing_) return;
  close_result_ = result;
  // The owner is usable again as soon as its box starts closing.
  if (WindowImplBase* owner = ModalOwner()) {
    if (NativeWindow* native = owner->GetNativeWindow()) {
      native->SetEnabled(true);
      native->TakeFocus();
    }
  }
  ReleaseModalOwner();
  auto close = MakeWeakCallback([this] {
    if (native_) native_->Close();
  });
  if (!root_) {
    native_->PostTask(close);
    return;
  }
  closing_ = true;
  root_->SetFadeVisible(false);
  TimerManager::GetInstance()->AddCancelableTimer(MakeWeakCallback([this] {
                                                    closing_ = false;
                                                    if (native_) native_->Close();
                                                  }),
                                                  kCloseDelayMs, 1);
}

void WindowImplBase::ShowWindow(bool show, bool take_focus) {
  if (native_) native_->Show(show, take_focus);
}

void WindowImplBase::ShowModalFake(WindowImplBase* owner) {
  if (owner && owner->GetNativeWindow()) {
    modal_owner_ = owner;
    modal_owner_alive_ = owner->AcquireWeakFlag();
    owner->GetNativeWindow()->SetEnabled(false);
  }
  CenterWindow();
  ShowWindow(true, true);
}

void WindowImplBase::CenterWindow() {
  if (!native_ || !native_->IsValid()) return;
  // The size shown is the content's: a box whose text grew it since it was
  // built is fitted first, or its centre would sit below the owner's.
  FitToContent();
  if (!native_->CanPlaceItself()) {
    native_->CenterByDesktop();
    return;
  }
  const UiRect window = native_->GetWindowRect();
  NativeWindow* owner = native_->GetOwner();
  UiRect work = owner ? owner->GetWorkArea() : native_->GetWorkArea();
  if (work.IsRectEmpty()) work = native_->GetWorkArea();
  UiRect center = work;
  if (owner && owner->IsValid() && !owner->IsMinimized()) center = owner->GetWindowRect();
  const int width = window.GetWidth();
  const int height = window.GetHeight();
  int left = center.left + (center.GetWidth() - width) / 2;
  int top = center.top + (center.GetHeight() - height) / 2;
  if (!work.IsRectEmpty()) {
    if (left < work.left)
      left = work.left;
    else if (left + width > work.right)
      left -= left + width - work.right;
    if (top < work.top)
      top = work.top;
    else if (top + height > work.bottom)
      top -= top + height - work.bottom;
  }
  native_->SetWindowRect(UiRect(left, top, left + width, top + height), false);
}

void WindowImplBase::ActiveWindow() {
  if (!native_ || !native_->IsValid()) return;
  if (native_->IsMinimized()) {
    native_->SetShowState(NativeShowState::kRestore);
    return;
  }
  if (!native_->IsVisible()) native_->Show(true, true);
  native_->TakeFocus();
}

void WindowImplBase::SetTaskbarTitle(const std::wstring& title) {
  if (native_) native_->SetTitle(title);
}

NativeHitTest WindowImplBase::HitTest(CPoint point) const {
  if (!native_) return NativeHitTest::kClient;
  const CSize client = native_->GetClientSize();
  UiRect rc(0, 0, client.cx, client.cy);
  // The shadow as it is now: none when maximised or without compositing.
  if (shadow_box_) rc.Deflate(shadow_box_->GetLayout()->GetPadding());
  if (!rc.IsPointIn(point)) return NativeHitTest::kClient;
  const SkinAttributes& skin = skin_attributes_;
  if (!native_->IsMaximized()) {
    const UiRect& box = skin.size_box;
    const bool left = point.x < rc.left + box.left;
    const bool right = point.x >= rc.right - box.right;
    if (point.y < rc.top + box.top) {
      return left    ? NativeHitTest::kTopLeft
             : right ? NativeHitTest::kTopRight
                     : NativeHitTest::kTop;
    }
    if (point.y >= rc.bottom - box.bottom) {
      return left    ? NativeHitTest::kBottomLeft
             : right ? NativeHitTest::kBottomRight
                     : NativeHitTest::kBottom;
    }
    if (left) return NativeHitTest::kLeft;
    if (right) return NativeHitTest::kRight;
  }
  const UiRect& caption = skin.caption;
  if (point.x < rc.left + caption.left || point.x >= rc.right - caption.right ||
      point.y < rc.top + caption.top || point.y >= rc.top + caption.bottom) {
    return NativeHitTest::kClient;
  }
  Control* control = FindControl(point);
  if (!control || IsButtonLike(control)) return NativeHitTest::kClient;
  return NativeHitTest::kCaption;
}

bool WindowImplBase::OnNativeMessage(const NativeMessage& message) {
  switch (message.type) {
    case NativeMessageType::kClose:
      if (OnClose()) return true;
      break;
    case NativeMessageType::kSize:
      if (message.w_param == 2) {
        ApplyShadowPadding(false);
      } else if (message.w_param == 0) {
        ApplyShadowPadding(true);
      }
      if (native_) native_->SetRoundCorner(skin_attributes_.round_corner);
      OnSize(static_cast<int>(message.w_param));
      break;
    default:
      break;
  }
  return Window::OnNativeMessage(message);
}

void WindowImplBase::OnDpiChanged(int dpi) {
  if (!GlobalManager::IsAdaptDPI()) return;
  GlobalManager::SetDPIScale(dpi * 100 / 96);
  SkinAttributes& skin = GetSkinAttributes();
  UiRect corner = skin.shadow_corner_unscaled;
  GlobalManager::ScaleRectangle(corner);
  skin.shadow_corner_restore = corner;
  SetShadowCorner(corner);
  ApplyShadowPadding(!native_ || !native_->IsMaximized());
  if (root_) root_->Invalidate();
}

void WindowImplBase::OnNativeDestroyed() {
  if (WindowImplBase* owner = ModalOwner(); owner && owner->GetNativeWindow()) {
    owner->GetNativeWindow()->SetEnabled(true);
    owner->GetNativeWindow()->TakeFocus();
  }
  ReleaseModalOwner();
  OnDestroy();
  OnFinalMessage();
}

void WindowImplBase::OnFinalMessage() {
  Window::OnNativeDestroyed();
  if (delete_on_final_) delete this;
}

}  // namespace ui
