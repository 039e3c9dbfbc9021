#include "ui/native/linux/gtk_window.h"

#include <gdk/gdk.h>
#include <gdk/gdkkeysyms.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "base/startup_timing.h"
#include "base/string_util.h"
#include "ui/native/accessible_bridge.h"
#include "ui/native/linux/gtk_keys.h"
#include "ui/render/linux/render_cairo.h"
#include "ui/render/render.h"

namespace ui {

namespace {

constexpr int kVkProcessKey = 0xE5;  // a key the input method took

int FloorDiv(int value, int divisor) {
  return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

int CeilDiv(int value, int divisor) {
  return -FloorDiv(-value, divisor);
}

const char* CursorName(NativeCursor cursor) {
  switch (cursor) {
    case NativeCursor::kHand:
      return "pointer";
    case NativeCursor::kIBeam:
      return "text";
    case NativeCursor::kSizeWE:
      return "ew-resize";
    case NativeCursor::kSizeNS:
      return "ns-resize";
    case NativeCursor::kWait:
      return "wait";
    case NativeCursor::kArrow:
      break;
  }
  return "default";
}

const char* HitTestCursorName(NativeHitTest hit) {
  switch (hit) {
    case NativeHitTest::kLeft:
      return "w-resize";
    case NativeHitTest::kRight:
      return "e-resize";
    case NativeHitTest::kTop:
      return "n-resize";
    case NativeHitTest::kBottom:
      return "s-resize";
    case NativeHitTest::kTopLeft:
      return "nw-resize";
    case NativeHitTest::kTopRight:
      return "ne-resize";
    case NativeHitTest::kBottomLeft:
      return "sw-resize";
    case NativeHitTest::kBottomRight:
      return "se-resize";
    default:
      return nullptr;
  }
}

bool ResizeEdge(NativeHitTest hit, GdkWindowEdge* edge) {
  switch (hit) {
    case NativeHitTest::kLeft:
      *edge = GDK_WINDOW_EDGE_WEST;
      return true;
    case NativeHitTest::kRight:
      *edge = GDK_WINDOW_EDGE_EAST;
      return true;
    case NativeHitTest::kTop:
      *edge = GDK_WINDOW_EDGE_NORTH;
      return true;
    case NativeHitTest::kBottom:
      *edge = GDK_WINDOW_EDGE_SOUTH;
      return true;
    case NativeHitTest::kTopLeft:
      *edge = GDK_WINDOW_EDGE_NORTH_WEST;
      return true;
    case NativeHitTest::kTopRight:
      *edge = GDK_WINDOW_EDGE_NORTH_EAST;
      return true;
    case NativeHitTest::kBottomLeft:
      *edge = GDK_WINDOW_EDGE_SOUTH_WEST;
      return true;
    case NativeHitTest::kBottomRight:
      *edge = GDK_WINDOW_EDGE_SOUTH_EAST;
      return true;
    default:
      return false;
  }
}

bool IsPen(const GdkEvent* event) {
  GdkDevice* device = gdk_event_get_source_device(event);
  if (!device) return false;
  const GdkInputSource source = gdk_device_get_source(device);
  return source == GDK_SOURCE_PEN || source == GDK_SOURCE_ERASER;
}

bool IsWayland() {
#ifdef GDK_WINDOWING_WAYLAND
  return GDK_IS_WAYLAND_DISPLAY(gdk_display_get_default());
#else
  return false;
#endif
}

// Windows packs the repeat count and the scan code into a key message.
// The held modifiers, where key and wheel messages carry them.
intptr_t ModifierParam(guint state) {
  intptr_t param = 0;
  if (state & GDK_SHIFT_MASK) param |= kKeyStateShift;
  if (state & GDK_CONTROL_MASK) param |= kKeyStateControl;
  if (state & GDK_MOD1_MASK) param |= kKeyStateAlt;
  return param;
}

// The held buttons and modifiers, where button and move messages carry them.
intptr_t MouseStateParam(guint state) {
  uintptr_t param = 0;
  if (state & GDK_BUTTON1_MASK) param |= kMouseStateLeftButton;
  if (state & GDK_BUTTON3_MASK) param |= kMouseStateRightButton;
  if (state & GDK_SHIFT_MASK) param |= kMouseStateShift;
  if (state & GDK_CONTROL_MASK) param |= kMouseStateControl;
  return static_cast<intptr_t>(param);
}

// The character TranslateMessage makes of keys that type no text.
wchar_t ControlCharacter(int vk, guint state) {
  // With Control or Alt held the key down alone acts.
  if (state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) return 0;
  switch (vk) {
    case kVkBack:
      return L'\b';
    case kVkTab:
      return L'\t';
    case kVkReturn:
      return L'\r';
    case kVkEscape:
      return 0x1B;
    default:
      break;
  }
  return 0;
}

struct PostedTask {
  std::function<void()> task;
};

}  // namespace

GtkNativeWindow::GtkNativeWindow() = default;

GtkNativeWindow::~GtkNativeWindow() {
  delegate_ = nullptr;
  ReleasePopupGrab();
  StopHoverTimer();
  if (tooltip_) gtk_widget_destroy(tooltip_);
  tooltip_ = nullptr;
  if (im_context_) {
    g_signal_handlers_disconnect_by_data(im_context_, this);
    gtk_im_context_set_client_window(im_context_, nullptr);
    g_object_unref(im_context_);
    im_context_ = nullptr;
  }
  if (GtkSettings* settings = gtk_settings_get_default()) {
    g_signal_handlers_disconnect_by_data(settings, this);
  }
  if (widget_) {
    GtkWidget* widget = widget_;
    widget_ = nullptr;
    g_signal_handlers_disconnect_by_data(widget, this);
    if (accessible_bridge_) accessible_bridge_->Attach(widget, nullptr);
    gtk_widget_destroy(widget);
  }
}

bool GtkNativeWindow::Create(NativeWindow* owner, const std::wstring& title, const UiRect& rect,
                             bool layered) {
  if (widget_ || !gdk_display_get_default()) return false;
  owner_ = NativeWindowRef(owner);
  // A popup is placed by us, not the window manager, and never in a taskbar.
  accessible_bridge_ = GetAccessibleBridge();
  if (accessible_bridge_) {
    widget_ = static_cast<GtkWidget*>(accessible_bridge_->CreateToolkitWindow(popup_));
  }
  if (!widget_) {
    accessible_bridge_ = nullptr;
    widget_ = gtk_window_new(popup_ ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL);
  }
  GtkWindow* window = GTK_WINDOW(widget_);
  gtk_window_set_decorated(window, FALSE);
  if (popup_) gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_COMBO);
  gtk_widget_set_app_paintable(widget_, TRUE);
  gtk_window_set_title(window, nbase::WideToUTF8(title).c_str());
  GdkScreen* screen = gtk_widget_get_screen(widget_);
  GdkVisual* visual = gdk_screen_get_rgba_visual(screen);
  rgba_ = layered && visual && gdk_screen_is_composited(screen);
  if (rgba_) gtk_widget_set_visual(widget_, visual);
  if (auto* gtk_owner = dynamic_cast<GtkNativeWindow*>(owner); gtk_owner && gtk_owner->widget_) {
    gtk_window_set_transient_for(window, GTK_WINDOW(gtk_owner->widget_));
  }
  gtk_widget_add_events(widget_,
                        GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                            GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK |
                            GDK_KEY_RELEASE_MASK | GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK |
                            GDK_FOCUS_CHANGE_MASK | GDK_STRUCTURE_MASK | GDK_TOUCH_MASK);
  const int scale = std::max(1, gtk_widget_get_scale_factor(widget_));
  requested_size_ = CSize(std::max(1, rect.GetWidth()), std::max(1, rect.GetHeight()));
  client_size_ = requested_size_;
  gtk_window_set_default_size(window, CeilDiv(requested_size_.cx, scale),
                              CeilDiv(requested_size_.cy, scale));
  gtk_window_move(window, FloorDiv(rect.left, scale), FloorDiv(rect.top, scale));

