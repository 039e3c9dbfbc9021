#pragma once

// A program's cold start to its first frame, watched from outside through
// the X server: the first screen grab of the window's middle that shows what
// the window settles on.

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct FirstFrame {
  double ms = -1;         // start to the first frame; -1 when none came
  double mapped_ms = -1;  // start to the window's showing on the screen
  // Start to the first frame that shows the settled picture at any window
  // opacity from a quarter up: a window that fades in shows before `ms`.
  double shown_ms = -1;
  double cpu_ms = -1;      // CPU time in the first 2.5 s
  long frame_rss_kb = -1;  // resident memory when the first frame was shown
  long rss_kb = -1;        // resident memory 2.5 s after the start
  pid_t pid = -1;          // the process measured
  // The program's start-up phases (with CORVANE_STARTUP_TIMING in `env`).
  std::vector<std::pair<std::string, double>> phases;
  // Resident KiB by mapping 2.5 s after the start.
  std::map<std::string, double> mappings;
};

// Starts `argv` with `env` added and watches the first viewable top-level
// window that appears for 2.5 s, then ends the program. The figures are
// those of the process whose command line names `program` (a launcher such
// as Wine's may run it in a process of its own), else of the child.
FirstFrame MeasureFirstFrame(Display* display, const std::vector<std::string>& argv,
                             const std::map<std::string, std::string>& env,
                             const std::string& program = {});

// The process running `program`: `launcher` itself when its command line
// names it, else one of its descendants that does; -1 when none (yet).
pid_t ProcessRunning(pid_t launcher, const std::string& program);

// utime + stime of a process or one of its threads (its /proc stat file), in
// seconds.
double CpuSeconds(const std::string& stat_path);
// A field of a /proc status file, in its own unit; -1 when missing.
long StatusField(const std::string& path, const std::string& field);

double Median(std::vector<double> values);

// Resident KiB per mapped file of a process ("[anon]" for the rest).
std::map<std::string, double> ResidentByMapping(pid_t pid);
// The "startup" lines of a program's standard error (CORVANE_STARTUP_TIMING)
// as milliseconds after `t0`: their bracket carries the steady clock.
std::vector<std::pair<std::string, double>> Phases(const std::string& err,
                                                   std::chrono::steady_clock::time_point t0);

// A viewable top-level window of the screen, or 0.
Window AnyViewableTopLevel(Display* display);
// The colours of a `size` square of the screen at `x`,`y`.
using Patch = std::vector<unsigned long>;
Patch Grab(Display* display, int x, int y, int size);
// Whether two patches show the same picture within anti-aliasing noise.
bool Close(const Patch& a, const Patch& b);
// Whether `seen` is `settled` through a window opacity of at least
// `least_opacity` (over black), within the same noise.
bool Dimmed(const Patch& seen, const Patch& settled, double least_opacity);

}  // namespace bench
