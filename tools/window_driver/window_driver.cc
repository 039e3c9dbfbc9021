#include "tools/window_driver/window_driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

namespace window_driver {

namespace {

Display* Dpy(void* d) {
  return static_cast<Display*>(d);
}

int Channel(uint32_t rgb, int shift) {
  return static_cast<int>((rgb >> shift) & 0xFF);
}

bool Inside(const Rect& r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Runs argv, returns its standard output and exit status.
bool RunCapture(const std::vector<std::string>& args, std::string* out, int* status) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return false;
  }
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(fds[0], buffer, sizeof(buffer))) > 0)
    out->append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  *status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return true;
}

}  // namespace

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string WineLoader() {
  if (const char* wine = std::getenv("CORVANE_WINE"); wine && *wine) return wine;
  // The 64-bit loader itself: Debian's wrapper adds only a note about 32-bit Wine.
  if (access("/usr/lib/wine/wine64", X_OK) == 0) return "/usr/lib/wine/wine64";
  return "wine";
}

std::string WineFileName(const std::string& unix_path) {
  std::string name = "Z:" + unix_path;
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  return name;
}

std::vector<std::string> Program::Command(const std::vector<std::string>& args) const {
  std::vector<std::string> argv;
  if (under_wine()) argv.push_back(wine);
  argv.push_back(path);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::string Program::FileName(const std::string& unix_path) const {
  return under_wine() ? WineFileName(unix_path) : unix_path;
}

std::optional<Picture> Picture::ReadPng(const std::string& path) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return std::nullopt;
  }
  cairo_surface_flush(s);
  Picture p(cairo_image_surface_get_width(s), cairo_image_surface_get_height(s));
  const unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < p.height_; ++y) {
    for (int x = 0; x < p.width_; ++x) {
      // Premultiplied: a translucent pixel is what it shows over black.
      p.Set(x, y, *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4) & 0xFFFFFFu);
    }
  }
  cairo_surface_destroy(s);
  return p;
}

bool Picture::WritePng(const std::string& path) const {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_, height_);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      *reinterpret_cast<uint32_t*>(data + y * stride + x * 4) = At(x, y);
    }
  }
  cairo_surface_mark_dirty(s);
  const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  return ok;
}

Picture Picture::Crop(const Rect& rect) const {
  const int left = std::max(0, rect.left);
  const int top = std::max(0, rect.top);
  const int right = std::min(width_, rect.right);
  const int bottom = std::min(height_, rect.bottom);
  if (right <= left || bottom <= top) return Picture();
  Picture p(right - left, bottom - top);
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) p.Set(x - left, y - top, At(x, y));
  }
  return p;
}

size_t Picture::DistinctColours() const {
  return std::set<uint32_t>(pixels_.begin(), pixels_.end()).size();
}

namespace {

struct Difference {
  int count = 0;
  int max_channel = 0;
  Rect box{1 << 30, 1 << 30, -1, -1};
};

Difference Compare(const Picture& a, const Picture& b, int tolerance,
                   const std::vector<Rect>& ignore) {
  Difference d;
  if (a.width() != b.width() || a.height() != b.height()) {
    d.count = std::max(a.width() * a.height(), b.width() * b.height());
    d.box = {0, 0, std::max(a.width(), b.width()), std::max(a.height(), b.height())};
    return d;
  }
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      bool skip = false;
      for (const Rect& r : ignore) skip = skip || Inside(r, x, y);
      if (skip) continue;
      const uint32_t p = a.At(x, y);
      const uint32_t q = b.At(x, y);
      int worst = 0;
      for (int shift : {0, 8, 16}) {
        worst = std::max(worst, std::abs(Channel(p, shift) - Channel(q, shift)));
      }
      if (worst <= tolerance) continue;
      ++d.count;
      d.max_channel = std::max(d.max_channel, worst);
      d.box = {std::min(d.box.left, x), std::min(d.box.top, y), std::max(d.box.right, x + 1),
               std::max(d.box.bottom, y + 1)};
    }
  }
  return d;
}

}  // namespace

