#pragma once

// The UI thread's native events for tests that wait for timers or posted
// work of the desktop (the GLib main context on Linux, the thread's message
// queue on Windows).

#include <functional>

namespace ui::testing {

// Dispatches native events until `done` holds or `timeout_ms` passed;
// returns `done`'s last answer.
bool PumpNativeEventsUntil(const std::function<bool()>& done, int timeout_ms = 3000);

}  // namespace ui::testing
