#include "app/system/termination_cleanup.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace corvane {

namespace {

constexpr int kSlots = 4;
constexpr int kSignals[] = {SIGTERM, SIGINT};

// The handler reads only these: lock-free flags and fixed buffers.
struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<bool> armed{false};
  char path[PATH_MAX] = {};
};
Slot g_slots[kSlots];
struct sigaction g_previous[NSIG];

void UnlinkArmed() {
  for (Slot& slot : g_slots) {
    if (slot.armed.load()) unlink(slot.path);
  }
}

void OnTerminationSignal(int signal_number, siginfo_t* info, void* context) {
  const int saved_errno = errno;
  UnlinkArmed();
  const struct sigaction& previous = g_previous[signal_number];
  if (previous.sa_flags & SA_SIGINFO) {
    previous.sa_sigaction(signal_number, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal_number);
  } else {
    // The default action, delivered once this handler returns.
    sigaction(signal_number, &previous, nullptr);
    raise(signal_number);
  }
  errno = saved_errno;
}

void InstallHandlersOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int signal_number : kSignals) {
      struct sigaction previous;
      if (sigaction(signal_number, nullptr, &previous) != 0) continue;
      // An ignored signal ends nothing, so there is nothing to clean up.
      if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN) continue;
      g_previous[signal_number] = previous;
      struct sigaction action = {};
      action.sa_sigaction = OnTerminationSignal;
      action.sa_flags = SA_SIGINFO | SA_RESTART;
      sigemptyset(&action.sa_mask);
      for (int other : kSignals) sigaddset(&action.sa_mask, other);
      sigaction(signal_number, &action, nullptr);
    }
  });
}

}  // namespace

RemoveOnTermination::RemoveOnTermination(const std::string& path) {
  if (path.empty() || path.size() >= PATH_MAX) return;
  InstallHandlersOnce();
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!g_slots[i].taken.compare_exchange_strong(expected, true)) continue;
    std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
    g_slots[i].armed.store(true);
    slot_ = i;
    return;
  }
}

RemoveOnTermination::~RemoveOnTermination() {
  if (slot_ < 0) return;
  g_slots[slot_].armed.store(false);
  g_slots[slot_].taken.store(false);
}

void RemoveGuardedFiles() {
  UnlinkArmed();
}

}  // namespace corvane
