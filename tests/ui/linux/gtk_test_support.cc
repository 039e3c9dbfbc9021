#include "gtk_test_support.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdlib>

#include "base/string_util.h"
#include "desktop_process_support.h"

namespace ui {

bool InitGtkForTest() {
  static const bool ok = [] {
    // A server of its own: tests that run side by side must not share the
    // pointer and the focus.
    static XServer server;
    if (!server.Start()) return false;
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    unsetenv("WAYLAND_DISPLAY");
    // GTK's own input method, whatever the desktop running the tests uses.
    setenv("GTK_IM_MODULE", "gtk-im-context-simple", 1);
    // Without a session bus the accessibility bridge autolaunches one, with an
    // accessibility bus, that outlive the test; the ATK objects work without it.
    setenv("NO_AT_BRIDGE", "1", 0);
    // Settings the desktop's dialogs save (the folder chooser's) stay in this
    // process: no dconf client thread, which ThreadSanitizer cannot see
    // through, and nothing written to the user's database.
    setenv("GSETTINGS_BACKEND", "memory", 1);
    if (!gtk_init_check(nullptr, nullptr)) return false;
    return GDK_IS_X11_DISPLAY(gdk_display_get_default()) != 0;
  }();
  return ok;
}

Display* TestXDisplay() {
  return gdk_x11_display_get_xdisplay(gdk_display_get_default());
}

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return true;
}

void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

void FakeMove(int x, int y) {
  XTestFakeMotionEvent(TestXDisplay(), -1, x, y, CurrentTime);
  XFlush(TestXDisplay());
  PumpFor(30);
}

void FakeButton(unsigned button, bool press) {
  XTestFakeButtonEvent(TestXDisplay(), button, press, CurrentTime);
  XFlush(TestXDisplay());
  PumpFor(30);
}

void FakeClick(int x, int y, unsigned button) {
  FakeMove(x, y);
  FakeButton(button, true);
  FakeButton(button, false);
}

void FakeKey(unsigned long keysym, bool press) {
  Display* display = TestXDisplay();
  const KeyCode code = XKeysymToKeycode(display, keysym);
  XTestFakeKeyEvent(display, code, press, CurrentTime);
  XFlush(display);
  PumpFor(20);
}

void FakeType(const std::string& text) {
  for (char c : text) {
    // Letters and digits are their own keysym names; a blank is not.
    const std::string name(1, c);
    const KeySym sym = c == ' ' ? XK_space : XStringToKeysym(name.c_str());
    FakeKey(sym, true);
    FakeKey(sym, false);
  }
}

std::vector<uint32_t> GrabScreen(Display* display, int x, int y, int width, int height) {
  std::vector<uint32_t> pixels;
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return pixels;
  pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      pixels.push_back(static_cast<uint32_t>(XGetPixel(image, col, row)) & 0xFFFFFFu);
    }
  }
  XDestroyImage(image);
  return pixels;
}

CPoint MarkupWindow::ToScreen(CPoint point) const {
  const UiRect r = GetNativeWindow()->GetWindowRect();
  return CPoint(r.left + point.x, r.top + point.y);
}

bool MarkupWindow::ShowAt(int x, int y, bool take_focus) {
  NativeWindow* native = GetNativeWindow();
  const UiRect r = native->GetWindowRect();
  native->SetWindowRect(UiRect(x, y, x + r.GetWidth(), y + r.GetHeight()), false);
  ShowWindow(true, take_focus);
  return PumpUntil([this, x, y] {
    const UiRect now = GetNativeWindow()->GetWindowRect();
    return laid_out && gtk()->GetDrawCount() > 0 && now.left == x && now.top == y;
  });
}

}  // namespace ui
