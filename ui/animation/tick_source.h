#pragma once

// What the timer service needs of the UI thread's loop: one repeating
// wake-up whose period it changes as its work comes nearer or goes away.

#include <functional>
#include <memory>

namespace ui {

class TickSource {
 public:
  virtual ~TickSource() = default;
  // Calls `tick` every `interval_ms` (counted from each call) on the thread
  // that made the source, until Stop or the next Start, which replaces the
  // period and the callback. `tick` may itself Start or Stop the source.
  virtual void Start(int interval_ms, std::function<void()> tick) = 0;
  virtual void Stop() = 0;
};

// A source on the calling thread's UI loop: a GLib timeout on its main
// context on Linux, a window timer on Windows.
std::unique_ptr<TickSource> CreateTickSource();

}  // namespace ui
