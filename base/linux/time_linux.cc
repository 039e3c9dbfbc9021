#include <time.h>

#include "base/time.h"

namespace nbase {

uint32_t TickTime::SystemMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  // Truncation is the point: this is a 32-bit counter that wraps.
  return static_cast<uint32_t>(ms);
}

}  // namespace nbase
