#pragma once

// A program's cold start to its first frame, watched from outside through
// the X server: the first screen grab of the window's middle that shows what
// the window settles on.

#include <X11/Xlib.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

struct FirstFrame {
  double ms = -1;      // start to the first frame; -1 when none came
  double cpu_ms = -1;  // CPU time in the first 2.5 s
  long rss_kb = -1;    // resident memory 2.5 s after the start (after the first frame)
};

// Starts `argv` with `env` added and watches the first viewable top-level
// window that appears for 2.5 s, then ends the program.
FirstFrame MeasureFirstFrame(Display* display, const std::vector<std::string>& argv,
                             const std::map<std::string, std::string>& env);

// utime + stime of a process or one of its threads (its /proc stat file), in
// seconds.
double CpuSeconds(const std::string& stat_path);
// A field of a /proc status file, in its own unit; -1 when missing.
long StatusField(const std::string& path, const std::string& field);

double Median(std::vector<double> values);

// A viewable top-level window of the screen, or 0.
Window AnyViewableTopLevel(Display* display);
// The colours of a `size` square of the screen at `x`,`y`.
using Patch = std::vector<unsigned long>;
Patch Grab(Display* display, int x, int y, int size);
// Whether two patches show the same picture within anti-aliasing noise.
bool Close(const Patch& a, const Patch& b);

}  // namespace bench