int CountDiffering(const Picture& a, const Picture& b, int tolerance,
                   const std::vector<Rect>& ignore) {
  return Compare(a, b, tolerance, ignore).count;
}

std::string DescribeDifference(const Picture& a, const Picture& b, int tolerance,
                               const std::vector<Rect>& ignore) {
  const Difference d = Compare(a, b, tolerance, ignore);
  if (d.count == 0) return "no difference";
  return std::to_string(d.count) + " pixels differ within (" + std::to_string(d.box.left) + "," +
         std::to_string(d.box.top) + ")-(" + std::to_string(d.box.right) + "," +
         std::to_string(d.box.bottom) + "), by up to " + std::to_string(d.max_channel) +
         " in a channel; sizes " + std::to_string(a.width()) + "x" + std::to_string(a.height()) +
         " and " + std::to_string(b.width()) + "x" + std::to_string(b.height());
}

std::optional<SkinLayout> SkinLayout::Inspect(const Program& inspector,
                                              const std::vector<std::string>& args,
                                              std::string* error) {
  char png_template[] = "/tmp/window_driver_XXXXXX.png";
  const int fd = mkstemps(png_template, 4);
  if (fd < 0) {
    *error = "no temporary file";
    return std::nullopt;
  }
  close(fd);
  std::vector<std::string> all = {"--png", inspector.FileName(png_template)};
  all.insert(all.end(), args.begin(), args.end());
  const std::vector<std::string> argv = inspector.Command(all);
  std::string out;
  int status = -1;
  bool ran = RunCapture(argv, &out, &status);
  // A busy machine's Wine now and then ends a new process before its entry
  // point, silently: such a run is made once more.
  if (inspector.under_wine() && ran && status != 0 && out.empty()) {
    ran = RunCapture(argv, &out, &status);
  }
  std::optional<Picture> picture = Picture::ReadPng(png_template);
  unlink(png_template);
  if (!ran || status != 0 || !picture) {
    *error = "skin inspector failed (status " + std::to_string(status) + "): " + out;
    return std::nullopt;
  }

  SkinLayout layout;
  layout.picture_ = std::move(*picture);
  layout.width_ = layout.picture_.width();
  layout.height_ = layout.picture_.height();
  std::istringstream lines(out);
  std::string line;
  bool root_seen = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("focus ", 0) == 0) {
      layout.focus_ = line.substr(6);
      continue;
    }
    // Indent, type, "name", (l,t,r,b), visible|hidden.
    const size_t indent = line.find_first_not_of(' ');
    const size_t q1 = line.find('"');
    const size_t q2 = q1 == std::string::npos ? q1 : line.find('"', q1 + 1);
    if (indent == std::string::npos || q2 == std::string::npos) continue;
    Control c;
    c.type = line.substr(indent, q1 - indent - 1);
    c.name = line.substr(q1 + 1, q2 - q1 - 1);
    char state[16] = {};
    if (std::sscanf(line.c_str() + q2 + 1, " (%d,%d,%d,%d) %15s", &c.rect.left, &c.rect.top,
                    &c.rect.right, &c.rect.bottom, state) != 5) {
      continue;
    }
    c.visible = std::strcmp(state, "visible") == 0;
    // The shadow box holds the skin's root as its only child.
    if (indent == 2 && !root_seen) {
      layout.root_ = c.rect;
      root_seen = true;
    }
    layout.controls_.push_back(std::move(c));
  }
  if (!root_seen) {
    *error = "no control tree in the inspector's output: " + out;
    return std::nullopt;
  }
  return layout;
}

std::optional<Rect> SkinLayout::Find(const std::string& name) const {
  std::optional<Rect> first;
  for (const Control& c : controls_) {
    if (c.name != name) continue;
    if (c.visible) return c.rect;
    if (!first) first = c.rect;
  }
  return first;
}

