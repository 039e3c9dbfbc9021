#pragma once

// What the window host needs from a native top-level window. The desktop's
// adapter (GTK on Linux, Win32 on Windows) and the in-memory headless window
// implement it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <optional>

#include "base/callback.h"
#include "ui/geometry/geometry.h"
#include "ui/native/desktop_settings.h"

namespace ui {

class IRenderContext;
class Window;

enum class NativeCursor { kArrow, kHand, kIBeam, kSizeWE, kSizeNS, kWait };

// What a point of the window is, for the non-client behaviour: dragging by the
// caption and sizing by the borders.
enum class NativeHitTest {
  kClient,
  kCaption,
  kLeft,
  kRight,
  kTop,
  kTopLeft,
  kTopRight,
  kBottom,
  kBottomLeft,
  kBottomRight,
};

enum class NativeShowState { kRestore, kMinimize, kMaximize };

// Input and window notifications, in client coordinates.
enum class NativeMessageType {
  kMouseMove,
  kMouseLeave,
  kMouseHover,
  kLeftButtonDown,
  kLeftButtonUp,
  kLeftButtonDoubleClick,
  kRightButtonDown,
  kRightButtonUp,
  // Pastes the primary selection where the desktop has one (X11).
  kMiddleButtonDown,
  kContextMenu,
  kMouseWheel,
  kKeyDown,
  kKeyUp,
  kChar,
  kSysKey,
  kImeStartComposition,
  kImeEndComposition,
  kSetFocus,
  kKillFocus,
  kSize,
  kClose,
  kSetCursor,
  kTouchDown,
  kTouchMove,
  kTouchUp,
  kPointerDown,
  kPointerUpdate,
  kPointerUp,
};

struct NativeMessage {
  NativeMessageType type = NativeMessageType::kMouseMove;
  CPoint point{-1, -1};
  // Key messages: the virtual-key code or character; wheel: the signed delta,
  // 120 per notch; size: 0 restored, 1 minimised, 2 maximised.
  intptr_t w_param = 0;
  intptr_t l_param = 0;
  float pressure = 0.0f;
};

class NativeWindowDelegate {
 public:
  virtual ~NativeWindowDelegate() = default;
  // True when the message was fully handled and the native default must not run.
  virtual bool OnNativeMessage(const NativeMessage& message) = 0;
  // Lay out, paint `update_rect` and present it.
  virtual void OnNativePaint(const UiRect& update_rect) = 0;
  // The native window is gone; nothing is called after this.
  virtual void OnNativeDestroyed() = 0;
  // Asked on a button press, in client coordinates.
  virtual NativeHitTest OnNativeHitTest(CPoint /*point*/) { return NativeHitTest::kClient; }
  // The desktop's DPI for the window changed (96 = 100 %).
  virtual void OnNativeDpiChanged(int /*dpi*/) {}
  // The input method's uncommitted text changed; `cursor` counts wchar_t
  // units into it. Empty text means nothing is shown any more.
  virtual void OnNativeComposition(const std::wstring& /*text*/, int /*cursor*/) {}
};

// Native windows hand out weak flags: a box keeps its owner through one, so
// an owner that goes first is simply gone for it, never a dangling pointer.
class NativeWindow : public nbase::SupportWeakCallback {
 public:
  ~NativeWindow() override = default;

  virtual void SetDelegate(NativeWindowDelegate* delegate) = 0;
  // `rect` is in screen coordinates; `owner` may be null.
  virtual bool Create(NativeWindow* owner, const std::wstring& title, const UiRect& rect,
                      bool layered) = 0;
  virtual bool IsValid() const = 0;
  // Asks to close: the delegate sees kClose, then the window is destroyed.
  virtual void Close() = 0;
  virtual void Destroy() = 0;
  // Null once the owner's object is gone.
  virtual NativeWindow* GetOwner() const = 0;

