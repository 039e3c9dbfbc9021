#pragma once

// Builds skin markup into a headless window, as the installer builds its
// windows, so that layout, builder and event tests run on the real tree.

#include <memory>
#include <string>

#include "ui/builder/window_builder.h"
#include "ui/core/box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/native/headless_window.h"
#include "ui/render/linux/render_cairo.h"

namespace ui::testing {

class SkinWindow {
 public:
  // A window of `size` (client pixels) without fade and without a shadow box
  // (the shadow stays attached unless a skin says otherwise); `markup` is a
  // whole skin document, or nothing (then Attach builds the tree later).
  explicit SkinWindow(CSize size = CSize(400, 300)) {
    if (!GlobalManager::GetRenderFactory()) {
      GlobalManager::SetRenderFactory(std::make_unique<RenderFactoryCairo>());
    }
    auto native = std::make_unique<HeadlessWindow>();
    native_ = native.get();
    native->Create(nullptr, L"test", UiRect(0, 0, size.cx, size.cy), false);
    window_ = std::make_unique<Window>();
    window_->SetLayered(false);
    window_->Init(std::move(native));
  }

  // Builds `markup` with this window and makes the result the root.
  Control* Build(const std::wstring& markup, CreateControlCallback callback = {}) {
    WindowBuilder builder;
    Control* root = builder.Build(markup, std::move(callback), window_.get());
    if (root) window_->AttachDialog(root);
    return root;
  }

  // Lays out and paints everything.
  void Layout() { native_->PaintAll(); }

  template <typename T = Control>
  T* Find(const std::wstring& name) const {
    return dynamic_cast<T*>(window_->FindControl(name));
  }
  UiRect Pos(const std::wstring& name) const {
    Control* c = window_->FindControl(name);
    return c ? c->GetPos() : UiRect(-1, -1, -1, -1);
  }

  Window* window() const { return window_.get(); }
  HeadlessWindow* native() const { return native_; }

 private:
  HeadlessWindow* native_ = nullptr;
  std::unique_ptr<Window> window_;
};

// Wraps the body of a window skin.
inline std::wstring WindowSkin(const std::wstring& body) {
  return L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Window>" + body + L"</Window>";
}

}  // namespace ui::testing
