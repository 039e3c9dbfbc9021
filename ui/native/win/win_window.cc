#include "ui/native/win/win_window.h"

#include <commctrl.h>
#include <imm.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "base/startup_timing.h"
#include "ui/native/accessible_bridge.h"
#include "ui/native/key_codes.h"
#include "ui/native/win/thread_window.h"
#include "ui/render/pixel_image.h"

namespace ui {

namespace {

// A private paint request of a layered window, at most one in the queue.
constexpr UINT kPaintMessage = WM_APP + 0x102;
constexpr int kToolTipOffsetY = 20;

// Windows are presented on the UI thread only.
void MarkFirstFrame() {
  static bool first_frame = false;
  nbase::StartupTiming::MarkOnce("first frame painted", &first_frame);
}

// The signed coordinates of a mouse message (windowsx.h's, whose other
// macros clash with our names).
int XOf(LPARAM l_param) {
  return static_cast<short>(LOWORD(l_param));
}
int YOf(LPARAM l_param) {
  return static_cast<short>(HIWORD(l_param));
}

void RegisterClasses(WNDPROC procedure) {
  static std::once_flag registered;
  std::call_once(registered, [procedure] {
    for (const wchar_t* name : {WinNativeWindow::kWindowClass, WinNativeWindow::kPopupClass}) {
      WNDCLASSEXW window_class = {};
      window_class.cbSize = sizeof(window_class);
      window_class.style = CS_DBLCLKS;
      window_class.lpfnWndProc = procedure;
      window_class.hInstance = GetUiModule();
      window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
      window_class.lpszClassName = name;
      ::RegisterClassExW(&window_class);
    }
  });
}

// comctl32 loads here, on the first tooltip, rather than with the program.
void RegisterToolTipClass() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
  });
}

RECT ToRect(const UiRect& rect) {
  return RECT{rect.left, rect.top, rect.right, rect.bottom};
}

UiRect FromRect(const RECT& rect) {
  return UiRect(rect.left, rect.top, rect.right, rect.bottom);
}

// The held modifiers, where key and wheel messages carry them.
intptr_t KeyModifiers() {
  intptr_t param = 0;
  if (::GetKeyState(VK_SHIFT) < 0) param |= kKeyStateShift;
  if (::GetKeyState(VK_CONTROL) < 0) param |= kKeyStateControl;
  if (::GetKeyState(VK_MENU) < 0) param |= kKeyStateAlt;
  return param;
}

// The MK_ bits of a mouse message are the window core's own mouse state bits.
intptr_t MouseState(WPARAM w_param) {
  return static_cast<intptr_t>(w_param & (MK_LBUTTON | MK_RBUTTON | MK_SHIFT | MK_CONTROL));
}

const wchar_t* CursorResource(NativeCursor cursor) {
  switch (cursor) {
    case NativeCursor::kHand:
      return IDC_HAND;
    case NativeCursor::kIBeam:
      return IDC_IBEAM;
    case NativeCursor::kSizeWE:
      return IDC_SIZEWE;
    case NativeCursor::kSizeNS:
      return IDC_SIZENS;
    case NativeCursor::kWait:
      return IDC_WAIT;
    case NativeCursor::kArrow:
      break;
  }
  return IDC_ARROW;
}

LRESULT HitTestCode(NativeHitTest hit) {
  switch (hit) {
    case NativeHitTest::kCaption:
      return HTCAPTION;
    case NativeHitTest::kLeft:
      return HTLEFT;
    case NativeHitTest::kRight:
      return HTRIGHT;
    case NativeHitTest::kTop:
      return HTTOP;
    case NativeHitTest::kTopLeft:
      return HTTOPLEFT;
    case NativeHitTest::kTopRight:
      return HTTOPRIGHT;
    case NativeHitTest::kBottom:
      return HTBOTTOM;
    case NativeHitTest::kBottomLeft:
      return HTBOTTOMLEFT;
    case NativeHitTest::kBottomRight:
      return HTBOTTOMRIGHT;
    case NativeHitTest::kClient:
      break;
  }
  return HTCLIENT;
}

std::wstring ImeString(HIMC context, DWORD kind) {
  const LONG bytes = ::ImmGetCompositionStringW(context, kind, nullptr, 0);
  if (bytes <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(bytes) / sizeof(wchar_t), L'\0');
  ::ImmGetCompositionStringW(context, kind, text.data(), static_cast<DWORD>(bytes));
  return text;
}

}  // namespace

WinNativeWindow::WinNativeWindow() : alive_(std::make_shared<bool>(true)) {}

WinNativeWindow::~WinNativeWindow() {
  delegate_ = nullptr;
  if (hwnd_) {
    HWND hwnd = hwnd_;
    hwnd_ = nullptr;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (accessible_bridge_) accessible_bridge_->Attach(hwnd, nullptr);
    if (::GetCapture() == hwnd) ::ReleaseCapture();
    // The tooltip is owned by the window and goes with it.
    ::DestroyWindow(hwnd);
  }
  tooltip_ = nullptr;
  ReleaseSurface();
}