  g_signal_connect(widget_, "draw", G_CALLBACK(&GtkNativeWindow::OnDrawThunk), this);
  g_signal_connect(widget_, "event", G_CALLBACK(&GtkNativeWindow::OnEventThunk), this);
  g_signal_connect(widget_, "destroy", G_CALLBACK(&GtkNativeWindow::OnDestroyThunk), this);
  g_signal_connect(widget_, "size-allocate", G_CALLBACK(&GtkNativeWindow::OnSizeAllocateThunk),
                   this);
  g_signal_connect(widget_, "realize", G_CALLBACK(&GtkNativeWindow::OnRealizeThunk), this);
  g_signal_connect(widget_, "notify::scale-factor",
                   G_CALLBACK(&GtkNativeWindow::OnScaleChangedThunk), this);
  if (GtkSettings* settings = gtk_settings_get_default()) {
    g_signal_connect(settings, "notify::gtk-xft-dpi",
                     G_CALLBACK(&GtkNativeWindow::OnScaleChangedThunk), this);
  }

  im_context_ = gtk_im_multicontext_new();
  g_signal_connect(im_context_, "commit", G_CALLBACK(&GtkNativeWindow::OnCommitThunk), this);
  g_signal_connect(im_context_, "preedit-start", G_CALLBACK(&GtkNativeWindow::OnPreeditStartThunk),
                   this);
  g_signal_connect(im_context_, "preedit-end", G_CALLBACK(&GtkNativeWindow::OnPreeditEndThunk),
                   this);
  g_signal_connect(im_context_, "preedit-changed",
                   G_CALLBACK(&GtkNativeWindow::OnPreeditChangedThunk), this);
  dpi_ = GetDpi();
  return true;
}

void GtkNativeWindow::Close() {
  if (!widget_) return;
  HideToolTip();
  if (Send(NativeMessageType::kClose, CPoint(-1, -1))) return;
  Destroy();
}

void GtkNativeWindow::Destroy() {
  ReleasePopupGrab();
  if (widget_) gtk_widget_destroy(widget_);
}

void GtkNativeWindow::OnDestroyThunk(GtkWidget* /*widget*/, gpointer self) {
  static_cast<GtkNativeWindow*>(self)->OnDestroyed();
}

void GtkNativeWindow::OnDestroyed() {
  if (!widget_) return;
  g_signal_handlers_disconnect_by_data(widget_, this);
  ReleasePopupGrab();
  if (accessible_bridge_) accessible_bridge_->Attach(widget_, nullptr);
  widget_ = nullptr;
  context_ = nullptr;
  StopHoverTimer();
  HideToolTip();
  if (im_context_) gtk_im_context_set_client_window(im_context_, nullptr);
  // The delegate may delete this object: nothing may follow.
  if (NativeWindowDelegate* delegate = delegate_) delegate->OnNativeDestroyed();
}

void GtkNativeWindow::OnRealizeThunk(GtkWidget* widget, gpointer self) {
  auto* me = static_cast<GtkNativeWindow*>(self);
  if (me->im_context_) {
    gtk_im_context_set_client_window(me->im_context_, gtk_widget_get_window(widget));
  }
  me->ApplyShape();
}

void GtkNativeWindow::Show(bool show, bool take_focus) {
  if (!widget_) return;
  if (!show) {
    HideToolTip();
    if (popup_ && has_focus_) {
      LosePopupFocus(CPoint(-1, -1));
      if (!widget_) return;
    }
    gtk_widget_hide(widget_);
    return;
  }
  if (popup_) {
    gtk_widget_show(widget_);
    GrabForPopup(take_focus);
    return;
  }
  GtkWindow* window = GTK_WINDOW(widget_);
  gtk_window_set_focus_on_map(window, take_focus);
  gtk_window_set_accept_focus(window, TRUE);
  gtk_widget_show(widget_);
  if (take_focus) gtk_window_present(window);
}

bool GtkNativeWindow::IsVisible() const {
  return widget_ && gtk_widget_get_visible(widget_);
}

bool GtkNativeWindow::IsMinimized() const {
  return widget_ && (window_state_ & GDK_WINDOW_STATE_ICONIFIED);
}

bool GtkNativeWindow::IsMaximized() const {
  return widget_ && (emulated_maximized_ || (window_state_ & GDK_WINDOW_STATE_MAXIMIZED));
}

int GtkNativeWindow::GetScaleFactor() const {
  return widget_ ? std::max(1, gtk_widget_get_scale_factor(widget_)) : 1;
}

UiRect GtkNativeWindow::GetWindowRect() const {
  if (!widget_) return UiRect();
  const int scale = GetScaleFactor();
  int x = 0;
  int y = 0;
  gtk_window_get_position(GTK_WINDOW(widget_), &x, &y);
  const CSize size = GetClientSize();
  return UiRect(x * scale, y * scale, x * scale + size.cx, y * scale + size.cy);
}

CSize GtkNativeWindow::GetClientSize() const {
  return widget_ ? client_size_ : CSize();
}

void GtkNativeWindow::SetWindowRect(const UiRect& rect, bool repaint) {
  if (!widget_) return;
  const int scale = GetScaleFactor();
  GtkWindow* window = GTK_WINDOW(widget_);
  const CSize size(std::max(1, rect.GetWidth()), std::max(1, rect.GetHeight()));
  gtk_window_move(window, FloorDiv(rect.left, scale), FloorDiv(rect.top, scale));
  if (!(size == client_size_)) {
    requested_size_ = size;
    // The core paints at the new size at once; GTK confirms it later.
    client_size_ = size;
    gtk_window_resize(window, CeilDiv(size.cx, scale), CeilDiv(size.cy, scale));
    ApplyShape();
    Send(NativeMessageType::kSize, CPoint(-1, -1), IsMaximized() ? 2 : 0);
    gtk_widget_queue_draw(widget_);
  } else if (repaint) {
    gtk_widget_queue_draw(widget_);
  }
}

void GtkNativeWindow::SetTitle(const std::wstring& title) {
  if (widget_) gtk_window_set_title(GTK_WINDOW(widget_), nbase::WideToUTF8(title).c_str());
}

void GtkNativeWindow::SetIconFromFile(const std::string& path) {
  if (!widget_) return;
  GError* error = nullptr;
  if (!gtk_window_set_icon_from_file(GTK_WINDOW(widget_), path.c_str(), &error)) {
    g_clear_error(&error);
  }
}

void GtkNativeWindow::SetOpacity(uint8_t alpha) {
  if (widget_) gtk_widget_set_opacity(widget_, alpha / 255.0);
}

void GtkNativeWindow::Invalidate(const UiRect& rect) {
  if (!widget_) return;
  UiRect area = rect;
  if (!area.Intersect(UiRect(0, 0, client_size_.cx, client_size_.cy))) return;
  const int scale = GetScaleFactor();
  const int left = FloorDiv(area.left, scale);
  const int top = FloorDiv(area.top, scale);
  gtk_widget_queue_draw_area(widget_, left, top, CeilDiv(area.right, scale) - left,
                             CeilDiv(area.bottom, scale) - top);
}

void GtkNativeWindow::Present(IRenderContext* context, const UiRect& area) {
  context_ = context;
  // Inside a draw the copy follows; otherwise ask for one.
  if (!in_draw_) Invalidate(area);
}

gboolean GtkNativeWindow::OnDrawThunk(GtkWidget* /*widget*/, cairo_t* cr, gpointer self) {
  return static_cast<GtkNativeWindow*>(self)->OnDraw(cr);
}

gboolean GtkNativeWindow::OnDraw(cairo_t* cr) {
  GdkRectangle clip;
  if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return TRUE;
  const int scale = GetScaleFactor();
  UiRect area(clip.x * scale, clip.y * scale, (clip.x + clip.width) * scale,
              (clip.y + clip.height) * scale);
  if (!area.Intersect(UiRect(0, 0, client_size_.cx, client_size_.cy))) return TRUE;
  in_draw_ = true;
  if (delegate_) delegate_->OnNativePaint(area);
  in_draw_ = false;
  if (!widget_ || !context_) return TRUE;
  // A context without pixels (an empty client area) shows as transparent.
  PixelImage* pixels = context_->GetPixelImage();
  cairo_surface_t* surface = pixels ? CairoSurfaceOf(*pixels) : nullptr;
  ++draw_count_;
  static bool first_frame = false;
  nbase::StartupTiming::MarkOnce("first frame painted", &first_frame);
  last_draw_rect_ = area;
  cairo_save(cr);
  // Device pixels of the surface map one to one onto the window's.
  cairo_scale(cr, 1.0 / scale, 1.0 / scale);
  cairo_rectangle(cr, area.left, area.top, area.GetWidth(), area.GetHeight());
  cairo_clip(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (surface) {
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  } else {
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
  }
  cairo_paint(cr);
  cairo_restore(cr);
  return TRUE;
}

void GtkNativeWindow::OnSizeAllocateThunk(GtkWidget* /*widget*/, GdkRectangle* /*allocation*/,
                                          gpointer self) {
  static_cast<GtkNativeWindow*>(self)->OnSizeAllocate();
}

void GtkNativeWindow::OnSizeAllocate() {
  if (!widget_) return;
  const int scale = GetScaleFactor();
  const CSize size(gtk_widget_get_allocated_width(widget_) * scale,
                   gtk_widget_get_allocated_height(widget_) * scale);
  if (size.cx <= 1 && size.cy <= 1) return;
  // A size GTK rounded from ours in GDK units keeps the exact request.
  const CSize rounded(CeilDiv(requested_size_.cx, scale) * scale,
                      CeilDiv(requested_size_.cy, scale) * scale);
  const CSize actual = size == rounded ? requested_size_ : size;
  if (actual == client_size_) return;
  client_size_ = actual;
  requested_size_ = actual;
  ApplyShape();
  Send(NativeMessageType::kSize, CPoint(-1, -1), IsMaximized() ? 2 : (IsMinimized() ? 1 : 0));
  gtk_widget_queue_draw(widget_);
}

void GtkNativeWindow::OnScaleChangedThunk(GObject* /*object*/, GParamSpec* /*property*/,
                                          gpointer self) {
  static_cast<GtkNativeWindow*>(self)->CheckDpi();
}

int GtkNativeWindow::GetDpi() const {
  GdkScreen* screen = widget_ ? gtk_widget_get_screen(widget_) : gdk_screen_get_default();
  double resolution = screen ? gdk_screen_get_resolution(screen) : -1.0;
  if (resolution <= 0) resolution = 96.0;
  return static_cast<int>(std::lround(resolution * GetScaleFactor()));
}

void GtkNativeWindow::CheckDpi() {
  if (!widget_) return;
  const int dpi = GetDpi();
  if (dpi == dpi_) return;
  dpi_ = dpi;
  if (delegate_) delegate_->OnNativeDpiChanged(dpi);
}

bool GtkNativeWindow::Send(NativeMessageType type, CPoint point, intptr_t w_param, intptr_t l_param,
                           float pressure) {
  if (!delegate_) return false;
  NativeMessage message;
  message.type = type;
  message.point = point;
  message.w_param = w_param;
  message.l_param = l_param;
  message.pressure = pressure;
  return delegate_->OnNativeMessage(message);
}

CPoint GtkNativeWindow::ToClient(double x, double y) const {
  const int scale = GetScaleFactor();
  return CPoint(static_cast<int>(std::floor(x * scale)), static_cast<int>(std::floor(y * scale)));
}

gboolean GtkNativeWindow::OnEventThunk(GtkWidget* /*widget*/, GdkEvent* event, gpointer self) {
  return static_cast<GtkNativeWindow*>(self)->OnEvent(event);
}

gboolean GtkNativeWindow::OnEvent(GdkEvent* event) {
  switch (event->type) {
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
      return enabled_ ? OnButtonPress(&event->button) : TRUE;
    case GDK_BUTTON_RELEASE:
      return enabled_ ? OnButtonRelease(&event->button) : TRUE;
    case GDK_MOTION_NOTIFY:
      return enabled_ ? OnMotion(&event->motion) : TRUE;
    case GDK_ENTER_NOTIFY:
    case GDK_LEAVE_NOTIFY:
      return OnCrossing(&event->crossing);
    case GDK_SCROLL:
      return enabled_ ? OnScroll(&event->scroll) : TRUE;
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
      return enabled_ ? OnKey(&event->key) : TRUE;
    case GDK_TOUCH_BEGIN:
    case GDK_TOUCH_UPDATE:
    case GDK_TOUCH_END:
    case GDK_TOUCH_CANCEL:
      return enabled_ ? OnTouch(&event->touch) : TRUE;
    case GDK_FOCUS_CHANGE:
      // A popup's focus follows its grab, not the desktop's focus.
      return popup_ ? FALSE : OnFocus(&event->focus_change);
    case GDK_GRAB_BROKEN:
      if (popup_ && grab_seat_) {
        grab_seat_ = nullptr;
        LosePopupFocus(CPoint(-1, -1));
      }
      return TRUE;
    case GDK_WINDOW_STATE:
      return OnWindowState(&event->window_state);
    case GDK_DELETE:
      Close();
      return TRUE;
    default:
      return FALSE;
  }
}

bool GtkNativeWindow::SendPenMessage(GdkEvent* event, NativeMessageType type, CPoint point) {
  double pressure = 0.0;
  if (!gdk_event_get_axis(event, GDK_AXIS_PRESSURE, &pressure)) pressure = 0.0;
  return Send(type, point, 0, 0, static_cast<float>(std::clamp(pressure, 0.0, 1.0)));
}

bool GtkNativeWindow::NonClientPress(GdkEventButton* event, CPoint point, bool double_click) {
  if (!delegate_ || event->button != GDK_BUTTON_PRIMARY || IsMinimized()) return false;
  const NativeHitTest hit = delegate_->OnNativeHitTest(point);
  if (hit == NativeHitTest::kClient) return false;
  HideToolTip();
  GtkWindow* window = GTK_WINDOW(widget_);
  if (hit == NativeHitTest::kCaption) {
    // The caption's double click is taken and does nothing: no maximising
    // by double click, whatever the window's borders.
    if (double_click) return true;
    gtk_window_begin_move_drag(window, static_cast<gint>(event->button),
                               static_cast<gint>(event->x_root), static_cast<gint>(event->y_root),
                               event->time);
    return true;
  }
  GdkWindowEdge edge;
  if (IsMaximized() || !ResizeEdge(hit, &edge)) return false;
  gtk_window_begin_resize_drag(window, edge, static_cast<gint>(event->button),
                               static_cast<gint>(event->x_root), static_cast<gint>(event->y_root),
                               event->time);
  return true;
}

bool GtkNativeWindow::OnButtonPress(GdkEventButton* event) {
  if (event->type != GDK_BUTTON_PRESS) return true;  // our own double-click detection
  const CPoint point = ToClient(event->x, event->y);
  if (popup_ && grab_seat_ &&
      (point.x < 0 || point.y < 0 || point.x >= client_size_.cx || point.y >= client_size_.cy)) {
    // The grab brings every press here: one outside the popup takes its focus
    // away, as a click on another window would, and goes nowhere else.
    LosePopupFocus(point);
    return true;
  }
  StopHoverTimer();
  HideToolTip();

  GtkSettings* settings = gtk_widget_get_settings(widget_);
  int double_time = 400;
  int double_distance = 5;
  g_object_get(settings, "gtk-double-click-time", &double_time, "gtk-double-click-distance",
               &double_distance, nullptr);
  const bool double_click =
      !last_press_was_double_ && event->button == last_press_button_ &&
      event->time - last_press_time_ <= static_cast<uint32_t>(double_time) &&
      std::abs(point.x - last_press_point_.x) <= double_distance * GetScaleFactor() &&
      std::abs(point.y - last_press_point_.y) <= double_distance * GetScaleFactor();
  last_press_time_ = event->time;
  last_press_point_ = point;
  last_press_button_ = event->button;
  last_press_was_double_ = double_click;

  if (NonClientPress(event, point, double_click)) return true;

  if (IsPen(reinterpret_cast<GdkEvent*>(event)) && event->button == GDK_BUTTON_PRIMARY) {
    pen_down_ = true;
    pen_taken_ =
        SendPenMessage(reinterpret_cast<GdkEvent*>(event), NativeMessageType::kPointerDown, point);
    if (pen_taken_) return true;
  }
  if (event->button == GDK_BUTTON_PRIMARY) {
    Send(double_click ? NativeMessageType::kLeftButtonDoubleClick
                      : NativeMessageType::kLeftButtonDown,
         point, MouseStateParam(event->state | GDK_BUTTON1_MASK));
  } else if (event->button == GDK_BUTTON_SECONDARY) {
    Send(NativeMessageType::kRightButtonDown, point,
         MouseStateParam(event->state | GDK_BUTTON3_MASK));
  } else if (event->button == GDK_BUTTON_MIDDLE) {
    Send(NativeMessageType::kMiddleButtonDown, point, MouseStateParam(event->state));
  }
  return true;
}

bool GtkNativeWindow::OnButtonRelease(GdkEventButton* event) {
  const CPoint point = ToClient(event->x, event->y);
  if (pen_down_ && event->button == GDK_BUTTON_PRIMARY) {
    pen_down_ = false;
    const bool taken = pen_taken_;
    pen_taken_ = false;
    SendPenMessage(reinterpret_cast<GdkEvent*>(event), NativeMessageType::kPointerUp, point);
    if (taken) return true;
  }
  if (event->button == GDK_BUTTON_PRIMARY) {
    Send(NativeMessageType::kLeftButtonUp, point,
         MouseStateParam(event->state & ~GDK_BUTTON1_MASK));
  } else if (event->button == GDK_BUTTON_SECONDARY) {
    Send(NativeMessageType::kRightButtonUp, point,
         MouseStateParam(event->state & ~GDK_BUTTON3_MASK));
    if (widget_) Send(NativeMessageType::kContextMenu, point);
  }
  // A leave that happened while the button held the pointer counts now.
  if (widget_ && leave_pending_) {
    leave_pending_ = false;
    Send(NativeMessageType::kMouseLeave, CPoint(-1, -1));
  }
  return true;
}

void GtkNativeWindow::UpdateNonClientCursor(CPoint point) {
  const char* name = nullptr;
  if (delegate_ && !IsMaximized()) name = HitTestCursorName(delegate_->OnNativeHitTest(point));
  if (name) {
    if (cursor_name_ != name && widget_ && gtk_widget_get_window(widget_)) {
      GdkCursor* cursor = gdk_cursor_new_from_name(gtk_widget_get_display(widget_), name);
      gdk_window_set_cursor(gtk_widget_get_window(widget_), cursor);
      if (cursor) g_object_unref(cursor);
      cursor_name_ = name;
    }
    return;
  }
  // The control under the pointer picks the shape; none gives the arrow.
  if (!Send(NativeMessageType::kSetCursor, point)) SetCursor(NativeCursor::kArrow);
}

bool GtkNativeWindow::OnMotion(GdkEventMotion* event) {
  const CPoint point = ToClient(event->x, event->y);
  pointer_inside_ = true;
  if (pen_down_ && pen_taken_) {
    SendPenMessage(reinterpret_cast<GdkEvent*>(event), NativeMessageType::kPointerUpdate, point);
    return true;
  }
  const bool button_held = (event->state & (GDK_BUTTON1_MASK | GDK_BUTTON3_MASK)) != 0;
  if (!button_held) UpdateNonClientCursor(point);
  if (!widget_) return true;
  Send(NativeMessageType::kMouseMove, point, MouseStateParam(event->state), 0);
  if (!widget_) return true;
  if (!button_held && !(point == hover_point_)) {
    hover_point_ = point;
    StartHoverTimer();
  }
  return true;
}

bool GtkNativeWindow::OnCrossing(GdkEventCrossing* event) {
  // Crossings into child windows or caused by grabs are not the pointer
  // leaving the window.
  if (event->detail == GDK_NOTIFY_INFERIOR) return FALSE;
  if (event->type == GDK_ENTER_NOTIFY) {
    pointer_inside_ = true;
    leave_pending_ = false;
    return FALSE;
  }
  if (event->mode != GDK_CROSSING_NORMAL && event->mode != GDK_CROSSING_UNGRAB) return FALSE;
  pointer_inside_ = false;
  StopHoverTimer();
  hover_point_ = CPoint(-1, -1);
  if (event->state & (GDK_BUTTON1_MASK | GDK_BUTTON3_MASK)) {
    // The held button keeps the pointer; the leave waits for the release.
    leave_pending_ = true;
    return FALSE;
  }
  HideToolTip();
  if (enabled_) Send(NativeMessageType::kMouseLeave, CPoint(-1, -1));
  return FALSE;
}

void GtkNativeWindow::StartHoverTimer() {
  StopHoverTimer();
  hover_timer_ = g_timeout_add(kHoverTimeMs, &GtkNativeWindow::OnHoverTimeoutThunk, this);
}

void GtkNativeWindow::StopHoverTimer() {
  if (hover_timer_) g_source_remove(hover_timer_);
  hover_timer_ = 0;
}

gboolean GtkNativeWindow::OnHoverTimeoutThunk(gpointer self) {
  auto* me = static_cast<GtkNativeWindow*>(self);
  me->hover_timer_ = 0;
  if (me->widget_ && me->pointer_inside_ && me->enabled_) {
    me->Send(NativeMessageType::kMouseHover, me->hover_point_);
  }
  return G_SOURCE_REMOVE;
}

bool GtkNativeWindow::OnScroll(GdkEventScroll* event) {
  const CPoint point = ToClient(event->x, event->y);
  int delta = 0;
  switch (event->direction) {
    case GDK_SCROLL_UP:
      delta = kWheelDelta;
      break;
    case GDK_SCROLL_DOWN:
      delta = -kWheelDelta;
      break;
    case GDK_SCROLL_SMOOTH: {
      // Touchpads send fractions of a notch; whole notches are passed on.
      wheel_accumulated_ -= event->delta_y * kWheelDelta;
      const double notches = std::trunc(wheel_accumulated_ / kWheelDelta);
      delta = static_cast<int>(notches) * kWheelDelta;
      wheel_accumulated_ -= delta;
      break;
    }
    default:
      return true;
  }
  if (delta != 0) Send(NativeMessageType::kMouseWheel, point, delta, ModifierParam(event->state));
  return true;
}

bool GtkNativeWindow::OnKey(GdkEventKey* event) {
  const bool up = event->type == GDK_KEY_RELEASE;
  const bool was_composing = composing_;
  const bool filtered = im_context_ && gtk_im_context_filter_keypress(im_context_, event);
  if (!widget_) return true;
  const int vk = VirtualKeyFromGdkKeyval(event->keyval);
  const intptr_t param = ModifierParam(event->state);
  if (filtered && (was_composing || composing_)) {
    // The input method composes: the key is its own, as on the system.
    if (!up) Send(NativeMessageType::kKeyDown, CPoint(-1, -1), kVkProcessKey, param);
    return true;
  }
  if (vk == 0) return filtered;
  if (up) {
    Send(NativeMessageType::kKeyUp, CPoint(-1, -1), vk, param);
    return true;
  }
  const bool alt = (event->state & GDK_MOD1_MASK) != 0 && vk != kVkMenu;
  if (alt) {
    Send(NativeMessageType::kSysKey, CPoint(-1, -1), vk, param);
    return true;
  }
  Send(NativeMessageType::kKeyDown, CPoint(-1, -1), vk, param);
  if (!widget_ || filtered) return true;
  if (const wchar_t character = ControlCharacter(vk, event->state)) {
    Send(NativeMessageType::kChar, CPoint(-1, -1), character, param);
  }
  return true;
}

void GtkNativeWindow::OnCommitThunk(GtkIMContext* /*context*/, gchar* text, gpointer self) {
  auto* me = static_cast<GtkNativeWindow*>(self);
  const std::wstring characters = nbase::UTF8ToWide(text ? text : "");
  for (wchar_t character : characters) {
    if (!me->widget_) return;
    me->Send(NativeMessageType::kChar, CPoint(-1, -1), character, 0);
  }
}

void GtkNativeWindow::OnPreeditStartThunk(GtkIMContext* /*context*/, gpointer self) {
  auto* me = static_cast<GtkNativeWindow*>(self);
  if (me->composing_) return;
  me->composing_ = true;
  me->Send(NativeMessageType::kImeStartComposition, CPoint(-1, -1));
}

void GtkNativeWindow::OnPreeditEndThunk(GtkIMContext* /*context*/, gpointer self) {
  auto* me = static_cast<GtkNativeWindow*>(self);
  if (!me->composing_) return;
  me->composing_ = false;
  me->Send(NativeMessageType::kImeEndComposition, CPoint(-1, -1));
}

void GtkNativeWindow::OnPreeditChangedThunk(GtkIMContext* context, gpointer self) {
  auto* me = static_cast<GtkNativeWindow*>(self);
  gchar* text = nullptr;
  gint cursor = 0;
  gtk_im_context_get_preedit_string(context, &text, nullptr, &cursor);
  const std::wstring preedit = nbase::UTF8ToWide(text ? text : "");
  g_free(text);
  if (me->widget_ && me->delegate_) me->delegate_->OnNativeComposition(preedit, cursor);
}

void GtkNativeWindow::SetCaretRect(const UiRect& rect) {
  ime_caret_rect_ = rect;
  if (!im_context_) return;
  const int scale = GetScaleFactor();
  GdkRectangle area{FloorDiv(rect.left, scale), FloorDiv(rect.top, scale),
                    std::max(1, CeilDiv(rect.GetWidth(), scale)),
                    std::max(1, CeilDiv(rect.GetHeight(), scale))};
  gtk_im_context_set_cursor_location(im_context_, &area);
}

bool GtkNativeWindow::OnTouch(GdkEventTouch* event) {
  const CPoint point = ToClient(event->x, event->y);
  // Only the first finger counts.
  if (event->type == GDK_TOUCH_BEGIN) {
    if (touch_sequence_) return true;
    touch_sequence_ = event->sequence;
    Send(NativeMessageType::kTouchDown, point);
    return true;
  }
  if (event->sequence != touch_sequence_) return true;
  if (event->type == GDK_TOUCH_UPDATE) {
    Send(NativeMessageType::kTouchMove, point);
  } else {
    touch_sequence_ = nullptr;
    Send(NativeMessageType::kTouchUp, point);
  }
  return true;
}

bool GtkNativeWindow::OnFocus(GdkEventFocus* event) {
  const bool in = event->in != 0;
  if (in == has_focus_) return FALSE;
  has_focus_ = in;
  if (im_context_) {
    if (in) {
      gtk_im_context_focus_in(im_context_);
    } else {
      gtk_im_context_focus_out(im_context_);
    }
  }
  if (!in) HideToolTip();
  Send(in ? NativeMessageType::kSetFocus : NativeMessageType::kKillFocus,
       in ? CPoint(-1, -1) : GetCursorPos());
  return FALSE;
}

bool GtkNativeWindow::OnWindowState(GdkEventWindowState* event) {
  const GdkWindowState old_state = window_state_;
  window_state_ = event->new_window_state;
  const auto kinds =
      static_cast<GdkWindowState>(GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_ICONIFIED);
  if ((old_state & kinds) != (window_state_ & kinds)) {
    Send(NativeMessageType::kSize, CPoint(-1, -1), IsMinimized() ? 1 : (IsMaximized() ? 2 : 0));
  }
  return FALSE;
}

void GtkNativeWindow::SetAccessibleWindow(Window* window) {
  if (accessible_bridge_ && widget_) accessible_bridge_->Attach(widget_, window);
}

std::unique_ptr<NativeWindow> GtkNativeWindow::CreatePopup() {
  auto popup = std::make_unique<GtkNativeWindow>();
  popup->popup_ = true;
  return popup;
}

void GtkNativeWindow::GrabForPopup(bool take_focus) {
  GdkWindow* window = gtk_widget_get_window(widget_);
  GdkDisplay* display = gtk_widget_get_display(widget_);
  GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
  if (take_focus && window && seat && !grab_seat_) {
    // Not owner events: presses on the owner arrive here too, so they close us.
    const GdkGrabStatus status = gdk_seat_grab(seat, window, GDK_SEAT_CAPABILITY_ALL, FALSE,
                                               nullptr, nullptr, nullptr, nullptr);
    if (status == GDK_GRAB_SUCCESS) grab_seat_ = seat;
  }
  if (!take_focus || has_focus_) return;
  // Without a grab (a desktop that refuses it) the popup still takes the
  // keys it can get; closing then relies on Escape or a choice.
  has_focus_ = true;
  if (im_context_) gtk_im_context_focus_in(im_context_);
  Send(NativeMessageType::kSetFocus, CPoint(-1, -1));
}

void GtkNativeWindow::ReleasePopupGrab() {
  if (!grab_seat_) return;
  gdk_seat_ungrab(grab_seat_);
  grab_seat_ = nullptr;
}

void GtkNativeWindow::LosePopupFocus(CPoint point) {
  ReleasePopupGrab();
  if (!has_focus_) return;
  has_focus_ = false;
  if (im_context_) gtk_im_context_focus_out(im_context_);
  HideToolTip();
  Send(NativeMessageType::kKillFocus, point);
}

void GtkNativeWindow::TakeFocus() {
  if (!widget_) return;
  if (popup_) {
    if (gtk_widget_get_visible(widget_)) GrabForPopup(true);
    return;
  }
  if (!gtk_widget_get_visible(widget_)) return;
  gtk_window_present(GTK_WINDOW(widget_));
  GdkWindow* window = gtk_widget_get_window(widget_);
  // Without a window manager nobody hands out the focus: take it directly.
  if (window) gdk_window_focus(window, gtk_get_current_event_time());
}

void GtkNativeWindow::SetCursor(NativeCursor cursor) {
  cursor_ = cursor;
  if (!widget_) return;
  GdkWindow* window = gtk_widget_get_window(widget_);
  const char* name = CursorName(cursor);
  if (!window || name == cursor_name_) return;
  GdkCursor* shape = gdk_cursor_new_from_name(gtk_widget_get_display(widget_), name);
  gdk_window_set_cursor(window, shape);
  if (shape) g_object_unref(shape);
  cursor_name_ = name;
}

CPoint GtkNativeWindow::GetCursorPos() const {
  if (!widget_) return CPoint(-1, -1);
  GdkWindow* window = gtk_widget_get_window(widget_);
  GdkDisplay* display = gtk_widget_get_display(widget_);
  GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
  GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (!window || !pointer) return CPoint(-1, -1);
  double x = 0;
  double y = 0;
  gdk_window_get_device_position_double(window, pointer, &x, &y, nullptr);
  return ToClient(x, y);
}

void GtkNativeWindow::ShowToolTip(const std::wstring& text, const UiRect& /*rect*/, int max_width) {
  if (!widget_ || text.empty()) {
    HideToolTip();
    return;
  }
  if (!tooltip_) {
    tooltip_ = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_type_hint(GTK_WINDOW(tooltip_), GDK_WINDOW_TYPE_HINT_TOOLTIP);
    gtk_style_context_add_class(gtk_widget_get_style_context(tooltip_), GTK_STYLE_CLASS_TOOLTIP);
    tooltip_label_ = gtk_label_new(nullptr);
    gtk_label_set_line_wrap(GTK_LABEL(tooltip_label_), TRUE);
    gtk_label_set_xalign(GTK_LABEL(tooltip_label_), 0.0f);
    gtk_container_set_border_width(GTK_CONTAINER(tooltip_), 4);
    gtk_container_add(GTK_CONTAINER(tooltip_), tooltip_label_);
    gtk_widget_show(tooltip_label_);
  }
  gtk_window_set_transient_for(GTK_WINDOW(tooltip_), GTK_WINDOW(widget_));
  tooltip_text_ = text;
  GtkLabel* label = GTK_LABEL(tooltip_label_);
  gtk_label_set_text(label, nbase::WideToUTF8(text).c_str());
  // The maximum width wraps longer texts; shorter ones keep their width.
  gtk_widget_set_size_request(tooltip_label_, -1, -1);
  const int scale = GetScaleFactor();
  if (max_width > 0) {
    int natural = 0;
    gtk_label_set_line_wrap(label, FALSE);
    gtk_widget_get_preferred_width(tooltip_label_, nullptr, &natural);
    gtk_label_set_line_wrap(label, TRUE);
    const int limit = std::max(1, max_width / scale);
    if (natural > limit) gtk_widget_set_size_request(tooltip_label_, limit, -1);
  }
  gtk_window_resize(GTK_WINDOW(tooltip_), 1, 1);
  // Below the pointer, as the system places tooltips.
  const UiRect window = GetWindowRect();
  const CPoint cursor = GetCursorPos();
  gtk_window_move(GTK_WINDOW(tooltip_), (window.left + cursor.x) / scale,
                  (window.top + cursor.y) / scale + 20);
  gtk_widget_show(tooltip_);
}

void GtkNativeWindow::HideToolTip() {
  if (tooltip_ && gtk_widget_get_visible(tooltip_)) gtk_widget_hide(tooltip_);
}

bool GtkNativeWindow::IsToolTipVisible() const {
  return tooltip_ && gtk_widget_get_visible(tooltip_);
}

void GtkNativeWindow::PostTask(std::function<void()> task) {
  auto* posted = new PostedTask{std::move(task)};
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        auto* p = static_cast<PostedTask*>(data);
        if (p->task) p->task();
        return G_SOURCE_REMOVE;
      },
      posted, [](gpointer data) { delete static_cast<PostedTask*>(data); });
}

