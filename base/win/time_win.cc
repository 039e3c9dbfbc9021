#include <windows.h>

#include "base/time.h"

namespace nbase {

uint32_t TickTime::SystemMilliseconds() {
  // The frequency is fixed at boot; reading it once is enough.
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  // Split so that counter * 1000 cannot overflow however long the uptime.
  const int64_t ms =
      counter.QuadPart / frequency * 1000 + counter.QuadPart % frequency * 1000 / frequency;
  // Truncation is the point: this is a 32-bit counter that wraps.
  return static_cast<uint32_t>(ms);
}

}  // namespace nbase
