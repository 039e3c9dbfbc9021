#pragma once

#include <deque>
#include <mutex>

#include "base/callback.h"

namespace nbase {

// Process-wide list of clean-up callbacks. Nothing is registered anywhere
// unless an owner creates one (normally at the top of main); it then runs
// the callbacks, last registered first, when it is destroyed. Without an
// owner, registered callbacks are dropped unrun.
class AtExitManager {
 public:
  using Callback = void (*)(void*);

  AtExitManager();
  ~AtExitManager();
  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;

  // Thread-safe. Returns whether an owner was there to take the callback.
  static bool RegisterCallback(Callback callback, void* param);
  // Runs and clears the callbacks registered so far.
  static void ProcessCallbacksNow();

 private:
  std::mutex lock_;
  std::deque<Closure> stack_;
  AtExitManager* previous_;
};

}  // namespace nbase
