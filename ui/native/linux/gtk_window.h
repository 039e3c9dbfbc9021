#pragma once

// The native window on a GTK 3 desktop (X11 or Wayland): an undecorated,
// app-paintable top-level that shows the window core's Cairo surface and
// turns GDK events into the window core's messages.

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/native/native_window.h"

namespace ui {

class AccessibleBridge;

class GtkNativeWindow : public NativeWindow {
 public:
  // GTK's own tooltip delay, used as the desktop's hover time.
  static constexpr int kHoverTimeMs = 500;
  static constexpr int kWheelDelta = 120;

  GtkNativeWindow();
  GtkNativeWindow(const GtkNativeWindow&) = delete;
  GtkNativeWindow& operator=(const GtkNativeWindow&) = delete;
  ~GtkNativeWindow() override;

  // NativeWindow.
  void SetDelegate(NativeWindowDelegate* delegate) override { delegate_ = delegate; }
  bool Create(NativeWindow* owner, const std::wstring& title, const UiRect& rect,
              bool layered) override;
  bool IsValid() const override { return widget_ != nullptr; }
  void Close() override;
  void Destroy() override;
  NativeWindow* GetOwner() const override { return owner_.get(); }
  std::optional<CaretBlinkSettings> GetCaretBlinkSettings() const override {
    return ReadCaretBlinkSettings();
  }
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
  void SetCapture() override { capture_ = true; }
  void ReleaseCapture() override { capture_ = false; }
  bool HasCapture() const override { return capture_; }
  void TakeFocus() override;
  bool HasFocus() const override { return has_focus_; }
  void SetCursor(NativeCursor cursor) override;
  CPoint GetCursorPos() const override;
  void ShowToolTip(const std::wstring& text, const UiRect& rect, int max_width) override;
  void HideToolTip() override;
  void PostTask(std::function<void()> task) override;
  void SetShowState(NativeShowState state) override;
  void SetSizeLimits(CSize min_size, CSize max_size) override;
  void SetRoundCorner(CSize round) override;
  void SetEnabled(bool enabled) override;
  bool IsEnabled() const override { return enabled_; }
  UiRect GetWorkArea() const override;
  bool CanPlaceItself() const override;
  void CenterByDesktop() override;
  bool HasAlphaChannel() const override { return rgba_; }
  int GetDpi() const override;
  std::unique_ptr<NativeWindow> CreatePopup() override;
  void SetAccessibleWindow(Window* window) override;
  bool IsOnDesktop() const override { return true; }

  void SetCaretRect(const UiRect& rect) override;
  // What SetCaretRect last passed to the input method.
  const UiRect& GetImeCaretRect() const { return ime_caret_rect_; }
  void SetIconFromFile(const std::string& path);

  GtkWidget* GetWidget() const { return widget_; }
  bool IsPopup() const { return popup_; }
  // Whether a shown popup holds the pointer and keyboard grab.
  bool HasPopupGrab() const { return grab_seat_ != nullptr; }
  // Device pixels per GDK unit (GDK_SCALE).
  int GetScaleFactor() const;
  bool IsToolTipVisible() const;
  const std::wstring& GetToolTipText() const { return tooltip_text_; }
  size_t GetDrawCount() const { return draw_count_; }
  // The client rect of the last copy to the screen.
  const UiRect& GetLastDrawRect() const { return last_draw_rect_; }

