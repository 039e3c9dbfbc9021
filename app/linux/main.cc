// The installer's entry: parse the command line, then run the UI framework
// thread on the initial thread until it ends. With a display the main window
// drives the installation; without one, or with --silent, the console view
// runs it unattended and the exit status tells the outcome.
#include <fontconfig/fontconfig.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/console_install_view.h"
#include "app/install_flow.h"
#include "app/installer_constants.h"
#include "app/main_thread.h"
#include "app/main_window.h"
#include "app/system/error_alert.h"
#include "app/system/process.h"
#include "base/startup_timing.h"
#include "base/string_util.h"

namespace {

constexpr char kUsage[] =
    "usage: corvane-installer [installPath:FOLDER] [channel:NAME] [--silent] [--help]\n"
    "\n"
    "With a display the installer opens its window. Without a display, or with\n"
    "--silent, it installs unattended: progress on standard output, and the exit\n"
    "status tells the result: 0 installed, 1 failed, 2 another installer is running.\n"
    "  installPath:FOLDER  install into FOLDER (used as given)\n"
    "  channel:NAME        the distribution channel (default: the one built in)\n";

bool HasArgument(const wchar_t* name) {
  return corvane::CommandLine::Instance().values().count(name) > 0;
}

// A damaged installer cannot show its window: it says so on standard error
// and, with a display, in a box, then ends with status 1 before anything
// was downloaded or installed.
[[noreturn]] void FailToStart(const std::string& detail) {
  std::fprintf(stderr, "corvane-installer: %s\n", detail.c_str());
  corvane::ShowErrorAlert(
      nbase::WideToUTF8(nbase::StringPrintf(L"%ls安装提示", corvane::kDisplayName)),
      nbase::WideToUTF8(nbase::StringPrintf(
          L"%ls 安装程序已损坏，无法显示安装界面。\n请重新下载安装程序。", corvane::kDisplayName)));
  corvane::EndProcessNow(corvane::kExitFailed);
}

// Creates, centres and shows the main window, unless the skin is unusable.
void OpenMainWindow(bool skin_opened) {
  if (!skin_opened) FailToStart("the skin archive (THEME section) is missing or damaged");
  auto* window = new corvane::CMainWindow();
  if (!window->Create(nullptr, window->GetWindowClassName(), ui::UiRect(), true)) {
    FailToStart("the main window cannot be built: " + nbase::WideToUTF8(window->GetLastError()));
  }
  if (!window->controls_complete()) FailToStart("the skin basic/basic.xml lacks controls");
  nbase::StartupTiming::Mark("main window built");
  window->SetTaskbarTitle(nbase::StringPrintf(L"%ls 安装程序", corvane::kDisplayName));
  window->CenterWindow();
  window->ShowWindow(true, true);
}

}  // namespace

int main(int argc, char** argv) {
  nbase::StartupTiming::Mark("main");
  std::vector<std::wstring> args;
  // Arguments are file-system bytes: an install path that is not UTF-8 must
  // reach the file system unchanged.
  for (int i = 1; i < argc; ++i) args.push_back(nbase::NativePathToWide(argv[i]));
  corvane::ParseCommandLine(args);
  if (HasArgument(L"--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  // The font configuration loads beside the toolkit's start rather than
  // when the window lays out its first text, which would wait for it.
  std::thread([] { FcInit(); }).detach();
  const bool has_display = gtk_init_check(nullptr, nullptr) && gdk_display_get_default();
  nbase::StartupTiming::Mark("toolkit initialised");
  const bool windowed = has_display && !HasArgument(L"--silent");

  corvane::ConsoleInstallView console;
  std::unique_ptr<corvane::InstallFlow> flow;
  corvane::StartupHooks hooks = corvane::DefaultStartupHooks();
  bool skin_opened = false;
  if (windowed) {
    hooks.start_skin = [&skin_opened](const std::wstring& theme_folder) {
      skin_opened = corvane::OpenThemeArchiveAndStartManager(theme_folder);
      return skin_opened;
    };
    hooks.create_main_window = [&skin_opened] { OpenMainWindow(skin_opened); };
  } else {
    // Unattended: nobody answers a prompt, and no frame waits for the uploads.
    hooks.ask_retry_second_instance = [] { return false; };
    hooks.uploads_wait_for_first_frame = false;
    hooks.create_main_window = [&] {
      flow = std::make_unique<corvane::InstallFlow>(&console);
      console.set_flow(flow.get());
      if (!flow->settings().package_keys.stamped) {
        std::fputs(
            "corvane-installer: no vendor key is stamped in; the package's authenticity is "
            "not checked\n",
            stderr);
      }
      flow->BeginInstall(L"Install");
    };
  }
  bool second_instance = false;
  {
    corvane::MainThread main_thread(hooks);
    main_thread.RunOnCurrentThread(nbase::FrameworkThread::kUILoop);
    second_instance = main_thread.cancelled_as_second_instance();
  }
  if (second_instance) {
    std::fprintf(stderr, "corvane-installer: another installer is already running\n");
    return corvane::kExitAnotherInstance;
  }
  return 0;
}
