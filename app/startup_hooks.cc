// The start-up steps that reach the skin and the UI library: the windowed
// installer's hooks. The unattended Windows build links without them until
// its windows arrive.
#include <cstdio>

#include "app/installer_constants.h"
#include "app/main_thread.h"
#include "app/system/embedded_resource.h"
#include "app/system/error_alert.h"
#include "base/framework_thread.h"
#include "base/string_util.h"
#include "ui/core/global_manager.h"
#include "ui/image/image_prefetch.h"
#include "ui/render/render.h"

namespace corvane {

bool OpenThemeArchiveAndStartManager(const std::wstring& theme_folder) {
  ui::GlobalManager::CloseArchive();
  const std::optional<std::string> theme = corvane::ReadEmbeddedResource("THEME");
  const bool opened =
      theme && !theme->empty() && ui::GlobalManager::OpenArchive(theme->data(), theme->size(), "");
  if (!opened) {
    std::fprintf(stderr, "corvane-installer: no usable THEME resource; using the folder on disk\n");
  }
  ui::GlobalManager::Initialize(L"resources/", nullptr, false, theme_folder, L"lang/zh_CN");
  return opened;
}

void PrefetchMainWindowPictures(const std::wstring& theme_folder) {
  // The misc thread is idle while the window is made; the window drops what
  // its first frame did not take.
  const std::wstring skin = L"resources/" + theme_folder;
  ui::PrefetchArchiveImages(
      {skin + L"/basic/", skin + L"/public/"}, [](std::function<void()> decode) {
        return nbase::ThreadRegistry::PostTaskToThread(kThreadGlobalMisc, std::move(decode));
      });
}

namespace {

int UiScalePercent() {
  return ui::GlobalManager::IsAdaptDPI() ? ui::GlobalManager::GetDPIScale() : 100;
}

}  // namespace

StartupHooks DefaultStartupHooks() {
  StartupHooks hooks;
  hooks.ask_retry_second_instance = AskRetrySecondInstance;
  hooks.system_dpi = [] { return ui::GlobalManager::GetSystemDPI(); };
  hooks.scale_percent = UiScalePercent;
  hooks.start_skin = OpenThemeArchiveAndStartManager;
  hooks.stop_skin = [] {
    ui::DiscardPrefetchedImages();
    // The factory and the fonts go first; then the drawing library.
    ui::GlobalManager::Shutdown();
    ui::StopRenderBackEnd();
  };
  hooks.uploads_wait_for_first_frame = true;
  return hooks;
}

}  // namespace corvane
