#include "tests/app/x_client_support.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <thread>

namespace app_test {

std::vector<XKeyPress> KeysForText(Display* display, const std::string& text) {
  std::vector<XKeyPress> keys;
  for (unsigned char c : text) {
    // Printable ASCII keysyms are the characters' own codes.
    const KeySym sym = static_cast<KeySym>(c);
    const KeyCode code = XKeysymToKeycode(display, sym);
    if (code == 0) continue;
    const bool plain = XkbKeycodeToKeysym(display, code, 0, 0) == sym;
    keys.push_back({code, !plain});
  }
  return keys;
}

XClient::XClient(const std::string& display_name) {
  display_ = XOpenDisplay(display_name.c_str());
}

XClient::~XClient() {
  if (display_) XCloseDisplay(display_);
}

std::string XClient::TitleOf(Window window) {
  const Atom net_name = XInternAtom(display_, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display_, window, net_name, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data) {
    title.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
    if (!title.empty()) return title;
  }
  char* name = nullptr;
  if (XFetchName(display_, window, &name) && name) {
    title = name;
    XFree(name);
  }
  return title;
}

bool XClient::Viewable(Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
}

Window XClient::WaitForWindow(const std::string& title, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    Window root_return = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display_, DefaultRootWindow(display_), &root_return, &parent, &children,
                   &count)) {
      for (unsigned int i = 0; i < count && !found; ++i) {
        if (Viewable(children[i]) && TitleOf(children[i]) == title) found = children[i];
      }
      if (children) XFree(children);
    }
    if (found) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < end);
  return 0;
}

XRect XClient::Geometry(Window window) {
  XWindowAttributes attributes;
  XRect rect;
  if (!XGetWindowAttributes(display_, window, &attributes)) return rect;
  Window child = 0;
  XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &rect.x, &rect.y,
                        &child);
  rect.width = attributes.width;
  rect.height = attributes.height;
  return rect;
}

void XClient::Click(int x, int y) {
  XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(display_, 1, True, 30);
  XTestFakeButtonEvent(display_, 1, False, 30);
  XSync(display_, False);
}

void XClient::Key(unsigned long keysym) {
  const KeyCode code = XKeysymToKeycode(display_, keysym);
  XTestFakeKeyEvent(display_, code, True, 10);
  XTestFakeKeyEvent(display_, code, False, 10);
  XSync(display_, False);
}

void XClient::Type(const std::string& text) {
  const KeyCode shift = XKeysymToKeycode(display_, XK_Shift_L);
  for (const XKeyPress& key : KeysForText(display_, text)) {
    if (key.shift) XTestFakeKeyEvent(display_, shift, True, 10);
    XTestFakeKeyEvent(display_, key.keycode, True, 10);
    XTestFakeKeyEvent(display_, key.keycode, False, 10);
    if (key.shift) XTestFakeKeyEvent(display_, shift, False, 10);
  }
  XSync(display_, False);
}

void XClient::RequestClose(Window window) {
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XSync(display_, False);
}

}  // namespace app_test