bool WinNativeWindow::Create(NativeWindow* owner, const std::wstring& title, const UiRect& rect,
                             bool layered) {
  if (hwnd_) return false;
  RegisterClasses(&WinNativeWindow::WindowProc);
  owner_ = NativeWindowRef(owner);
  layered_ = layered;
  auto* win_owner = dynamic_cast<WinNativeWindow*>(owner);
  HWND owner_hwnd = win_owner ? win_owner->GetHwnd() : nullptr;
  // Borderless: the skin draws everything, the hit test gives the frame's
  // behaviour. The system menu, the boxes and the sizing frame (which takes
  // no room, see WM_NCCALCSIZE) keep the system's commands: the taskbar's,
  // maximising, and sizing by the borders the hit test reports.
  DWORD style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  DWORD ex_style = layered ? WS_EX_LAYERED : 0;
  if (popup_) {
    ex_style |= WS_EX_TOOLWINDOW;
  } else {
    style |= WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
  }
  const int width = std::max(1, rect.GetWidth());
  const int height = std::max(1, rect.GetHeight());
  HWND hwnd = ::CreateWindowExW(ex_style, popup_ ? kPopupClass : kWindowClass, title.c_str(), style,
                                rect.left, rect.top, width, height, owner_hwnd, nullptr,
                                GetUiModule(), this);
  if (!hwnd) {
    hwnd_ = nullptr;
    return false;
  }
  accessible_bridge_ = GetAccessibleBridge();
  if (accessible_bridge_ && accessible_window_)
    accessible_bridge_->Attach(hwnd, accessible_window_);
  // The frame styles took no room: the client is the whole window.
  ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client;
  ::GetClientRect(hwnd, &client);
  client_size_ = CSize(client.right - client.left, client.bottom - client.top);
  return true;
}