  virtual void Show(bool show, bool take_focus) = 0;
  virtual bool IsVisible() const = 0;
  virtual bool IsMinimized() const = 0;
  virtual bool IsMaximized() const = 0;
  virtual UiRect GetWindowRect() const = 0;
  virtual CSize GetClientSize() const = 0;
  virtual void SetWindowRect(const UiRect& rect, bool repaint) = 0;
  virtual void SetTitle(const std::wstring& title) = 0;
  // Window-wide opacity on top of the per-pixel alpha.
  virtual void SetOpacity(uint8_t alpha) = 0;

  // Schedules a paint of `rect` (client coordinates).
  virtual void Invalidate(const UiRect& rect) = 0;
  // Shows `area` of the painted client surface.
  virtual void Present(IRenderContext* context, const UiRect& area) = 0;

  virtual void SetCapture() = 0;
  virtual void ReleaseCapture() = 0;
  virtual bool HasCapture() const = 0;
  virtual void TakeFocus() = 0;
  virtual bool HasFocus() const = 0;
  virtual void SetCursor(NativeCursor cursor) = 0;
  // Client coordinates.
  virtual CPoint GetCursorPos() const = 0;

  virtual void ShowToolTip(const std::wstring& text, const UiRect& rect, int max_width) = 0;
  virtual void HideToolTip() = 0;

  // Runs `task` later on the UI thread, after the current event.
  virtual void PostTask(std::function<void()> task) = 0;

  // Non-client behaviour of a borderless window; the defaults suit a window
  // that the desktop does not manage.
  virtual void SetShowState(NativeShowState /*state*/) {}
  // Smallest and largest window size; 0 means no limit in that direction.
  virtual void SetSizeLimits(CSize /*min_size*/, CSize /*max_size*/) {}
  // Corner ellipse of the window shape; (0, 0) keeps it rectangular.
  virtual void SetRoundCorner(CSize /*round*/) {}
  // An owner that is disabled takes no input while its box is open.
  virtual void SetEnabled(bool /*enabled*/) {}
  virtual bool IsEnabled() const { return true; }
  // Work area of the window's monitor, screen coordinates; empty when unknown.
  virtual UiRect GetWorkArea() const { return UiRect(); }
  // False where a client cannot place itself (Wayland): it asks the
  // compositor to centre it with CenterByDesktop instead.
  virtual bool CanPlaceItself() const { return true; }
  virtual void CenterByDesktop() {}
  // False when per-pixel alpha cannot show (no compositing): the shadow is
  // dropped, as when maximised.
  virtual bool HasAlphaChannel() const { return true; }
  // DPI of the window's monitor (96 = 100 %).
  virtual int GetDpi() const { return 96; }
  // Where the input method places its candidate window (client coordinates).
  virtual void SetCaretRect(const UiRect& /*rect*/) {}
  // How the desktop blinks a text caret in this window; none: the field's own
  // pace.
  virtual std::optional<CaretBlinkSettings> GetCaretBlinkSettings() const { return std::nullopt; }

  // A new native window of the same kind for a popup this window owns (a
  // drop-down list): no frame, no taskbar entry, placed in screen coordinates
  // by its Create. Null where popups are not supported.
  virtual std::unique_ptr<NativeWindow> CreatePopup() { return nullptr; }

  // The window core whose controls the native accessibility tree shows.
  virtual void SetAccessibleWindow(Window* /*window*/) {}

  // Whether this is a window of the real desktop (not one in memory): its
  // fields then follow the desktop's caret blink and share its clipboard.
  virtual bool IsOnDesktop() const { return false; }
};

// A native window held without owning it: null once that window's object is
// gone.
class NativeWindowRef {
 public:
  NativeWindowRef() = default;
  explicit NativeWindowRef(NativeWindow* window)
      : window_(window),
        alive_(window ? window->AcquireWeakFlag() : std::weak_ptr<nbase::WeakFlag>()) {}
  NativeWindow* get() const { return alive_.expired() ? nullptr : window_; }

 private:
  NativeWindow* window_ = nullptr;
  std::weak_ptr<nbase::WeakFlag> alive_;
};

}  // namespace ui
