#pragma once

// The native window on Windows: a borderless popup-style top-level, layered
// (per-pixel alpha pushed with UpdateLayeredWindow from a 32-bit DIB) unless
// made otherwise, whose window messages become the window core's messages.

#include <windows.h>
// winuser.h makes these macros of IsIconic and IsZoomed.
#undef IsMinimized
#undef IsMaximized

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/native/desktop_settings.h"
#include "ui/native/native_window.h"

namespace ui {

class AccessibleBridge;
class PixelImage;

// The pixels of a render context (apart: the render interfaces' text flags
// share names with winuser.h's macros).
const PixelImage* ContextPixels(IRenderContext* context);
// The memory DC holding a render context's pixels and their size, if it has
// one.
HDC ContextDc(IRenderContext* context, CSize* size);

class WinNativeWindow : public NativeWindow {
 public:
  static constexpr wchar_t kWindowClass[] = L"CorvaneSkinWindow";
  static constexpr wchar_t kPopupClass[] = L"CorvaneSkinPopup";
  // Hover time while no tooltip tells its own delay (the system's default).
  static constexpr int kDefaultHoverMs = 400;

  WinNativeWindow();
  WinNativeWindow(const WinNativeWindow&) = delete;
  WinNativeWindow& operator=(const WinNativeWindow&) = delete;
  ~WinNativeWindow() override;

  // NativeWindow.
  void SetDelegate(NativeWindowDelegate* delegate) override { delegate_ = delegate; }
  bool Create(NativeWindow* owner, const std::wstring& title, const UiRect& rect,
              bool layered) override;
  bool IsValid() const override { return hwnd_ != nullptr; }
  void Close() override;
  void Destroy() override;
  NativeWindow* GetOwner() const override { return owner_.get(); }
  void Show(bool show, bool take_focus) override;
  bool IsVisible() const override;
  bool IsMinimized() const override;
  bool IsMaximized() const override;
  UiRect GetWindowRect() const override;
  CSize GetClientSize() const override;
  void SetWindowRect(const UiRect& rect, bool repaint) override;
  void SetTitle(const std::wstring& title) override;
  void SetOpacity(uint8_t alpha) override;
  void Invalidate(const UiRect& rect) override;
  void Present(IRenderContext* context, const UiRect& area) override;
  void SetCapture() override;
  void ReleaseCapture() override;
  bool HasCapture() const override;
  void TakeFocus() override;
  bool HasFocus() const override;
  void SetCursor(NativeCursor cursor) override;
  CPoint GetCursorPos() const override;
  void ShowToolTip(const std::wstring& text, const UiRect& rect, int max_width) override;
  void HideToolTip() override;
  void PostTask(std::function<void()> task) override;
  void SetShowState(NativeShowState state) override;
  void SetSizeLimits(CSize min_size, CSize max_size) override;
  void SetRoundCorner(CSize round) override;
  void SetEnabled(bool enabled) override;
  bool IsEnabled() const override;
  UiRect GetWorkArea() const override;
  bool HasAlphaChannel() const override { return layered_; }
  int GetDpi() const override;
  void SetCaretRect(const UiRect& rect) override;
  std::optional<CaretBlinkSettings> GetCaretBlinkSettings() const override {
    return ReadCaretBlinkSettings();
  }
  std::unique_ptr<NativeWindow> CreatePopup() override;
  void SetAccessibleWindow(Window* window) override;
  bool IsOnDesktop() const override { return true; }

  // Shows `area` of `image` (client-sized, premultiplied): what Present does
  // with the render context's pixels.
  void PresentImage(const PixelImage* image, const UiRect& area);

