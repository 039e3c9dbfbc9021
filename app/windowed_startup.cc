#include "app/windowed_startup.h"

#include <cstdio>
#include <memory>
#include <string>

#include "app/console_install_view.h"
#include "app/installer_constants.h"
#include "app/main_window.h"
#include "app/system/error_alert.h"
#include "app/system/process.h"
#include "base/framework_thread.h"
#include "base/startup_timing.h"
#include "base/string_util.h"
#include "ui/text/paragraph_layout.h"

namespace corvane {

namespace {

// A damaged installer cannot show its window: it says so on standard error
// and in a box, then ends with status 1 before anything was downloaded or
// installed.
[[noreturn]] void FailToStart(const std::string& detail) {
  std::fprintf(stderr, "corvane-installer: %s\n", detail.c_str());
  std::fflush(stderr);
  ShowErrorAlert(
      nbase::WideToUTF8(nbase::StringPrintf(L"%ls安装提示", kDisplayName)),
      nbase::WideToUTF8(nbase::StringPrintf(
          L"%ls 安装程序已损坏，无法显示安装界面。\n请重新下载安装程序。", kDisplayName)));
  EndProcessNow(kExitFailed);
}

// Creates, centres and shows the main window, unless the skin is unusable.
void OpenMainWindow(bool skin_opened) {
  if (!skin_opened) FailToStart("the skin archive (THEME section) is missing or damaged");
  auto* window = new CMainWindow();
  if (!window->Create(nullptr, window->GetWindowClassName(), ui::UiRect(), true)) {
    FailToStart("the main window cannot be built: " + nbase::WideToUTF8(window->GetLastError()));
  }
  if (!window->controls_complete()) FailToStart("the skin basic/basic.xml lacks controls");
  nbase::StartupTiming::Mark("main window built");
  window->SetTaskbarTitle(nbase::StringPrintf(L"%ls 安装程序", kDisplayName));
  window->CenterWindow();
  window->ShowWindow(true, true);
}

}  // namespace

StartupHooks WindowedStartupHooks() {
  StartupHooks hooks = DefaultStartupHooks();
  auto skin_opened = std::make_shared<bool>(false);
  hooks.start_skin = [skin_opened](const std::wstring& theme_folder) {
    // The install folder's field lays its text out as the window is built;
    // its fonts load on the misc thread meanwhile, ahead of the pictures.
    nbase::ThreadRegistry::PostTaskToThread(kThreadGlobalMisc,
                                            [] { ui::PrepareParagraphLayouts(); });
    *skin_opened = OpenThemeArchiveAndStartManager(theme_folder);
    if (*skin_opened) PrefetchMainWindowPictures(theme_folder);
    return *skin_opened;
  };
  hooks.create_main_window = [skin_opened] { OpenMainWindow(*skin_opened); };
  return hooks;
}

}  // namespace corvane