void WinNativeWindow::Close() {
  if (!hwnd_) return;
  ::SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void WinNativeWindow::Destroy() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

void WinNativeWindow::Show(bool show, bool take_focus) {
  if (!hwnd_) return;
  if (!show) {
    HideToolTip();
    if (popup_ && popup_focus_) {
      std::weak_ptr<bool> alive = alive_;
      LosePopupFocus(CPoint(-1, -1));
      if (alive.expired() || !hwnd_) return;
    }
    ::ShowWindow(hwnd_, SW_HIDE);
    return;
  }
  ::ShowWindow(hwnd_, take_focus ? SW_SHOW : SW_SHOWNA);
  if (!take_focus) return;
  if (popup_) {
    ::SetFocus(hwnd_);
    HoldPopupCapture();
  } else {
    ::SetForegroundWindow(hwnd_);
    ::SetFocus(hwnd_);
  }
}

bool WinNativeWindow::IsVisible() const {
  return hwnd_ && ::IsWindowVisible(hwnd_);
}

bool WinNativeWindow::IsMinimized() const {
  return hwnd_ && ::IsIconic(hwnd_);
}

bool WinNativeWindow::IsMaximized() const {
  return hwnd_ && ::IsZoomed(hwnd_);
}

UiRect WinNativeWindow::GetWindowRect() const {
  RECT rect;
  if (!hwnd_ || !::GetWindowRect(hwnd_, &rect)) return UiRect();
  return FromRect(rect);
}

CSize WinNativeWindow::GetClientSize() const {
  return hwnd_ ? client_size_ : CSize();
}

void WinNativeWindow::SetWindowRect(const UiRect& rect, bool repaint) {
  if (!hwnd_) return;
  const int width = std::max(1, rect.GetWidth());
  const int height = std::max(1, rect.GetHeight());
  // WM_SIZE tells the delegate before this returns, as the core expects.
  ::SetWindowPos(hwnd_, nullptr, rect.left, rect.top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
  if (repaint && hwnd_) Invalidate(UiRect(0, 0, client_size_.cx, client_size_.cy));
}

void WinNativeWindow::SetTitle(const std::wstring& title) {
  if (hwnd_) ::SetWindowTextW(hwnd_, title.c_str());
}

void WinNativeWindow::SetOpacity(uint8_t alpha) {
  if (opacity_ == alpha) return;
  opacity_ = alpha;
  // The constant alpha is part of every push; the pixels stay as they are.
  if (hwnd_ && layered_ && (surface_dc_ || direct_dc_)) {
    PushLayered(UiRect(0, 0, client_size_.cx, client_size_.cy));
  }
}

void WinNativeWindow::Invalidate(const UiRect& rect) {
  if (!hwnd_) return;
  UiRect area = rect;
  if (!area.Intersect(UiRect(0, 0, client_size_.cx, client_size_.cy))) return;
  if (!layered_) {
    const RECT r = ToRect(area);
    ::InvalidateRect(hwnd_, &r, FALSE);
    return;
  }
  // The system sends a layered window no paint messages of its own.
  dirty_.Union(area);
  if (!paint_posted_) paint_posted_ = ::PostMessageW(hwnd_, kPaintMessage, 0, 0) != FALSE;
}

void WinNativeWindow::PaintPending() {
  paint_posted_ = false;
  if (!hwnd_ || dirty_.IsRectEmpty()) return;
  // A minimised window keeps its debt until it is restored.
  if (::IsIconic(hwnd_)) return;
  const UiRect area = dirty_;
  dirty_.Clear();
  in_paint_ = true;
  std::weak_ptr<bool> alive = alive_;
  if (delegate_) delegate_->OnNativePaint(area);
  if (!alive.expired()) in_paint_ = false;
}

void WinNativeWindow::OnPaintMessage() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(hwnd_, &paint);
  UiRect area = FromRect(paint.rcPaint);
  std::weak_ptr<bool> alive = alive_;
  if (dc && area.Intersect(UiRect(0, 0, client_size_.cx, client_size_.cy))) {
    paint_dc_ = dc;
    in_paint_ = true;
    if (delegate_) delegate_->OnNativePaint(area);
    if (alive.expired()) return;
    in_paint_ = false;
    paint_dc_ = nullptr;
    if (hwnd_ && surface_dc_) {
      ::BitBlt(dc, area.left, area.top, area.GetWidth(), area.GetHeight(), surface_dc_, area.left,
               area.top, SRCCOPY);
      ++present_count_;
      MarkFirstFrame();
      last_present_rect_ = area;
    }
  }
  if (hwnd_) ::EndPaint(hwnd_, &paint);
}

void WinNativeWindow::Present(IRenderContext* context, const UiRect& area) {
  if (PresentDirect(context, area)) return;
  direct_dc_ = nullptr;
  PresentImage(ContextPixels(context), area);
}

bool WinNativeWindow::PresentDirect(IRenderContext* context, const UiRect& area) {
  if (!hwnd_ || !layered_ || (round_corner_.cx > 0 && round_corner_.cy > 0)) return false;
  CSize size;
  HDC dc = ContextDc(context, &size);
  if (!dc || size != client_size_) return false;
  UiRect push = area;
  if (!push.Intersect(UiRect(0, 0, client_size_.cx, client_size_.cy))) return true;
  // A window copy of the pixels (a megabyte at 600 x 400) is not needed.
  ReleaseSurface();
  direct_dc_ = dc;
  direct_size_ = client_size_;
  PushLayered(push);
  return true;
}

void WinNativeWindow::PresentImage(const PixelImage* image, const UiRect& area) {
  if (!hwnd_) return;
  const UiRect client(0, 0, client_size_.cx, client_size_.cy);
  UiRect copy = area;
  if (!copy.Intersect(client)) return;
  direct_dc_ = nullptr;
  const bool fresh = EnsureSurface(client_size_);
  if (!surface_bits_) return;
  // A new surface holds nothing yet: all of the image goes in.
  if (fresh) copy = client;
  const int stride = surface_size_.cx * 4;
  for (int y = copy.top; y < copy.bottom; ++y) {
    uint8_t* row = surface_bits_ + static_cast<size_t>(y) * stride;
    const int from = copy.left;
    int to = copy.right;
    // Pixels the image does not have show as transparent.
    if (image && y < image->GetHeight()) {
      const int have = std::min(to, image->GetWidth());
      if (have > from) {
        std::memcpy(row + from * 4, image->GetRow(y) + from * 4,
                    static_cast<size_t>(have - from) * 4);
      }
      if (have < to) {
        std::memset(row + std::max(from, have) * 4, 0,
                    static_cast<size_t>(to - std::max(from, have)) * 4);
      }
    } else {
      std::memset(row + from * 4, 0, static_cast<size_t>(to - from) * 4);
    }
  }
  if (layered_) {
    CutCorners(copy);
    PushLayered(copy);
    return;
  }
  // Inside WM_PAINT the copy follows; otherwise ask for one.
  if (!paint_dc_) {
    const RECT r = ToRect(copy);
    ::InvalidateRect(hwnd_, &r, FALSE);
  }
}

void WinNativeWindow::PushLayered(const UiRect& dirty) {
  HDC source_dc = direct_dc_ ? direct_dc_ : surface_dc_;
  if (!hwnd_ || !source_dc) return;
  const CSize pixels = direct_dc_ ? direct_size_ : surface_size_;
  POINT source = {0, 0};
  SIZE size = {pixels.cx, pixels.cy};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, opacity_, AC_SRC_ALPHA};
  RECT dirty_rect = ToRect(dirty);
  UPDATELAYEREDWINDOWINFO info = {};
  info.cbSize = sizeof(info);
  info.hdcSrc = source_dc;
  info.pptSrc = &source;
  info.psize = &size;
  info.pblend = &blend;
  info.dwFlags = ULW_ALPHA;
  info.prcDirty = &dirty_rect;
  if (!::UpdateLayeredWindowIndirect(hwnd_, &info)) {
    // Some systems refuse a dirty rect; the whole surface always goes.
    info.prcDirty = nullptr;
    if (!::UpdateLayeredWindowIndirect(hwnd_, &info)) return;
  }
  ++present_count_;
  MarkFirstFrame();
  last_present_rect_ = dirty;
}

