#include "bench/window_timing.h"

#include <X11/Xutil.h>
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
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
  // A window of a program that is ending may be gone by the time it is asked
  // about, which Xlib's own handler would make fatal.
  XSync(display, False);
  auto* previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  for (unsigned int i = 0; i < count && !found; ++i) {
    XWindowAttributes a;
    if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable &&
        a.width > 50) {
      found = children[i];
    }
  }
  XSync(display, False);
  XSetErrorHandler(previous);
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

bool Dimmed(const Patch& seen, const Patch& settled, double least_opacity) {
  if (seen.size() != settled.size() || seen.empty()) return false;
  // The opacity that fits best (least squares over every channel).
  double both = 0, settled_only = 0;
  for (size_t i = 0; i < seen.size(); ++i) {
    for (int shift : {0, 8, 16}) {
      const double a = static_cast<double>((seen[i] >> shift) & 0xFF);
      const double b = static_cast<double>((settled[i] >> shift) & 0xFF);
      both += a * b;
      settled_only += b * b;
    }
  }
  if (settled_only == 0) return Close(seen, settled);
  const double opacity = both / settled_only;
  if (opacity < least_opacity) return false;
  for (size_t i = 0; i < seen.size(); ++i) {
    for (int shift : {0, 8, 16}) {
      const double a = static_cast<double>((seen[i] >> shift) & 0xFF);
      const double b = static_cast<double>((settled[i] >> shift) & 0xFF);
      if (std::abs(a - opacity * b) > 24) return false;
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

std::map<std::string, double> ResidentByMapping(pid_t pid) {
  std::map<std::string, double> kb;
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps");
  std::string line, name = "[anon]";
  while (std::getline(in, line)) {
    if (line.rfind("Rss:", 0) == 0) {
      kb[name] += std::atof(line.c_str() + 4);
    } else if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) &&
               line.find('-') < line.find(' ')) {
      // "start-end perms offset dev inode   path": the path is the sixth field.
      size_t at = 0;
      for (int field = 0; field < 5 && at != std::string::npos; ++field) {
        at = line.find_first_not_of(' ', line.find(' ', at));
      }
      name = at == std::string::npos ? "[anon]" : line.substr(at);
      if (name.rfind("[stack", 0) != 0 && name.find('/') != std::string::npos) {
        name = name.substr(name.rfind('/') + 1);
      }
      if (name == "[heap]" || name.rfind("SYSV", 0) == 0) name = "[anon]";
    }
  }
  return kb;
}

// The "startup" lines of a program's standard error, as milliseconds after
// `t0` (their bracket carries the steady clock).
std::vector<std::pair<std::string, double>> Phases(const std::string& err,
                                                   std::chrono::steady_clock::time_point t0) {
  std::vector<std::pair<std::string, double>> phases;
  const double origin = std::chrono::duration<double, std::milli>(t0.time_since_epoch()).count();
  size_t begin = 0;
  while (begin < err.size()) {
    size_t end = err.find('\n', begin);
    if (end == std::string::npos) end = err.size();
    const std::string line = err.substr(begin, end - begin);
    begin = end + 1;
    const size_t clock = line.find("[clock ");
    const size_t close = line.find(')');
    if (line.rfind("startup ", 0) != 0 || clock == std::string::npos ||
        close == std::string::npos) {
      continue;
    }
    std::string name = line.substr(close + 1, clock - close - 1);
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    phases.emplace_back(name, std::atof(line.c_str() + clock + 7) - origin);
  }
  return phases;
}

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

pid_t ParentOf(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  // "pid (name) state ppid ...".
  return close == std::string::npos ? -1 : std::atoi(stat.c_str() + close + 4);
}

bool Names(pid_t pid, const std::string& base) {
  std::string cmdline = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
  std::replace(cmdline.begin(), cmdline.end(), '\\', '/');
  return cmdline.find(base) != std::string::npos;
}

}  // namespace

