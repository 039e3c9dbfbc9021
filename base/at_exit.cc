#include "base/at_exit.h"

#include <atomic>
#include <utility>

namespace nbase {
namespace {

std::atomic<AtExitManager*> g_manager{nullptr};

}  // namespace

AtExitManager::AtExitManager() : previous_(g_manager.exchange(this)) {}

AtExitManager::~AtExitManager() {
  ProcessCallbacksNow();
  g_manager.store(previous_);
}

bool AtExitManager::RegisterCallback(Callback callback, void* param) {
  AtExitManager* manager = g_manager.load();
  if (!manager || !callback) return false;
  std::lock_guard<std::mutex> guard(manager->lock_);
  manager->stack_.push_back([callback, param] { callback(param); });
  return true;
}

void AtExitManager::ProcessCallbacksNow() {
  AtExitManager* manager = g_manager.load();
  if (!manager) return;
  for (;;) {
    Closure task;
    {
      std::lock_guard<std::mutex> guard(manager->lock_);
      if (manager->stack_.empty()) return;
      task = std::move(manager->stack_.back());
      manager->stack_.pop_back();
    }
    task();  // outside the lock: a callback may register another
  }
}

}  // namespace nbase