bool WinNativeWindow::EnsureSurface(CSize size) {
  if (surface_dc_ && surface_size_ == size) return false;
  ReleaseSurface();
  if (size.cx <= 0 || size.cy <= 0) return false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = -size.cy;  // top-down, as PixelImage rows are
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = ::CreateCompatibleDC(nullptr);
  HBITMAP bitmap = dc ? ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (!bitmap || !bits) {
    if (bitmap) ::DeleteObject(bitmap);
    if (dc) ::DeleteDC(dc);
    return false;
  }
  surface_dc_ = dc;
  surface_bitmap_ = bitmap;
  surface_old_ = ::SelectObject(dc, bitmap);
  surface_bits_ = static_cast<uint8_t*>(bits);
  surface_size_ = size;
  return true;
}

void WinNativeWindow::ReleaseSurface() {
  if (surface_dc_) {
    ::SelectObject(surface_dc_, surface_old_);
    ::DeleteDC(surface_dc_);
  }
  if (surface_bitmap_) ::DeleteObject(surface_bitmap_);
  surface_dc_ = nullptr;
  surface_bitmap_ = nullptr;
  surface_old_ = nullptr;
  surface_bits_ = nullptr;
  surface_size_ = CSize();
  direct_dc_ = nullptr;
}

void WinNativeWindow::SetCapture() {
  capture_ = true;
  if (hwnd_ && !(popup_ && popup_focus_)) ::SetCapture(hwnd_);
}

void WinNativeWindow::ReleaseCapture() {
  capture_ = false;
  // A popup keeps the mouse as long as it has the focus.
  if (popup_ && popup_focus_) return;
  if (hwnd_ && ::GetCapture() == hwnd_) ::ReleaseCapture();
}

bool WinNativeWindow::HasCapture() const {
  if (popup_ && popup_focus_) return capture_;
  return hwnd_ && ::GetCapture() == hwnd_;
}

bool WinNativeWindow::HasPopupCapture() const {
  return popup_ && popup_focus_ && hwnd_ && ::GetCapture() == hwnd_;
}

void WinNativeWindow::HoldPopupCapture() {
  if (!hwnd_ || popup_focus_) return;
  popup_focus_ = true;
  ::SetCapture(hwnd_);
}

void WinNativeWindow::LosePopupFocus(CPoint point) {
  if (!popup_focus_) return;
  popup_focus_ = false;
  capture_ = false;
  if (hwnd_ && ::GetCapture() == hwnd_) ::ReleaseCapture();
  HideToolTip();
  Send(NativeMessageType::kKillFocus, point);
}

void WinNativeWindow::TakeFocus() {
  if (!hwnd_ || !::IsWindowVisible(hwnd_)) return;
  if (!popup_) ::SetForegroundWindow(hwnd_);
  ::SetFocus(hwnd_);
  if (popup_) HoldPopupCapture();
}

bool WinNativeWindow::HasFocus() const {
  if (!hwnd_) return false;
  if (popup_) return popup_focus_;
  return ::GetFocus() == hwnd_;
}

void WinNativeWindow::SetCursor(NativeCursor cursor) {
  cursor_ = cursor;
  ::SetCursor(::LoadCursorW(nullptr, CursorResource(cursor)));
}

CPoint WinNativeWindow::GetCursorPos() const {
  POINT point;
  if (!hwnd_ || !::GetCursorPos(&point)) return CPoint(-1, -1);
  ::ScreenToClient(hwnd_, &point);
  return CPoint(point.x, point.y);
}

