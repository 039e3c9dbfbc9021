#pragma once

// A window on the headless native window, with the Cairo factory installed,
// for control, window and painting tests.

#include <cstdint>
#include <memory>
#include <string>

#include "ui/core/box.h"
#include "ui/core/control.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/image/image_cache.h"
#include "ui/native/headless_window.h"
#include "ui/render/linux/render_cairo.h"

namespace ui {

inline void InstallTestRenderFactory() {
  if (!GlobalManager::GetRenderFactory()) {
    GlobalManager::SetRenderFactory(std::make_unique<RenderFactoryCairo>());
  }
}

// Counts activations and can send the click, as button-like controls do.
class TestButton : public Control {
 public:
  void Activate() override {
    ++activations;
    if (send_click) SendEvent(kEventClick);
  }
  int activations = 0;
  bool send_click = true;
};

// Records what reaches the default handling of a box.
class RecordingBox : public VBox {
 public:
  void HandleEvent(EventArgs& event) override {
    handled_kinds.push_back(event.type);
    handled_senders.push_back(event.sender);
    VBox::HandleEvent(event);
  }
  std::vector<int32_t> handled_kinds;
  std::vector<Control*> handled_senders;
};

// Sets a flag when destroyed; hung on a control as user data.
class DeathFlag : public UserDataBase {
 public:
  explicit DeathFlag(bool* dead) : dead_(dead) {}
  ~DeathFlag() override { *dead_ = true; }

 private:
  bool* dead_;
};

class HeadlessWindowFixture {
 public:
  explicit HeadlessWindowFixture(CSize size = CSize(200, 100), bool layered = false) {
    InstallTestRenderFactory();
    auto native = std::make_unique<HeadlessWindow>();
    native->Create(nullptr, L"test", UiRect(0, 0, size.cx, size.cy), layered);
    headless_ = native.get();
    window_ = std::make_unique<Window>();
    window_->SetLayered(layered);
    window_->Init(std::move(native));
  }

  Window* window() { return window_.get(); }
  HeadlessWindow* headless() { return headless_; }

  // Attaches `root` and paints once, which lays the tree out.
  template <typename T>
  T* Attach(T* root) {
    window_->AttachDialog(root);
    headless_->PaintAll();
    return root;
  }
  void Paint() { headless_->PaintPending(); }

 private:
  std::unique_ptr<Window> window_;
  HeadlessWindow* headless_ = nullptr;
};

inline uint8_t AlphaOf(uint32_t pixel) {
  return static_cast<uint8_t>(pixel >> 24);
}
inline uint8_t RedOf(uint32_t pixel) {
  return static_cast<uint8_t>(pixel >> 16);
}
inline uint8_t GreenOf(uint32_t pixel) {
  return static_cast<uint8_t>(pixel >> 8);
}
inline uint8_t BlueOf(uint32_t pixel) {
  return static_cast<uint8_t>(pixel);
}

}  // namespace ui