bool GtkNativeWindow::WindowManagerMaximizes() const {
#ifdef GDK_WINDOWING_X11
  GdkScreen* screen = widget_ ? gtk_widget_get_screen(widget_) : nullptr;
  if (screen && GDK_IS_X11_SCREEN(screen)) {
    return gdk_x11_screen_supports_net_wm_hint(
        screen, gdk_atom_intern_static_string("_NET_WM_STATE_MAXIMIZED_VERT"));
  }
#endif
  return true;
}

void GtkNativeWindow::ToggleEmulatedMaximize(bool maximize) {
  if (maximize == emulated_maximized_) return;
  if (maximize) {
    const UiRect work = GetWorkArea();
    if (work.IsRectEmpty()) return;
    restore_rect_ = GetWindowRect();
    emulated_maximized_ = true;
    SetWindowRect(work, true);
  } else {
    emulated_maximized_ = false;
    SetWindowRect(restore_rect_, true);
  }
  Send(NativeMessageType::kSize, CPoint(-1, -1), emulated_maximized_ ? 2 : 0);
}

void GtkNativeWindow::SetShowState(NativeShowState state) {
  if (!widget_) return;
  GtkWindow* window = GTK_WINDOW(widget_);
  switch (state) {
    case NativeShowState::kMinimize:
      gtk_window_iconify(window);
      break;
    case NativeShowState::kMaximize:
      if (WindowManagerMaximizes()) {
        gtk_window_maximize(window);
      } else {
        ToggleEmulatedMaximize(true);
      }
      break;
    case NativeShowState::kRestore:
      if (emulated_maximized_) {
        ToggleEmulatedMaximize(false);
      } else if (window_state_ & GDK_WINDOW_STATE_ICONIFIED) {
        gtk_window_deiconify(window);
      } else {
        gtk_window_unmaximize(window);
      }
      break;
  }
}

