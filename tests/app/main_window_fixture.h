#pragma once

// What the main-window suites share: the test's user folders and product name, the
// install directory on the command line, and the start-up hooks of an installer whose
// skin is the built archive.

#include <unistd.h>

#include <fstream>
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
#include "ui/core/global_manager.h"

namespace corvane {

// Opens the skin archive the build packs (as the installer embeds it) and starts the
// resource manager on `theme_folder`; the start-up hook of the window tests.
inline bool StartSkinFromBuiltArchive(const std::wstring& theme_folder) {
  std::ifstream in(CORVANE_BINARY_DIR "/resources/theme.zip", std::ios::binary);
  std::stringstream data;
  data << in.rdbuf();
  const std::string zip = data.str();
  if (zip.empty() || !ui::GlobalManager::OpenArchive(zip.data(), zip.size(), "")) return false;
  ui::GlobalManager::Initialize(L"resources/", nullptr, false, theme_folder, L"lang/zh_CN");
  return true;
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

  // 96 DPI at 100 %, the skin from the built archive; the caller adds create_main_window.
  static StartupHooks WindowHooks() {
    StartupHooks hooks;
    hooks.system_dpi = [] { return 96; };
    hooks.scale_percent = [] { return 100; };
    hooks.start_skin = StartSkinFromBuiltArchive;
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