pid_t ProcessRunning(pid_t launcher, const std::string& program) {
  std::string base = program;
  std::replace(base.begin(), base.end(), '\\', '/');
  base = base.substr(base.rfind('/') + 1);
  if (base.empty() || Names(launcher, base)) return launcher;
  DIR* dir = opendir("/proc");
  if (!dir) return -1;
  pid_t found = -1;
  while (dirent* entry = readdir(dir)) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0 || !Names(pid, base)) continue;
    for (pid_t up = ParentOf(pid); up > 1; up = ParentOf(up)) {
      if (up == launcher) {
        found = pid;
        break;
      }
    }
    if (found > 0) break;
  }
  closedir(dir);
  return found;
}

// A 24 × 24 patch in the window's middle, within 24 levels a channel: the
// CPU time, which a loaded machine disturbs less than the wall time, is
// taken over the same 2.5 s.
FirstFrame MeasureFirstFrame(Display* display, const std::vector<std::string>& argv,
                             const std::map<std::string, std::string>& env,
                             const std::string& program) {
  FirstFrame figures;
  // The last program's window may outlive it for a moment.
  const auto gone = Clock::now() + std::chrono::seconds(5);
  while (AnyViewableTopLevel(display) && Clock::now() < gone) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ui::ChildProcess child;
  const auto t0 = Clock::now();
  if (!child.Start(argv, env)) return figures;
  Window window = 0;
  while (!(window = AnyViewableTopLevel(display))) {
    if (Clock::now() - t0 > std::chrono::seconds(20)) return figures;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  figures.mapped_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  // The window may go as soon as it came (a program that ends, or one whose
  // X window is made anew): then it counts as none.
  XSync(display, False);
  auto* previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  XWindowAttributes a;
  Window unused = 0;
  int x = 0, y = 0;
  const bool placed = XGetWindowAttributes(display, window, &a) &&
                      XTranslateCoordinates(display, window, DefaultRootWindow(display),
                                            a.width / 2 - 12, a.height / 2 - 12, &x, &y, &unused);
  XSync(display, False);
  XSetErrorHandler(previous);
  if (!placed) return figures;
  pid_t pid = ProcessRunning(child.pid(), program);
  struct Seen {
    Clock::time_point when;
    Patch patch;
    long rss_kb;
  };
  std::vector<Seen> seen;
  while (Clock::now() - t0 < std::chrono::milliseconds(2500)) {
    const auto when = Clock::now();
    Patch patch = Grab(display, x, y, 24);
    if (pid <= 0) pid = ProcessRunning(child.pid(), program);
    const long rss =
        pid > 0 ? StatusField("/proc/" + std::to_string(pid) + "/status", "VmRSS") : -1;
    seen.push_back({when, std::move(patch), rss});
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  const Patch settled = Grab(display, x, y, 24);
  if (pid > 0) {
    const std::string proc = "/proc/" + std::to_string(pid);
    figures.pid = pid;
    figures.cpu_ms = 1000.0 * CpuSeconds(proc + "/stat");
    figures.rss_kb = StatusField(proc + "/status", "VmRSS");
    figures.mappings = ResidentByMapping(pid);
    // A process of the launcher's own ends with it only if the launcher waits for it.
    if (pid != child.pid()) kill(pid, SIGTERM);
  }
  for (int i = 0; i < 5; ++i) child.ReadOutput(10);
  child.Kill();
  figures.phases = Phases(child.GetStderr(), t0);
  for (const Seen& frame : seen) {
    if (Dimmed(frame.patch, settled, 0.25)) {
      figures.shown_ms = std::chrono::duration<double, std::milli>(frame.when - t0).count();
      figures.frame_rss_kb = frame.rss_kb;
      break;
    }
  }
  for (const Seen& frame : seen) {
    if (Close(frame.patch, settled)) {
      figures.ms = std::chrono::duration<double, std::milli>(frame.when - t0).count();
      break;
    }
  }
  return figures;
}

}  // namespace bench