  HWND GetHwnd() const { return hwnd_; }
  bool IsPopup() const { return popup_; }
  bool IsLayered() const { return layered_; }
  uint8_t GetOpacity() const { return opacity_; }
  // Whether a shown popup holds the mouse, so that a press elsewhere closes it.
  bool HasPopupCapture() const;
  HWND GetToolTipHwnd() const { return tooltip_; }
  bool IsToolTipVisible() const;
  const std::wstring& GetToolTipText() const { return tooltip_text_; }
  // What SetCaretRect last gave the input method.
  const UiRect& GetImeCaretRect() const { return ime_caret_rect_; }
  size_t GetPresentCount() const { return present_count_; }
  // Whether the window holds pixels of its own (PresentImage, or a render
  // context it cannot push as it is).
  bool KeepsPixelCopy() const { return surface_bits_ != nullptr; }
  // The client rect of the last push to the screen.
  const UiRect& GetLastPresentRect() const { return last_present_rect_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM w_param, LPARAM l_param);
  LRESULT HandleMessage(UINT message, WPARAM w_param, LPARAM l_param);
  // True when the message was fully handled; `result` then holds its answer.
  bool OnMouseMessage(UINT message, WPARAM w_param, LPARAM l_param);
  bool OnKeyMessage(UINT message, WPARAM w_param, LPARAM l_param);
  bool OnImeMessage(UINT message, WPARAM w_param, LPARAM l_param, LRESULT* result);
  LRESULT OnHitTest(LPARAM l_param);
  void OnGetMinMaxInfo(MINMAXINFO* info) const;
  void OnSized(WPARAM kind, CSize size);
  void OnDestroyed();
  void PaintPending();
  void OnPaintMessage();
  void PushLayered(const UiRect& dirty);
  // Pushes straight from the render context's DC, when it can be used as it
  // is: a layered window without round corners, the context client-sized.
  bool PresentDirect(IRenderContext* context, const UiRect& area);
  bool EnsureSurface(CSize size);
  void ReleaseSurface();
  void ApplyRegion();
  // The round corner's transparent part of `rect` (surface rows).
  void CutCorners(const UiRect& rect);
  int CornerInset(int y) const;
  void TrackMouse(bool hover);
  // A popup's focus ends: by a press outside it, a lost capture or another
  // window taking the activation.
  void LosePopupFocus(CPoint point);
  void HoldPopupCapture();

  bool Send(NativeMessageType type, CPoint point, intptr_t w_param = 0, intptr_t l_param = 0);
  CPoint ScreenToClientPoint(LPARAM l_param) const;

  NativeWindowDelegate* delegate_ = nullptr;
  NativeWindowRef owner_;
  HWND hwnd_ = nullptr;
  // Screen readers reach the controls of `accessible_window_` through the
  // bridge installed when the window was made.
  AccessibleBridge* accessible_bridge_ = nullptr;
  Window* accessible_window_ = nullptr;
  bool popup_ = false;
  bool layered_ = true;
  uint8_t opacity_ = 255;
  CSize client_size_;
  CSize min_size_;
  CSize max_size_;
  CSize round_corner_;

  // The 32-bit top-down DIB pushed to the layered window.
  HDC surface_dc_ = nullptr;
  HBITMAP surface_bitmap_ = nullptr;
  HGDIOBJ surface_old_ = nullptr;
  uint8_t* surface_bits_ = nullptr;
  CSize surface_size_;
  // Instead of the surface: the render context's DC, which the window's
  // owner keeps alive as long as this window (no copy of its pixels).
  HDC direct_dc_ = nullptr;
  CSize direct_size_;
  // Painting: one paint message in the queue at most.
  UiRect dirty_;
  bool paint_posted_ = false;
  bool in_paint_ = false;
  HDC paint_dc_ = nullptr;
  size_t present_count_ = 0;
  UiRect last_present_rect_;

  // Mouse tracking.
  bool tracking_leave_ = false;
  bool tracking_hover_ = false;
  LPARAM last_move_ = -1;
  // The window core's capture, which for a popup is a flag inside the
  // popup's own capture.
  bool capture_ = false;
  bool popup_focus_ = false;

  HWND tooltip_ = nullptr;
  std::wstring tooltip_text_;
  NativeCursor cursor_ = NativeCursor::kArrow;
  bool composing_ = false;
  UiRect ime_caret_rect_;
  std::shared_ptr<bool> alive_;
};

}  // namespace ui
