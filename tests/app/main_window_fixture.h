#pragma once

// What the main-window suites share: the test's user folders and product name, the
// install directory on the command line, the start-up hooks of an installer whose
// skin is the built archive, and the main window itself, made and run on the UI
// thread as the installer does.

#include <unistd.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/machine_info.h"
#include "app/main_thread.h"
#include "app/main_window.h"
#include "base/framework_thread.h"
#include "base/string_util.h"
#include "tests/app/app_test_support.h"
#include "tests/app/skin_layout_support.h"
#include "ui/builder/window_builder.h"
#include "ui/core/global_manager.h"
#include "ui/image/image_cache.h"
#include "ui/render/linux/render_cairo.h"

namespace corvane {

// Opens the skin archive the build packs (as the installer embeds it) and starts the
// resource manager on `theme_folder`; the start-up hook of the window tests. A
// `scale_percent` replaces the display's scale before the style sheet is read.
inline bool StartSkinFromBuiltArchive(const std::wstring& theme_folder, int scale_percent = 0) {
  const std::string zip = app_test::BuiltThemeArchive();
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

  // The main window on `native` (GTK when null), kept by the test rather than deleted on
  // close; ending the process only counts (then OnProcessEnd), and its boxes go through
  // `presenter_` when one is set.
  ::testing::AssertionResult CreateMainWindow(std::unique_ptr<ui::NativeWindow> native = nullptr) {
    window_ = std::make_unique<CMainWindow>();
    window_->SetDeleteOnFinal(false);
    window_->set_end_process([this] {
      ++process_ends_;
      OnProcessEnd();
    });
    if (presenter_) window_->set_message_box_presenter(presenter_);
    if (!window_->Create(nullptr, L"MainWindow", ui::UiRect(), true, std::move(native))) {
      return ::testing::AssertionFailure() << nbase::WideToUTF8(window_->GetLastError());
    }
    if (!window_->controls_complete()) return ::testing::AssertionFailure() << "controls missing";
    return ::testing::AssertionSuccess();
  }

  // Starts the installer's UI thread with WindowHooks (`scale_percent`) and the main window
  // on `native` (GTK when null); once it is shown, StartScript runs `script` on the UI
  // thread. The loop ends when the script calls Finish, the window ends the process, or
  // after `limit_seconds`; the window is gone when this returns.
  void RunMainWindow(const std::function<void()>& script, std::unique_ptr<ui::NativeWindow> native,
                     int limit_seconds, int scale_percent = 100) {
    finished_ = false;
    StartupHooks hooks = WindowHooks(scale_percent);
    hooks.create_main_window = [&] {
      ASSERT_TRUE(CreateMainWindow(std::move(native)));
      window_->ShowWindow(true, true);
      nbase::ThreadRegistry::PostDelayedTaskToThread(
          kThreadUi, [this] { Finish(); }, nbase::TimeDelta::FromSeconds(limit_seconds));
      StartScript(script);
    };
    {
      MainThread main_thread(hooks);
      main_thread.RunOnCurrentThread(nbase::FrameworkThread::kUILoop);
    }
    if (window_ && window_->GetNativeWindow() && window_->GetNativeWindow()->IsValid()) {
      window_->GetNativeWindow()->Destroy();
    }
    window_.reset();
    AfterRun();
  }

  // Polls every 10 ms on the UI loop (pumping the window first) until `done`, then
  // runs `then`; nothing once the loop is finishing.
  void When(std::function<bool()> done, std::function<void()> then) {
    if (finished_) return;
    PumpWindow();
    if (done()) {
      then();
      return;
    }
    nbase::ThreadRegistry::PostDelayedTaskToThread(
        kThreadUi, [this, done, then] { When(done, then); },
        nbase::TimeDelta::FromMilliseconds(10));
  }

  bool Shown(const wchar_t* name) const {
    ui::Control* control = window_ ? window_->FindControl(std::wstring(name)) : nullptr;
    return control && control->IsVisible();
  }

  // What the suites tune: how the script starts, what ending the process ends, what
  // pumps the window while polling, and what follows the run.
  virtual void StartScript(const std::function<void()>& script) { script(); }
  virtual void OnProcessEnd() { Finish(); }
  virtual void PumpWindow() {}
  virtual void AfterRun() {}

  app_test::ScopedUserEnvironment env_;
  std::string install_dir_;
  std::string product_name_ = "corvane-win-" + std::to_string(getpid()) + ".exe";
  std::unique_ptr<CMainWindow> window_;
  CMainWindow::MessageBoxPresenter presenter_;
  int process_ends_ = 0;
  bool finished_ = false;
};

}  // namespace corvane