void GtkNativeWindow::SetSizeLimits(CSize min_size, CSize max_size) {
  min_size_ = min_size;
  max_size_ = max_size;
  if (!widget_) return;
  const int scale = GetScaleFactor();
  GdkGeometry geometry{};
  int hints = 0;
  if (min_size.cx > 0 || min_size.cy > 0) {
    geometry.min_width = CeilDiv(std::max(1, min_size.cx), scale);
    geometry.min_height = CeilDiv(std::max(1, min_size.cy), scale);
    hints |= GDK_HINT_MIN_SIZE;
  }
  if (max_size.cx > 0 || max_size.cy > 0) {
    geometry.max_width = max_size.cx > 0 ? max_size.cx / scale : G_MAXSHORT;
    geometry.max_height = max_size.cy > 0 ? max_size.cy / scale : G_MAXSHORT;
    hints |= GDK_HINT_MAX_SIZE;
  }
  gtk_window_set_geometry_hints(GTK_WINDOW(widget_), nullptr, hints ? &geometry : nullptr,
                                static_cast<GdkWindowHints>(hints));
}

void GtkNativeWindow::SetRoundCorner(CSize round) {
  round_corner_ = round;
  ApplyShape();
}

// The region CreateRoundRectRgn (0, 0, width + 1, height + 1, cx, cy) covers,
// row by row, in GDK units.
void GtkNativeWindow::ApplyShape() {
  if (!widget_ || !gtk_widget_get_realized(widget_)) return;
  const int scale = GetScaleFactor();
  if (round_corner_.cx <= 0 || round_corner_.cy <= 0 || IsMaximized() || IsMinimized()) {
    gtk_widget_shape_combine_region(widget_, nullptr);
    return;
  }
  const int width = client_size_.cx;
  const int height = client_size_.cy;
  const double rx = std::min(round_corner_.cx, width) / 2.0;
  const double ry = std::min(round_corner_.cy, height) / 2.0;
  cairo_region_t* region = cairo_region_create();
  for (int y = 0; y < height; y += scale) {
    const double row = y + 0.5;
    double inset = 0.0;
    double dy = 0.0;
    if (row < ry) dy = ry - row;
    if (row > height - ry) dy = row - (height - ry);
    if (dy > 0.0) inset = rx - rx * std::sqrt(std::max(0.0, 1.0 - (dy * dy) / (ry * ry)));
    const int left = static_cast<int>(std::lround(inset));
    cairo_rectangle_int_t band{left / scale, y / scale, std::max(1, (width - 2 * left) / scale), 1};
    cairo_region_union_rectangle(region, &band);
  }
  gtk_widget_shape_combine_region(widget_, region);
  cairo_region_destroy(region);
}

void GtkNativeWindow::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (!widget_) return;
  gtk_widget_set_sensitive(widget_, enabled);
  if (!enabled) {
    StopHoverTimer();
    HideToolTip();
  }
}

UiRect GtkNativeWindow::GetWorkArea() const {
  GdkDisplay* display = widget_ ? gtk_widget_get_display(widget_) : gdk_display_get_default();
  if (!display) return UiRect();
  GdkWindow* window = widget_ ? gtk_widget_get_window(widget_) : nullptr;
  GdkMonitor* monitor = window ? gdk_display_get_monitor_at_window(display, window)
                               : gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return UiRect();
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  const int scale = GetScaleFactor();
  return UiRect(area.x * scale, area.y * scale, (area.x + area.width) * scale,
                (area.y + area.height) * scale);
}

bool GtkNativeWindow::CanPlaceItself() const {
  return !IsWayland();
}

void GtkNativeWindow::CenterByDesktop() {
  if (!widget_) return;
  GtkWindow* window = GTK_WINDOW(widget_);
  gtk_window_set_position(window, gtk_window_get_transient_for(window)
                                      ? GTK_WIN_POS_CENTER_ON_PARENT
                                      : GTK_WIN_POS_CENTER);
}

}  // namespace ui
