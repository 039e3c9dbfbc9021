#include "ui/native/accessible_bridge.h"

#include <atomic>

namespace ui {

namespace {

std::atomic<AccessibleBridge*> g_bridge{nullptr};

}  // namespace

void SetAccessibleBridge(AccessibleBridge* bridge) {
  g_bridge.store(bridge);
}

AccessibleBridge* GetAccessibleBridge() {
  return g_bridge.load();
}

}  // namespace ui