void WinNativeWindow::ShowToolTip(const std::wstring& text, const UiRect& rect, int max_width) {
  if (!hwnd_ || text.empty()) {
    HideToolTip();
    return;
  }
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  // Tracked, so that it shows where we say, when we say, on any system.
  tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  tool.hinst = GetUiModule();
  tooltip_text_ = text;
  tool.lpszText = tooltip_text_.data();
  tool.rect = ToRect(rect);
  if (!tooltip_) {
    RegisterToolTipClass();
    tooltip_ =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, GetUiModule(), nullptr);
    if (!tooltip_) return;
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, max_width > 0 ? max_width : -1);
  ::SendMessageW(tooltip_, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool));
  // Below the pointer, as the system places tooltips.
  POINT cursor;
  ::GetCursorPos(&cursor);
  ::SendMessageW(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM(cursor.x, cursor.y + kToolTipOffsetY));
  ::SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void WinNativeWindow::HideToolTip() {
  if (!tooltip_ || !hwnd_) return;
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  ::SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

bool WinNativeWindow::IsToolTipVisible() const {
  return tooltip_ && ::IsWindowVisible(tooltip_);
}

void WinNativeWindow::PostTask(std::function<void()> task) {
  // The thread's queue, not this window's: a task outlives the window that
  // posted it (it is bound weakly to whatever it needs).
  PostThreadTask(std::move(task));
}

void WinNativeWindow::SetShowState(NativeShowState state) {
  if (!hwnd_) return;
  switch (state) {
    case NativeShowState::kMinimize:
      ::ShowWindow(hwnd_, SW_MINIMIZE);
      break;
    case NativeShowState::kMaximize:
      ::ShowWindow(hwnd_, SW_MAXIMIZE);
      break;
    case NativeShowState::kRestore:
      ::ShowWindow(hwnd_, SW_RESTORE);
      break;
  }
}

void WinNativeWindow::SetSizeLimits(CSize min_size, CSize max_size) {
  min_size_ = min_size;
  max_size_ = max_size;
}

void WinNativeWindow::SetRoundCorner(CSize round) {
  if (round == round_corner_) return;
  round_corner_ = round;
  ApplyRegion();
  // A layered window's corners are in its pixels: all of them go out again.
  if (layered_) Invalidate(UiRect(0, 0, client_size_.cx, client_size_.cy));
}

void WinNativeWindow::ApplyRegion() {
  if (!hwnd_ || ::IsIconic(hwnd_)) return;
  // Layered windows cut their corners through the alpha channel instead.
  if (layered_ || round_corner_.cx <= 0 || round_corner_.cy <= 0) {
    ::SetWindowRgn(hwnd_, nullptr, TRUE);
    return;
  }
  HRGN region = ::CreateRoundRectRgn(0, 0, client_size_.cx + 1, client_size_.cy + 1,
                                     round_corner_.cx, round_corner_.cy);
  // The window owns the region from here on.
  if (region && !::SetWindowRgn(hwnd_, region, TRUE)) ::DeleteObject(region);
}

int WinNativeWindow::CornerInset(int y) const {
  const int height = surface_size_.cy;
  const double rx = std::min(round_corner_.cx, surface_size_.cx) / 2.0;
  const double ry = std::min(round_corner_.cy, height) / 2.0;
  if (rx <= 0 || ry <= 0) return 0;
  // The round rect region's outline (an ellipse of the corner's size at
  // each corner), sampled at the middle of the row.
  const double row = y + 0.5;
  double dy = 0.0;
  if (row < ry) dy = ry - row;
  if (row > height - ry) dy = row - (height - ry);
  if (dy <= 0.0) return 0;
  const double inset = rx - rx * std::sqrt(std::max(0.0, 1.0 - (dy * dy) / (ry * ry)));
  return static_cast<int>(std::lround(inset));
}

void WinNativeWindow::CutCorners(const UiRect& rect) {
  if (round_corner_.cx <= 0 || round_corner_.cy <= 0 || !surface_bits_) return;
  const int width = surface_size_.cx;
  const int stride = width * 4;
  for (int y = rect.top; y < rect.bottom; ++y) {
    const int inset = std::min(CornerInset(y), width / 2);
    if (inset <= 0) continue;
    uint8_t* row = surface_bits_ + static_cast<size_t>(y) * stride;
    const int left_end = std::min(inset, rect.right);
    if (rect.left < left_end) {
      std::memset(row + rect.left * 4, 0, static_cast<size_t>(left_end - rect.left) * 4);
    }
    const int right_start = std::max(width - inset, rect.left);
    if (right_start < rect.right) {
      std::memset(row + right_start * 4, 0, static_cast<size_t>(rect.right - right_start) * 4);
    }
  }
}

void WinNativeWindow::SetEnabled(bool enabled) {
  if (!hwnd_) return;
  if (!enabled) HideToolTip();
  ::EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

bool WinNativeWindow::IsEnabled() const {
  return hwnd_ ? ::IsWindowEnabled(hwnd_) != FALSE : true;
}

UiRect WinNativeWindow::GetWorkArea() const {
  HMONITOR monitor = hwnd_ ? ::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST)
                           : ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  if (!monitor || !::GetMonitorInfoW(monitor, &info)) return UiRect();
  return FromRect(info.rcWork);
}

int WinNativeWindow::GetDpi() const {
  // Windows 10 1607 and later know each window's monitor DPI.
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window =
      reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
          ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (hwnd_ && get_dpi_for_window) {
    if (const UINT dpi = get_dpi_for_window(hwnd_)) return static_cast<int>(dpi);
  }
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

void WinNativeWindow::SetCaretRect(const UiRect& rect) {
  ime_caret_rect_ = rect;
  if (!hwnd_) return;
  HIMC context = ::ImmGetContext(hwnd_);
  if (!context) return;
  // The composition window starts at the caret; candidates avoid covering it.
  COMPOSITIONFORM composition = {};
  composition.dwStyle = CFS_POINT;
  composition.ptCurrentPos = POINT{rect.left, rect.top};
  ::ImmSetCompositionWindow(context, &composition);
  CANDIDATEFORM candidate = {};
  candidate.dwIndex = 0;
  candidate.dwStyle = CFS_EXCLUDE;
  candidate.ptCurrentPos = POINT{rect.left, rect.bottom};
  candidate.rcArea = ToRect(rect);
  ::ImmSetCandidateWindow(context, &candidate);
  ::ImmReleaseContext(hwnd_, context);
}

std::unique_ptr<NativeWindow> WinNativeWindow::CreatePopup() {
  auto popup = std::make_unique<WinNativeWindow>();
  popup->popup_ = true;
  return popup;
}

bool WinNativeWindow::Send(NativeMessageType type, CPoint point, intptr_t w_param,
                           intptr_t l_param) {
  if (!delegate_) return false;
  NativeMessage message;
  message.type = type;
  message.point = point;
  message.w_param = w_param;
  message.l_param = l_param;
  return delegate_->OnNativeMessage(message);
}

CPoint WinNativeWindow::ScreenToClientPoint(LPARAM l_param) const {
  POINT point = {XOf(l_param), YOf(l_param)};
  if (hwnd_) ::ScreenToClient(hwnd_, &point);
  return CPoint(point.x, point.y);
}

void WinNativeWindow::TrackMouse(bool hover) {
  if (!hwnd_) return;
  TRACKMOUSEEVENT track = {};
  track.cbSize = sizeof(track);
  track.dwFlags = TME_LEAVE | (hover ? TME_HOVER : 0);
  track.hwndTrack = hwnd_;
  track.dwHoverTime = kDefaultHoverMs;
  if (tooltip_) {
    const LRESULT delay = ::SendMessageW(tooltip_, TTM_GETDELAYTIME, TTDT_INITIAL, 0);
    if (delay > 0) track.dwHoverTime = static_cast<DWORD>(delay);
  }
  if (::TrackMouseEvent(&track)) {
    tracking_leave_ = true;
    tracking_hover_ = hover;
  }
}

LRESULT CALLBACK WinNativeWindow::WindowProc(HWND hwnd, UINT message, WPARAM w_param,
                                             LPARAM l_param) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(l_param);
    auto* self = static_cast<WinNativeWindow*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<WinNativeWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self || self->hwnd_ != hwnd) return ::DefWindowProcW(hwnd, message, w_param, l_param);
  // The handler may delete the object: nothing of it is touched afterwards.
  return self->HandleMessage(message, w_param, l_param);
}

