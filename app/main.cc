// The installer's entry: parse the command line, then run the UI framework
// thread on the initial thread until it ends. With a display the main window
// drives the installation; without one, or with --silent, the console view
// runs it unattended and the exit status tells the outcome.
#include <gtk/gtk.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_install_view.h"
#include "app/install_flow.h"
#include "app/installer_constants.h"
#include "app/main_thread.h"
#include "app/main_window.h"
#include "app/system/process.h"
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

// Creates, centres and shows the main window. A skin that cannot be built or
// lacks the pages ends the process with a message and status 1.
void OpenMainWindow() {
  auto* window = new corvane::CMainWindow();
  if (!window->Create(nullptr, window->GetWindowClassName(), ui::UiRect(), true)) {
    std::fprintf(stderr, "corvane-installer: the main window cannot be built: %s\n",
                 nbase::WideToUTF8(window->GetLastError()).c_str());
    corvane::EndProcessNow(corvane::kExitFailed);
  }
  if (!window->controls_complete()) {
    std::fprintf(stderr, "corvane-installer: the skin basic/basic.xml lacks controls\n");
    corvane::EndProcessNow(corvane::kExitFailed);
  }
  window->SetTaskbarTitle(nbase::StringPrintf(L"%ls 安装程序", corvane::kDisplayName));
  window->CenterWindow();
  window->ShowWindow(true, true);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  // Arguments are file-system bytes: an install path that is not UTF-8 must
  // reach the file system unchanged.
  for (int i = 1; i < argc; ++i) args.push_back(nbase::NativePathToWide(argv[i]));
  corvane::ParseCommandLine(args);
  if (HasArgument(L"--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const bool has_display = gtk_init_check(nullptr, nullptr) && gdk_display_get_default();
  const bool windowed = has_display && !HasArgument(L"--silent");

  corvane::ConsoleInstallView console;
  std::unique_ptr<corvane::InstallFlow> flow;
  corvane::StartupHooks hooks = corvane::DefaultStartupHooks();
  if (windowed) {
    hooks.create_main_window = OpenMainWindow;
  } else {
    // Unattended: nobody answers a prompt.
    hooks.ask_retry_second_instance = [] { return false; };
    hooks.create_main_window = [&] {
      flow = std::make_unique<corvane::InstallFlow>(&console);
      console.set_flow(flow.get());
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