Picture SkinLayout::PictureFor(int client_width, int client_height) const {
  if (client_width == width_ && client_height == height_) return picture_;
  return picture_.Crop(root_);
}

XSession::~XSession() {
  if (display_) XCloseDisplay(Dpy(display_));
}

bool XSession::Open(const std::string& display) {
  display_ = XOpenDisplay(display.empty() ? nullptr : display.c_str());
  if (!display_) return false;
  int event_base = 0;
  int error_base = 0;
  int major = 0;
  int minor = 0;
  return XTestQueryExtension(Dpy(display_), &event_base, &error_base, &major, &minor);
}

std::vector<TopLevel> XSession::TopLevels() {
  std::vector<TopLevel> found;
  Display* d = Dpy(display_);
  const Atom pid_atom = XInternAtom(d, "_NET_WM_PID", False);
  const Atom name_atom = XInternAtom(d, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  Window root_return = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d, DefaultRootWindow(d), &root_return, &parent, &children, &count)) return found;
  // A window may go while it is read: its errors must not end the driver.
  XSync(d, False);
  auto* old_handler = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, children[i], &attributes) || attributes.map_state != IsViewable) {
      continue;
    }
    TopLevel w;
    w.id = children[i];
    w.rect = {attributes.x, attributes.y, attributes.x + attributes.width,
              attributes.y + attributes.height};
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, children[i], pid_atom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data) {
      if (items == 1) w.pid = static_cast<pid_t>(*reinterpret_cast<long*>(data));
      XFree(data);
    }
    data = nullptr;
    if (XGetWindowProperty(d, children[i], name_atom, 0, 1024, False, utf8, &type, &format, &items,
                           &after, &data) == Success &&
        data) {
      w.title.assign(reinterpret_cast<const char*>(data), items);
      XFree(data);
    }
    XClassHint hint{};
    if (XGetClassHint(d, children[i], &hint)) {
      if (hint.res_class) w.wm_class = hint.res_class;
      if (hint.res_name) XFree(hint.res_name);
      if (hint.res_class) XFree(hint.res_class);
    }
    found.push_back(std::move(w));
  }
  XSync(d, False);
  XSetErrorHandler(old_handler);
  if (children) XFree(children);
  return found;
}

std::vector<TopLevel> XSession::WindowsOf(pid_t pid) {
  std::vector<TopLevel> found = TopLevels();
  std::erase_if(found, [pid](const TopLevel& w) { return w.pid != pid; });
  return found;
}

std::vector<TopLevel> XSession::WindowsOfClass(const std::string& wm_class) {
  std::vector<TopLevel> found = TopLevels();
  std::erase_if(found, [&wm_class](const TopLevel& w) { return w.wm_class != wm_class; });
  return found;
}

std::optional<TopLevel> XSession::WaitForWindow(pid_t pid,
                                                const std::function<bool(const TopLevel&)>& match,
                                                int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    for (const TopLevel& w : WindowsOf(pid)) {
      if (match(w)) return w;
    }
    SleepMs(20);
  } while (std::chrono::steady_clock::now() < end);
  return std::nullopt;
}

std::optional<TopLevel> XSession::Refresh(const TopLevel& window) {
  XWindowAttributes attributes;
  Display* d = Dpy(display_);
  XSync(d, False);
  // A window that is gone answers with an error; the handler must not exit.
  auto* old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  const Status ok = XGetWindowAttributes(d, window.id, &attributes);
  XSync(d, False);
  XSetErrorHandler(old);
  if (!ok || attributes.map_state != IsViewable) return std::nullopt;
  TopLevel w = window;
  w.rect = {attributes.x, attributes.y, attributes.x + attributes.width,
            attributes.y + attributes.height};
  return w;
}

