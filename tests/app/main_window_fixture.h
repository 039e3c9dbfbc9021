#pragma once

// What the main-window suites share: the test's user folders and product name, the
// install directory on the command line, and the start-up hooks of an installer whose
// skin is the built archive.

#include <unistd.h>

#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/machine_info.h"
#include "app/main_thread.h"
#include "base/string_util.h"
#include "tests/app/app_test_support.h"
#include "ui/builder/window_builder.h"
#include "ui/core/global_manager.h"
#include "ui/image/image_cache.h"
#include "ui/render/render_cairo.h"

namespace corvane {

// Opens the skin archive the build packs (as the installer embeds it) and starts the
// resource manager on `theme_folder`; the start-up hook of the window tests. A
// `scale_percent` replaces the display's scale before the style sheet is read.
inline bool StartSkinFromBuiltArchive(const std::wstring& theme_folder, int scale_percent = 0) {
  std::ifstream in(CORVANE_BINARY_DIR "/resources/theme.zip", std::ios::binary);
  std::stringstream data;
  data << in.rdbuf();
  const std::string zip = data.str();
  if (zip.empty() || !ui::GlobalManager::OpenArchive(zip.data(), zip.size(), "")) return false;
  if (scale_percent == 0) {
    ui::GlobalManager::Initialize(L"resources/", nullptr, false, theme_folder, L"lang/zh_CN");
    return true;
  }
  if (!ui::GlobalManager::GetRenderFactory()) {
    ui::GlobalManager::SetRenderFactory(std::make_unique<ui::RenderFactoryCairo>());
  }
  if (!ui::GlobalManager::HasImageLoader()) {
    ui::GlobalManager::SetImageLoader(ui::MakeSkinImageLoader());
  }
  ui::GlobalManager::SetResourceRoot(L"resources/" + theme_folder);
  ui::GlobalManager::SetAdaptDPI(true);
  ui::GlobalManager::SetDPIScale(scale_percent);
  ui::WindowBuilder().Build(L"global.xml");
  const std::optional<std::string> strings =
      ui::GlobalManager::ReadArchiveEntry(L"resources/lang/zh_CN/gdstrings.ini");
  if (strings) ui::GlobalManager::LoadLanguageData(*strings);
  return strings.has_value();
}

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachineInfoCachesForTesting();
    ClearGlobalCookiesForTesting();
    env_.Set("CORVANE_DEMO_PACKAGE_COUNTER", env_.dir().Sub("runs"));
    env_.Set("CORVANE_DEMO_PRODUCT_LOG", env_.dir().Sub("product.log"));
    env_.Set("CORVANE_PRODUCT_PROCESS_NAME", product_name_);
    install_dir_ = env_.dir().Sub("Program Files/brightmoor/corvane");
    ParseCommandLine({L"installPath:" + nbase::UTF8ToWide(install_dir_)});
  }
  void TearDown() override {
    ParseCommandLine({});
    ResetMachineInfoCachesForTesting();
    ClearGlobalCookiesForTesting();
  }

  // 96 DPI at 100 % (or the DPI of `scale_percent`), the skin from the built archive;
  // the caller adds create_main_window.
  static StartupHooks WindowHooks(int scale_percent = 100) {
    StartupHooks hooks;
    hooks.system_dpi = [scale_percent] { return scale_percent * 96 / 100; };
    hooks.scale_percent = [scale_percent] { return scale_percent; };
    if (scale_percent == 100) {
      hooks.start_skin = [](const std::wstring& theme) { return StartSkinFromBuiltArchive(theme); };
    } else {
      hooks.start_skin = [scale_percent](const std::wstring& theme) {
        return StartSkinFromBuiltArchive(theme, scale_percent);
      };
    }
    hooks.stop_skin = [] { ui::GlobalManager::Shutdown(); };
    return hooks;
  }

  // Ends the UI loop once.
  void Finish() {
    if (finished_) return;
    finished_ = true;
    nbase::UIMessageLoop::Current()->PostQuitMessage();
  }

  app_test::ScopedUserEnvironment env_;
  std::string install_dir_;
  std::string product_name_ = "corvane-win-" + std::to_string(getpid()) + ".exe";
  int process_ends_ = 0;
  bool finished_ = false;
};

}  // namespace corvane
