// The installer's entry: parse the command line, then run the UI framework
// thread on the initial thread until it ends.
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_install_view.h"
#include "app/install_flow.h"
#include "app/main_thread.h"
#include "base/string_util.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  // Arguments are file-system bytes: an install path that is not UTF-8 must
  // reach the file system unchanged.
  for (int i = 1; i < argc; ++i) args.push_back(nbase::NativePathToWide(argv[i]));
  corvane::ParseCommandLine(args);
  // Without a display the installer still runs its flow on the console.
  gtk_init_check(nullptr, nullptr);

  corvane::ConsoleInstallView console;
  std::unique_ptr<corvane::InstallFlow> flow;
  corvane::StartupHooks hooks = corvane::DefaultStartupHooks();
  hooks.create_main_window = [&] {
    flow = std::make_unique<corvane::InstallFlow>(&console);
    console.set_flow(flow.get());
    flow->BeginInstall(L"Install");
  };
  {
    corvane::MainThread main_thread(hooks);
    main_thread.RunOnCurrentThread(nbase::FrameworkThread::kUILoop);
  }
  return 0;
}