LRESULT WinNativeWindow::HandleMessage(UINT message, WPARAM w_param, LPARAM l_param) {
  HWND hwnd = hwnd_;
  std::weak_ptr<bool> alive = alive_;
  LRESULT result = 0;
  if (OnMouseMessage(message, w_param, l_param)) return 0;
  if (alive.expired()) return 0;
  if (OnKeyMessage(message, w_param, l_param)) return 0;
  if (alive.expired()) return 0;
  if (OnImeMessage(message, w_param, l_param, &result)) return result;
  if (alive.expired()) return 0;
  switch (message) {
    case kPaintMessage:
      PaintPending();
      return 0;
    case WM_PAINT:
      if (layered_) break;
      OnPaintMessage();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_NCCALCSIZE:
      // No frame: the client area is the whole window.
      return 0;
    case WM_NCPAINT:
      return 0;
    case WM_NCACTIVATE:
      // Nothing of a frame to paint; the activation itself goes on.
      if (::IsIconic(hwnd)) break;
      return TRUE;
    case WM_NCHITTEST:
      return OnHitTest(l_param);
    case WM_NCLBUTTONDBLCLK:
      // No maximising by a double click on the caption.
      return 0;
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
      HideToolTip();
      break;
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(l_param));
      return 0;
    case WM_SIZE:
      OnSized(w_param, CSize(LOWORD(l_param), HIWORD(l_param)));
      return 0;
    case WM_SETCURSOR: {
      if (LOWORD(l_param) != HTCLIENT) break;
      // The control under the pointer picks the shape; none gives the arrow.
      if (!Send(NativeMessageType::kSetCursor, GetCursorPos()) && !alive.expired()) {
        SetCursor(NativeCursor::kArrow);
      }
      return TRUE;
    }
    case WM_SETFOCUS:
      Send(NativeMessageType::kSetFocus, CPoint(-1, -1));
      return 0;
    case WM_KILLFOCUS:
      HideToolTip();
      if (popup_) {
        // Another window took the keyboard: the popup's time is over.
        LosePopupFocus(GetCursorPos());
        return 0;
      }
      Send(NativeMessageType::kKillFocus, GetCursorPos());
      return 0;
    case WM_CAPTURECHANGED:
      if (popup_ && popup_focus_ && reinterpret_cast<HWND>(l_param) != hwnd) {
        LosePopupFocus(CPoint(-1, -1));
      }
      return 0;
    case WM_CLOSE:
      HideToolTip();
      if (Send(NativeMessageType::kClose, CPoint(-1, -1))) return 0;
      if (alive.expired()) return 0;
      break;  // the default destroys the window
    case WM_SYSCOMMAND:
      // No menu bar: Alt or F10 alone must not start a menu loop that eats
      // the keys; Alt+Space still opens the system menu.
      if ((w_param & 0xFFF0) == SC_KEYMENU && l_param != L' ') return 0;
      break;
    case WM_DPICHANGED:
      // The window keeps its size in pixels; the core rescales its skin.
      if (delegate_) delegate_->OnNativeDpiChanged(LOWORD(w_param));
      return 0;
    case WM_NCDESTROY:
      OnDestroyed();
      return 0;
    case WM_GETOBJECT: {
      intptr_t answer = 0;
      if (accessible_bridge_ &&
          accessible_bridge_->AnswerAccessibleQuery(hwnd, w_param, l_param, &answer)) {
        return answer;
      }
      break;
    }
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, message, w_param, l_param);
}

