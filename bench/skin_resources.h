#pragma once

// The source tree's skins set up for a benchmark: found upwards from the
// binary, with the Cairo render factory, the image loader and the global
// style sheet.

#include <filesystem>
#include <memory>

#include "base/string_util.h"
#include "ui/builder/window_builder.h"
#include "ui/core/control.h"
#include "ui/core/global_manager.h"
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

}  // namespace bench
