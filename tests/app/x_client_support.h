#pragma once

// Another process's windows on an X server, seen and driven as a user and a
// window manager would: found by title, clicked and typed into with XTest,
// asked to close with WM_DELETE_WINDOW.

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace app_test {

struct XRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// The key presses that type `c` on the server's keymap: the keysym's
// keycode, and whether Shift must be held. Only printable ASCII.
struct XKeyPress {
  unsigned keycode = 0;
  bool shift = false;
};
std::vector<XKeyPress> KeysForText(Display* display, const std::string& text);

class XClient {
 public:
  explicit XClient(const std::string& display_name);
  ~XClient();
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  bool ok() const { return display_ != nullptr; }
  Display* display() const { return display_; }

  // A viewable top-level window titled `title` (_NET_WM_NAME, else WM_NAME),
  // polled for up to `timeout_ms`; 0 when none came.
  Window WaitForWindow(const std::string& title, int timeout_ms);
  bool Viewable(Window window);
  // Root coordinates of the window's area.
  XRect Geometry(Window window);

  void Click(int x, int y);
  void Key(unsigned long keysym);
  void Type(const std::string& text);
  // What a window manager sends when the user closes the window.
  void RequestClose(Window window);

 private:
  std::string TitleOf(Window window);

  Display* display_ = nullptr;
};

}  // namespace app_test
