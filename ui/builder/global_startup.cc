// Start-up reads the global style sheet through the builder, so it lives
// beside the builder rather than in the core below it.

#include <memory>
#include <optional>
#include <string>

#include "base/string_util.h"
#include "ui/builder/window_builder.h"
#include "ui/core/global_manager.h"
#include "ui/image/image_cache.h"
#include "ui/render/render.h"

namespace ui {

// ------------------------------------------------------------------- start-up

void GlobalManager::Initialize(const std::wstring& resource_path,
                               const CreateControlCallback& callback, bool /*reserved*/,
                               const std::wstring& theme_folder,
                               const std::wstring& language_folder) {
  if (!GetRenderFactory()) SetRenderFactory(CreateRenderFactory());
  SetResourceRoot(resource_path + theme_folder);
  SetCreateControlCallback(callback);
  if (!HasImageLoader()) SetImageLoader(MakeSkinImageLoader());

  // The process is always DPI aware; only the scale has to be found.
  SetAdaptDPI(true);
  SetDPIScale(MulDiv(GetSystemDPI(), 100, 96));

  WindowBuilder builder;
  builder.Build(L"global.xml");

  // The strings live beside the themes, in archive mode as on disk.
  const std::wstring language_path =
      nbase::NormalizePathSeparators(resource_path + language_folder + L"/gdstrings.ini");
  if (IsUseZip()) {
    if (std::optional<std::string> data = ReadArchiveEntry(language_path)) {
      LoadLanguageData(*data);
    }
  } else {
    LoadLanguageFile(language_path);
  }
  // GDI+ on Windows; a picture or text drawn earlier has started it already.
  StartRenderBackEnd();
}

}  // namespace ui