void XSession::MoveTo(int x, int y) {
  XTestFakeMotionEvent(Dpy(display_), -1, x, y, CurrentTime);
  XFlush(Dpy(display_));
  SleepMs(40);
}

void XSession::Click(int x, int y) {
  MoveTo(x, y);
  XTestFakeButtonEvent(Dpy(display_), 1, True, CurrentTime);
  XFlush(Dpy(display_));
  SleepMs(40);
  XTestFakeButtonEvent(Dpy(display_), 1, False, CurrentTime);
  XFlush(Dpy(display_));
  SleepMs(40);
}

void XSession::RequestClose(const TopLevel& window) {
  Display* d = Dpy(display_);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window.id;
  event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window.id, False, NoEventMask, &event);
  XFlush(d);
}

void XSession::Key(const std::string& keysym_name, const std::string& modifier) {
  Display* d = Dpy(display_);
  const KeyCode held =
      modifier.empty() ? 0 : XKeysymToKeycode(d, XStringToKeysym(modifier.c_str()));
  const KeyCode code = XKeysymToKeycode(d, XStringToKeysym(keysym_name.c_str()));
  if (held) XTestFakeKeyEvent(d, held, True, CurrentTime);
  XTestFakeKeyEvent(d, code, True, CurrentTime);
  XTestFakeKeyEvent(d, code, False, CurrentTime);
  if (held) XTestFakeKeyEvent(d, held, False, CurrentTime);
  XFlush(d);
  SleepMs(30);
}

void XSession::Type(const std::string& text) {
  Display* d = Dpy(display_);
  const KeyCode shift = XKeysymToKeycode(d, XK_Shift_L);
  for (char c : text) {
    // Latin-1 keysyms are the characters' codes.
    const KeySym sym = static_cast<unsigned char>(c);
    const KeyCode code = XKeysymToKeycode(d, sym);
    if (!code) continue;
    int per_code = 0;
    KeySym* syms = XGetKeyboardMapping(d, code, 1, &per_code);
    const bool shifted = syms && per_code > 1 && syms[0] != sym && syms[1] == sym;
    if (syms) XFree(syms);
    if (shifted) XTestFakeKeyEvent(d, shift, True, CurrentTime);
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    if (shifted) XTestFakeKeyEvent(d, shift, False, CurrentTime);
    XFlush(d);
    SleepMs(15);
  }
}

int XSession::screen_width() const {
  return DisplayWidth(Dpy(display_), DefaultScreen(Dpy(display_)));
}

int XSession::screen_height() const {
  return DisplayHeight(Dpy(display_), DefaultScreen(Dpy(display_)));
}

Picture XSession::Grab(const Rect& rect) {
  Display* d = Dpy(display_);
  XSync(d, False);
  // Only the part on the screen can be read (X refuses the whole request
  // otherwise); the rest of the picture stays black.
  const Rect on_screen{std::max(rect.left, 0), std::max(rect.top, 0),
                       std::min(rect.right, screen_width()),
                       std::min(rect.bottom, screen_height())};
  if (rect.width() <= 0 || rect.height() <= 0) return Picture();
  Picture p(rect.width(), rect.height());
  if (on_screen.width() <= 0 || on_screen.height() <= 0) return p;
  XImage* image = XGetImage(d, DefaultRootWindow(d), on_screen.left, on_screen.top,
                            static_cast<unsigned>(on_screen.width()),
                            static_cast<unsigned>(on_screen.height()), AllPlanes, ZPixmap);
  if (!image) return Picture();
  for (int y = 0; y < on_screen.height(); ++y) {
    for (int x = 0; x < on_screen.width(); ++x) {
      p.Set(x + on_screen.left - rect.left, y + on_screen.top - rect.top,
            static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu);
    }
  }
  XDestroyImage(image);
  return p;
}

void XSession::Park(int settle_ms) {
  MoveTo(screen_width() - 1, screen_height() - 1);
  SleepMs(settle_ms);
}

}  // namespace window_driver