bool WinNativeWindow::OnMouseMessage(UINT message, WPARAM w_param, LPARAM l_param) {
  const CPoint point(XOf(l_param), YOf(l_param));
  switch (message) {
    case WM_MOUSEMOVE:
      // Windows repeats a move when nothing moved (a window appearing under
      // the pointer); hover restarts only on a real move.
      if (!tracking_leave_ || (l_param != last_move_ && !tracking_hover_)) {
        TrackMouse(true);
      }
      last_move_ = l_param;
      Send(NativeMessageType::kMouseMove, point, MouseState(w_param));
      return true;
    case WM_MOUSEHOVER:
      tracking_hover_ = false;
      Send(NativeMessageType::kMouseHover, point);
      return true;
    case WM_MOUSELEAVE:
      tracking_leave_ = false;
      tracking_hover_ = false;
      last_move_ = -1;
      HideToolTip();
      Send(NativeMessageType::kMouseLeave, CPoint(-1, -1));
      return true;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK: {
      HideToolTip();
      if (HasPopupCapture() && (point.x < 0 || point.y < 0 || point.x >= client_size_.cx ||
                                point.y >= client_size_.cy)) {
        // The capture brings every press here: one outside the popup takes
        // its focus away, as a click on another window would, and goes
        // nowhere else.
        LosePopupFocus(point);
        return true;
      }
      NativeMessageType type = NativeMessageType::kLeftButtonDown;
      if (message == WM_LBUTTONDBLCLK) type = NativeMessageType::kLeftButtonDoubleClick;
      if (message == WM_RBUTTONDOWN || message == WM_RBUTTONDBLCLK) {
        type = NativeMessageType::kRightButtonDown;
      }
      Send(type, point, MouseState(w_param));
      return true;
    }
    case WM_LBUTTONUP:
      Send(NativeMessageType::kLeftButtonUp, point, MouseState(w_param));
      return true;
    case WM_RBUTTONUP:
      // The default then asks for the context menu.
      Send(NativeMessageType::kRightButtonUp, point, MouseState(w_param));
      return false;
    case WM_CONTEXTMENU: {
      // From the keyboard the point is (-1, -1) on screen: no point then.
      const CPoint at = l_param == -1 ? CPoint(-1, -1) : ScreenToClientPoint(l_param);
      Send(NativeMessageType::kContextMenu, at);
      return true;
    }
    case WM_MOUSEWHEEL:
      Send(NativeMessageType::kMouseWheel, ScreenToClientPoint(l_param),
           GET_WHEEL_DELTA_WPARAM(w_param), KeyModifiers());
      return true;
    default:
      return false;
  }
}

bool WinNativeWindow::OnKeyMessage(UINT message, WPARAM w_param, LPARAM /*l_param*/) {
  switch (message) {
    case WM_KEYDOWN:
      Send(NativeMessageType::kKeyDown, CPoint(-1, -1), static_cast<intptr_t>(w_param),
           KeyModifiers());
      return true;
    case WM_KEYUP:
      Send(NativeMessageType::kKeyUp, CPoint(-1, -1), static_cast<intptr_t>(w_param),
           KeyModifiers());
      return true;
    case WM_SYSKEYDOWN:
      // Alt with a key (and F10); the default keeps Alt+F4 and Alt+Space.
      Send(NativeMessageType::kSysKey, CPoint(-1, -1), static_cast<intptr_t>(w_param),
           KeyModifiers());
      return false;
    case WM_SYSKEYUP:
      Send(NativeMessageType::kKeyUp, CPoint(-1, -1), static_cast<intptr_t>(w_param),
           KeyModifiers());
      return false;
    case WM_CHAR: {
      const auto character = static_cast<wchar_t>(w_param);
      // Control with a key acts through its key down alone (AltGr, which is
      // Control and Alt, types printable characters and passes).
      if (::GetKeyState(VK_CONTROL) < 0 && (character < 0x20 || character == 0x7F)) return true;
      // One UTF-16 unit per message: a character beyond U+FFFF comes as its
      // two surrogates, which the text services join.
      Send(NativeMessageType::kChar, CPoint(-1, -1), character, KeyModifiers());
      return true;
    }
    default:
      return false;
  }
}