 private:
  static gboolean OnDrawThunk(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean OnEventThunk(GtkWidget* widget, GdkEvent* event, gpointer self);
  static void OnDestroyThunk(GtkWidget* widget, gpointer self);
  static void OnSizeAllocateThunk(GtkWidget* widget, GdkRectangle* allocation, gpointer self);
  static void OnRealizeThunk(GtkWidget* widget, gpointer self);
  static void OnScaleChangedThunk(GObject* object, GParamSpec* property, gpointer self);
  static void OnCommitThunk(GtkIMContext* context, gchar* text, gpointer self);
  static void OnPreeditStartThunk(GtkIMContext* context, gpointer self);
  static void OnPreeditEndThunk(GtkIMContext* context, gpointer self);
  static void OnPreeditChangedThunk(GtkIMContext* context, gpointer self);
  static gboolean OnHoverTimeoutThunk(gpointer self);

  gboolean OnDraw(cairo_t* cr);
  gboolean OnEvent(GdkEvent* event);
  void OnDestroyed();
  void OnSizeAllocate();
  void CheckDpi();
  // A popup's focus is its grab: it ends by a press outside, a broken grab
  // or the window going away.
  void GrabForPopup(bool take_focus);
  void ReleasePopupGrab();
  void LosePopupFocus(CPoint point);

  bool OnButtonPress(GdkEventButton* event);
  bool OnButtonRelease(GdkEventButton* event);
  bool OnMotion(GdkEventMotion* event);
  bool OnCrossing(GdkEventCrossing* event);
  bool OnScroll(GdkEventScroll* event);
  bool OnKey(GdkEventKey* event);
  bool OnTouch(GdkEventTouch* event);
  bool OnFocus(GdkEventFocus* event);
  bool OnWindowState(GdkEventWindowState* event);
  // A pen sends pointer messages; false when they were not taken.
  bool SendPenMessage(GdkEvent* event, NativeMessageType type, CPoint point);
  bool NonClientPress(GdkEventButton* event, CPoint point, bool double_click);
  void UpdateNonClientCursor(CPoint point);

  bool Send(NativeMessageType type, CPoint point, intptr_t w_param = 0, intptr_t l_param = 0,
            float pressure = 0.0f);
  CPoint ToClient(double x, double y) const;
  void StartHoverTimer();
  void StopHoverTimer();
  void ApplyShape();
  void ToggleEmulatedMaximize(bool maximize);
  bool WindowManagerMaximizes() const;

  NativeWindowDelegate* delegate_ = nullptr;
  NativeWindowRef owner_;
  // What serves the widget's accessible object, when one was installed.
  AccessibleBridge* accessible_bridge_ = nullptr;
  GtkWidget* widget_ = nullptr;
  bool popup_ = false;
  GdkSeat* grab_seat_ = nullptr;
  GtkIMContext* im_context_ = nullptr;
  GtkWidget* tooltip_ = nullptr;
  GtkWidget* tooltip_label_ = nullptr;
  std::wstring tooltip_text_;
  bool rgba_ = false;
  bool capture_ = false;
  bool has_focus_ = false;
  bool enabled_ = true;
  bool in_draw_ = false;
  bool composing_ = false;
  bool pointer_inside_ = false;
  bool leave_pending_ = false;
  IRenderContext* context_ = nullptr;
  CSize requested_size_;
  CSize client_size_;
  CSize round_corner_;
  CSize min_size_;
  CSize max_size_;
  int dpi_ = 96;
  guint hover_timer_ = 0;
  CPoint hover_point_{-1, -1};
  double wheel_accumulated_ = 0.0;
  // Own double-click detection: the second press becomes the double click,
  // as the design's message order (down, up, double click, up) wants.
  uint32_t last_press_time_ = 0;
  CPoint last_press_point_{-100000, -100000};
  guint last_press_button_ = 0;
  bool last_press_was_double_ = false;
  GdkEventSequence* touch_sequence_ = nullptr;
  bool pen_down_ = false;
  bool pen_taken_ = false;
  // Emulated maximise where no window manager does it (bare X servers).
  bool emulated_maximized_ = false;
  UiRect restore_rect_;
  GdkWindowState window_state_ = static_cast<GdkWindowState>(0);
  size_t draw_count_ = 0;
  UiRect last_draw_rect_;
  UiRect ime_caret_rect_;
  NativeCursor cursor_ = NativeCursor::kArrow;
  const char* cursor_name_ = nullptr;
};

}  // namespace ui
