#include "base/startup_timing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace nbase {

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
  bool enabled = std::getenv("CORVANE_STARTUP_TIMING") != nullptr;
  std::mutex lock;
  bool started = false;
  Clock::time_point first;
  Clock::time_point last;
};

Timing& GetTiming() {
  static Timing* timing = new Timing();
  return *timing;
}

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

bool StartupTiming::Enabled() {
  return GetTiming().enabled;
}

void StartupTiming::Mark(const char* phase) {
  Timing& timing = GetTiming();
  if (!timing.enabled) return;
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> hold(timing.lock);
  if (!timing.started) {
    timing.started = true;
    timing.first = timing.last = now;
  }
  std::fprintf(stderr, "startup %8.2f ms  (+%.2f)  %-30s [clock %.3f ms]\n",
               Milliseconds(now - timing.first), Milliseconds(now - timing.last), phase,
               Milliseconds(now.time_since_epoch()));
  std::fflush(stderr);
  timing.last = now;
}

void StartupTiming::MarkOnce(const char* phase, bool* done) {
  if (!GetTiming().enabled || *done) return;
  *done = true;
  Mark(phase);
}

}  // namespace nbase
