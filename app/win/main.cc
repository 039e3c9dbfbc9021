// The Windows installer's entry, a GUI-subsystem program. In a session
// where someone can answer it opens the skinned window. With --silent, or
// where nobody can answer, it installs unattended: progress on the parent's
// console when there is one, and the exit status tells the result: 0
// installed, 1 failed, 2 another installer is running.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_install_view.h"
#include "app/install_flow.h"
#include "app/installer_constants.h"
#include "app/main_thread.h"
#include "app/system/error_alert.h"
#include "app/windowed_startup.h"

namespace {

constexpr char kUsage[] =
    "usage: corvane-installer.exe [installPath:FOLDER] [channel:NAME] [--silent] [--help]\n"
    "\n"
    "The installer opens its window. With --silent, or in a session without a\n"
    "visible desktop, it installs unattended: progress on the console, and the\n"
    "exit status tells the result: 0 installed, 1 failed, 2 another installer is\n"
    "running.\n"
    "  installPath:FOLDER  install into FOLDER (used as given)\n"
    "  channel:NAME        the distribution channel (default: the one built in)\n";

bool HasArgument(const wchar_t* name) {
  return corvane::CommandLine::Instance().values().count(name) > 0;
}

// A GUI program has no console of its own. Output that the parent
// redirected (a pipe, a file) is used as it is; otherwise the parent's
// console, when it has one, shows it.
void ConnectToParentConsole() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const bool redirected = out != nullptr && out != INVALID_HANDLE_VALUE;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  SetConsoleOutputCP(CP_UTF8);
  if (!redirected) {
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
  }
}

// The system DPI: GetDpiForSystem where the system has it, else the
// screen's logical pixels.
int SystemDpi() {
  using GetDpiForSystemFunction = UINT(WINAPI*)();
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  auto get_dpi = user32 ? reinterpret_cast<GetDpiForSystemFunction>(
                              reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForSystem")))
                        : nullptr;
  if (get_dpi) return static_cast<int>(get_dpi());
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < count; ++i) args.emplace_back(argv[i]);
  if (argv) LocalFree(argv);
  corvane::ParseCommandLine(args);
  ConnectToParentConsole();
  if (HasArgument(L"--help")) {
    std::fputs(kUsage, stdout);
    std::fflush(stdout);
    return 0;
  }
  const bool unattended = HasArgument(L"--silent") || !corvane::HasInteractiveSession();

  corvane::ConsoleInstallView console;
  std::unique_ptr<corvane::InstallFlow> flow;
  corvane::StartupHooks hooks;
  if (unattended) {
    // Nobody answers a prompt, and nothing is drawn: the skin stays closed.
    hooks.ask_retry_second_instance = [] { return false; };
    hooks.system_dpi = SystemDpi;
    hooks.scale_percent = [] { return 100; };
    hooks.create_main_window = [&] { flow = corvane::BeginUnattendedInstall(&console); };
  } else {
    hooks = corvane::WindowedStartupHooks();
  }
  bool second_instance = false;
  {
    corvane::MainThread main_thread(hooks);
    main_thread.RunOnCurrentThread(nbase::FrameworkThread::kUILoop);
    second_instance = main_thread.cancelled_as_second_instance();
  }
  if (second_instance) {
    std::fprintf(stderr, "corvane-installer: another installer is already running\n");
    std::fflush(stderr);
    return corvane::kExitAnotherInstance;
  }
  return 0;
}
