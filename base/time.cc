#include "base/time.h"

#include <mutex>

namespace nbase {
namespace {

struct ClockState {
  std::mutex lock;
  TickTime::MillisecondSource source = &TickTime::SystemMilliseconds;
  bool has_reading = false;
  uint32_t last_reading = 0;
  int64_t wrap_offset_ms = 0;
};

ClockState& Clock() {
  static ClockState* state = new ClockState();  // never destroyed: used until exit
  return *state;
}

}  // namespace

TickTime TickTime::Now() {
  ClockState& clock = Clock();
  std::lock_guard<std::mutex> guard(clock.lock);
  uint32_t reading = clock.source();
  if (clock.has_reading && reading < clock.last_reading) clock.wrap_offset_ms += int64_t{1} << 32;
  clock.last_reading = reading;
  clock.has_reading = true;
  int64_t ms = static_cast<int64_t>(reading) + clock.wrap_offset_ms;
  // Keep 0 free as the null time even when the counter reads 0.
  return TickTime((ms + 1) * 1000);
}

TickTime::MillisecondSource TickTime::SetMillisecondSource(MillisecondSource source) {
  ClockState& clock = Clock();
  std::lock_guard<std::mutex> guard(clock.lock);
  MillisecondSource previous = clock.source;
  clock.source = source ? source : &TickTime::SystemMilliseconds;
  clock.has_reading = false;
  clock.last_reading = 0;
  clock.wrap_offset_ms = 0;
  return previous;
}

}  // namespace nbase