bool WinNativeWindow::OnImeMessage(UINT message, WPARAM w_param, LPARAM l_param, LRESULT* result) {
  switch (message) {
    case WM_IME_SETCONTEXT:
      // The field shows the composition inline; the system's composition
      // window stays hidden (candidates still show).
      *result = ::DefWindowProcW(hwnd_, message, w_param, l_param & ~ISC_SHOWUICOMPOSITIONWINDOW);
      return true;
    case WM_IME_STARTCOMPOSITION:
      composing_ = true;
      Send(NativeMessageType::kImeStartComposition, CPoint(-1, -1));
      *result = 0;
      return true;
    case WM_IME_COMPOSITION: {
      *result = 0;
      HIMC context = ::ImmGetContext(hwnd_);
      if (!context) return true;
      std::wstring committed;
      std::wstring composition;
      int cursor = 0;
      if (l_param & GCS_RESULTSTR) committed = ImeString(context, GCS_RESULTSTR);
      if (l_param & GCS_COMPSTR) {
        composition = ImeString(context, GCS_COMPSTR);
        cursor = (l_param & GCS_CURSORPOS)
                     ? ::ImmGetCompositionStringW(context, GCS_CURSORPOS, nullptr, 0)
                     : static_cast<int>(composition.size());
      }
      ::ImmReleaseContext(hwnd_, context);
      std::weak_ptr<bool> alive = alive_;
      if (l_param & GCS_RESULTSTR) {
        // The composed text replaces what was shown, then arrives as typed.
        if (delegate_) delegate_->OnNativeComposition(std::wstring(), 0);
        for (wchar_t character : committed) {
          if (alive.expired() || !hwnd_) return true;
          Send(NativeMessageType::kChar, CPoint(-1, -1), character, 0);
        }
      }
      if (alive.expired() || !hwnd_) return true;
      if ((l_param & GCS_COMPSTR) && delegate_) {
        delegate_->OnNativeComposition(composition,
                                       std::clamp(cursor, 0, static_cast<int>(composition.size())));
      }
      return true;
    }
    case WM_IME_ENDCOMPOSITION: {
      *result = 0;
      if (!composing_) return true;
      composing_ = false;
      std::weak_ptr<bool> alive = alive_;
      if (delegate_) delegate_->OnNativeComposition(std::wstring(), 0);
      if (alive.expired() || !hwnd_) return true;
      Send(NativeMessageType::kImeEndComposition, CPoint(-1, -1));
      return true;
    }
    default:
      return false;
  }
}

LRESULT WinNativeWindow::OnHitTest(LPARAM l_param) {
  if (!delegate_ || popup_) return HTCLIENT;
  const CPoint point = ScreenToClientPoint(l_param);
  return HitTestCode(delegate_->OnNativeHitTest(point));
}

void WinNativeWindow::OnGetMinMaxInfo(MINMAXINFO* info) const {
  // Maximised: the work area of the window's monitor, not the whole screen.
  HMONITOR monitor = ::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST);
  MONITORINFO monitor_info = {};
  monitor_info.cbSize = sizeof(monitor_info);
  if (monitor && ::GetMonitorInfoW(monitor, &monitor_info)) {
    const RECT& work = monitor_info.rcWork;
    const RECT& whole = monitor_info.rcMonitor;
    info->ptMaxPosition = POINT{work.left - whole.left, work.top - whole.top};
    info->ptMaxSize = POINT{work.right - work.left, work.bottom - work.top};
  }
  if (min_size_.cx > 0) info->ptMinTrackSize.x = min_size_.cx;
  if (min_size_.cy > 0) info->ptMinTrackSize.y = min_size_.cy;
  if (max_size_.cx > 0) info->ptMaxTrackSize.x = max_size_.cx;
  if (max_size_.cy > 0) info->ptMaxTrackSize.y = max_size_.cy;
}

void WinNativeWindow::OnSized(WPARAM kind, CSize size) {
  if (kind != SIZE_MINIMIZED) {
    const bool changed = !(size == client_size_);
    client_size_ = size;
    if (changed) ApplyRegion();
  }
  const intptr_t state = kind == SIZE_MINIMIZED ? 1 : (kind == SIZE_MAXIMIZED ? 2 : 0);
  std::weak_ptr<bool> alive = alive_;
  Send(NativeMessageType::kSize, CPoint(-1, -1), state);
  if (alive.expired() || !hwnd_) return;
  // Every size is painted whole: a layered window shows only what is pushed.
  if (kind != SIZE_MINIMIZED) Invalidate(UiRect(0, 0, client_size_.cx, client_size_.cy));
}

void WinNativeWindow::SetAccessibleWindow(Window* window) {
  accessible_window_ = window;
  if (accessible_bridge_ && hwnd_) accessible_bridge_->Attach(hwnd_, window);
}

void WinNativeWindow::OnDestroyed() {
  HWND hwnd = hwnd_;
  hwnd_ = nullptr;
  ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  if (accessible_bridge_) accessible_bridge_->Attach(hwnd, nullptr);
  tooltip_ = nullptr;  // owned windows are gone first
  popup_focus_ = false;
  capture_ = false;
  ReleaseSurface();
  // The delegate may delete this object: nothing may follow.
  if (NativeWindowDelegate* delegate = delegate_) delegate->OnNativeDestroyed();
}

}  // namespace ui
