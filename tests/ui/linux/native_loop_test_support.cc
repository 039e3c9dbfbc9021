#include <glib.h>

#include <chrono>
#include <thread>

#include "tests/ui/native_loop_test_support.h"

namespace ui::testing {

bool PumpNativeEventsUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return true;
}

}  // namespace ui::testing
