#include "bench/window_timing.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "desktop_process_support.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

Window AnyViewableTopLevel(Display* display) {
  Window root = 0, parent = 0, found = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned int i = 0; i < count && !found; ++i) {
    XWindowAttributes a;
    if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable &&
        a.width > 50) {
      found = children[i];
    }
  }
  if (children) XFree(children);
  return found;
}

Patch Grab(Display* display, int x, int y, int size) {
  Patch patch;
  XImage* image =
      XGetImage(display, DefaultRootWindow(display), x, y, size, size, AllPlanes, ZPixmap);
  if (!image) return patch;
  for (int r = 0; r < size; ++r)
    for (int c = 0; c < size; ++c) patch.push_back(XGetPixel(image, c, r) & 0xFFFFFF);
  XDestroyImage(image);
  return patch;
}

bool Close(const Patch& a, const Patch& b) {
  if (a.size() != b.size() || a.empty()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    for (int shift : {0, 8, 16}) {
      const int da =
          static_cast<int>((a[i] >> shift) & 0xFF) - static_cast<int>((b[i] >> shift) & 0xFF);
      if (std::abs(da) > 24) return false;
    }
  }
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

double CpuSeconds(const std::string& stat_path) {
  std::ifstream in(stat_path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::vector<std::string> fields;
  std::string field;
  for (char c : text.substr(close + 2)) {
    if (c == ' ') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  // Fields after the name start with the state (3rd field): utime is 14th.
  if (fields.size() < 13) return -1;
  return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) /
         static_cast<double>(sysconf(_SC_CLK_TCK));
}

long StatusField(const std::string& path, const std::string& field) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  }
  return -1;
}

// A 24 × 24 patch in the window's middle, within 24 levels a channel: the
// CPU time, which a loaded machine disturbs less than the wall time, is
// taken over the same 2.5 s.
FirstFrame MeasureFirstFrame(Display* display, const std::vector<std::string>& argv,
                             const std::map<std::string, std::string>& env) {
  FirstFrame figures;
  ui::ChildProcess child;
  const auto t0 = Clock::now();
  if (!child.Start(argv, env)) return figures;
  Window window = 0;
  while (!(window = AnyViewableTopLevel(display))) {
    if (Clock::now() - t0 > std::chrono::seconds(20)) return figures;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  XWindowAttributes a;
  XGetWindowAttributes(display, window, &a);
  Window unused = 0;
  int x = 0, y = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), a.width / 2 - 12,
                        a.height / 2 - 12, &x, &y, &unused);
  std::vector<std::pair<Clock::time_point, Patch>> seen;
  while (Clock::now() - t0 < std::chrono::milliseconds(2500)) {
    seen.emplace_back(Clock::now(), Grab(display, x, y, 24));
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  const Patch settled = Grab(display, x, y, 24);
  const std::string proc = "/proc/" + std::to_string(child.pid());
  figures.cpu_ms = 1000.0 * CpuSeconds(proc + "/stat");
  figures.rss_kb = StatusField(proc + "/status", "VmRSS");
  child.Kill();
  for (const auto& [when, patch] : seen) {
    if (Close(patch, settled)) {
      figures.ms = std::chrono::duration<double, std::milli>(when - t0).count();
      break;
    }
  }
  return figures;
}

}  // namespace bench
