// The installer's entry: parse the command line, then run the UI framework
// thread on the initial thread until it ends. With a display the main window
// drives the installation; with no display configured at all, or with
// --silent, the console view runs it unattended and the exit status tells the
// outcome. A configured display that cannot be opened is an error: nobody
// agreed to an installation without the window.
#include <fontconfig/fontconfig.h>
#include <gtk/gtk.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/console_install_view.h"
#include "app/install_flow.h"
#include "app/installer_constants.h"
#include "app/main_thread.h"
#include "app/windowed_startup.h"
#include "base/startup_timing.h"
#include "base/string_util.h"

namespace {

constexpr char kUsage[] =
    "usage: corvane-installer [installPath:FOLDER] [channel:NAME] [--silent] [--help]\n"
    "\n"
    "With a display the installer opens its window. With no display configured\n"
    "(DISPLAY and WAYLAND_DISPLAY unset), or with --silent, it installs unattended:\n"
    "progress on standard output, and the exit status tells the result: 0 installed,\n"
    "1 failed, 2 another installer is running. A display that is configured but\n"
    "cannot be opened ends the installer with status 1 before anything is fetched.\n"
    "  installPath:FOLDER  install into FOLDER (used as given)\n"
    "  channel:NAME        the distribution channel (default: the one built in)\n";

bool HasArgument(const wchar_t* name) {
  return corvane::CommandLine::Instance().values().count(name) > 0;
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

int main(int argc, char** argv) {
  // One heap for every thread: the few threads here allocate little and
  // seldom at once, and each further heap kept its own touched pages
  // (about 200 KiB resident in all).
  mallopt(M_ARENA_MAX, 1);
  std::vector<std::wstring> args;
  // Arguments are file-system bytes: an install path that is not UTF-8 must
  // reach the file system unchanged.
  for (int i = 1; i < argc; ++i) args.push_back(nbase::NativePathToWide(argv[i]));
  corvane::ParseCommandLine(args);
  if (HasArgument(L"--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const bool silent = HasArgument(L"--silent");
  const std::string x_display = EnvironmentValue("DISPLAY");
  const std::string wayland_display = EnvironmentValue("WAYLAND_DISPLAY");
  const bool display_configured = !x_display.empty() || !wayland_display.empty();
  // Without a display configured GTK is not started: a compositor socket
  // found by default must not turn an unattended run into a windowed one.
  if (display_configured && !silent) {
    // The font configuration loads beside the toolkit's start rather than
    // when the window lays out its first text, which would wait for it.
    std::thread([] { FcInit(); }).detach();
  }
  const bool has_display =
      display_configured && gtk_init_check(nullptr, nullptr) && gdk_display_get_default();
  nbase::StartupTiming::Mark("toolkit initialised");
  if (display_configured && !has_display && !silent) {
    std::string name = !x_display.empty() ? x_display : wayland_display;
    if (!x_display.empty() && !wayland_display.empty()) name += " or " + wayland_display;
    std::fprintf(stderr,
                 "corvane-installer: cannot open the display %s, so the installer's window "
                 "cannot be shown; nothing was installed (--silent installs without a "
                 "window)\n",
                 name.c_str());
    return corvane::kExitFailed;
  }
  const bool windowed = has_display && !silent;

  corvane::ConsoleInstallView console;
  std::unique_ptr<corvane::InstallFlow> flow;
  corvane::StartupHooks hooks =
      windowed ? corvane::WindowedStartupHooks() : corvane::DefaultStartupHooks();
  if (!windowed) {
    // Unattended: nobody answers a prompt, and no frame waits for the uploads.
    hooks.ask_retry_second_instance = [] { return false; };
    hooks.uploads_wait_for_first_frame = false;
    hooks.create_main_window = [&] { flow = corvane::BeginUnattendedInstall(&console); };
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
