#pragma once

// The source tree's skins set up for a benchmark: found upwards from the
// binary, with the Cairo render factory, the image loader and the global
// style sheet; and the main window's skin built on a window core.

#include <filesystem>
#include <memory>

#include "base/string_util.h"
#include "ui/builder/window_builder.h"
#include "ui/core/control.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/image/image_cache.h"
#include "ui/render/render.h"

namespace bench {

inline std::filesystem::path FindResources() {
  std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  for (; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
    if (std::filesystem::exists(dir / "resources/themes/default/basic/basic.xml")) {
      return dir / "resources";
    }
  }
  return {};
}

// False when the resources are not found.
inline bool InitSkinResources() {
  const std::filesystem::path resources = FindResources();
  if (resources.empty()) return false;
  ui::GlobalManager::SetRenderFactory(ui::CreateRenderFactory());
  ui::GlobalManager::SetImageLoader(ui::MakeSkinImageLoader());
  ui::GlobalManager::SetResourceRoot(nbase::UTF8ToWide((resources / "themes/default").string()));
  ui::WindowBuilder().Build(L"global.xml");
  return true;
}

// Tags without a control class yet take their place as plain controls.
inline ui::Control* StandIn(const std::wstring&) {
  return new ui::Control();
}

// The main window's client size at 100 %.
inline constexpr ui::CSize kMainClient(600, 400);

// The main window's skin ("basic/basic.xml") on a window core over a new
// `Native` window of the main window's size, not layered; `root` is null when
// the skin does not build. Nothing is painted yet.
template <typename Native>
struct MainWindowOn {
  MainWindowOn() {
    auto native_window = std::make_unique<Native>();
    native = native_window.get();
    native->Create(nullptr, L"bench", ui::UiRect(0, 0, kMainClient.cx, kMainClient.cy), false);
    window = std::make_unique<ui::Window>();
    window->SetLayered(false);
    window->Init(std::move(native_window));
    window->SetResourcePath(L"basic/");
    root = ui::WindowBuilder().Build(L"basic/basic.xml", StandIn, window.get());
    if (root) window->AttachDialog(root);
  }
  Native* native = nullptr;
  std::unique_ptr<ui::Window> window;
  ui::Control* root = nullptr;
};

}  // namespace bench
