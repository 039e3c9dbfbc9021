// installer_demo_driver: runs the installer and clicks through its window as
// a user would ("立即安装", then "立即体验" on the installed page), saving a
// screenshot of every page it passes. With --wine the installer and the
// inspector are the Windows build's, run under Wine.

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/window_driver/installer_pages.h"
#include "tools/window_driver/window_driver.h"

extern char** environ;

namespace {

using namespace window_driver;

constexpr char kUsage[] =
    "usage: installer_demo_driver --inspector FILE --shots DIR [--timeout SEC] [--wine LOADER]\n"
    "                             -- INSTALLER [ARGS...]\n"
    "Starts INSTALLER on $DISPLAY, clicks through its window and writes one PNG per page to\n"
    "DIR. Exit status 0 when the product was started and the installer ended. With --wine,\n"
    "INSTALLER and the inspector are Windows programs that LOADER runs.\n";

// Pixels in a control's area that may differ from the painted skin before a
// page counts as not shown (anti-aliased text under another font hinting).
constexpr int kTolerance = 2;

struct Demo {
  XSession x;
  Program inspector;
  std::string installer;
  std::string shots;
  pid_t pid = -1;
  int scale = 100;
  int shot_count = 0;

  bool Fail(const std::string& what) {
    std::fprintf(stderr, "installer_demo_driver: %s\n", what.c_str());
    return false;
  }

  std::optional<SkinLayout> Layout(const PageState& state) {
    std::string error;
    std::optional<SkinLayout> layout =
        InspectMainWindow(inspector, installer, scale, state, &error);
    if (!layout) Fail(error);
    return layout;
  }

  // `settle_ms`: time for hover effects to fade once the pointer has left.
  void Shot(const TopLevel& window, const std::string& name, int settle_ms = 300) {
    x.Park(settle_ms);
    ++shot_count;
    const std::string path = shots + "/" + (shot_count < 10 ? "0" : "") +
                             std::to_string(shot_count) + "-" + name + ".png";
    if (x.Grab(window.rect).WritePng(path))
      std::printf("page %s: %s\n", name.c_str(), path.c_str());
    std::fflush(stdout);
  }

  // Whether the window shows `layout` inside the control `name`.
  bool Shows(const TopLevel& window, const SkinLayout& layout, const std::string& name) {
    const std::optional<Rect> r = layout.Find(name);
    if (!r) return false;
    const Rect screen = ToScreen(window, layout, *r);
    const int offset = layout.OffsetFor(window.rect.width());
    const Picture expected = layout.PictureFor(window.rect.width(), window.rect.height())
                                 .Crop(r->Offset(offset, offset));
    return CountDiffering(x.Grab(screen), expected, kTolerance) == 0;
  }

  bool ProcessEnded(int timeout_ms, int* status) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < end) {
      if (waitpid(pid, status, WNOHANG) == pid) return true;
      SleepMs(50);
    }
    return false;
  }

  bool Run(int timeout_s) {
    std::optional<TopLevel> window = x.WaitForWindow(
        pid, [](const TopLevel& w) { return w.title.find("安装程序") != std::string::npos; },
        30000);
    if (!window) return Fail("the installer's window did not appear");
    scale = ScaleOfMainWindow(window->rect.width());
    std::printf("window %dx%d at %d,%d, scale %d%%\n", window->rect.width(), window->rect.height(),
                window->rect.left, window->rect.top, scale);
    const auto welcome = Layout({Page::kWelcome});
    const auto installed = Layout({Page::kInstalled});
    const auto failed = Layout({Page::kFailed});
    if (!welcome || !installed || !failed) return false;
    // The first frame may still be on its way.
    for (int i = 0; i < 100 && !Shows(*window, *welcome, "btn_startinstall"); ++i) SleepMs(50);
    Shot(*window, "welcome");

    const Rect install = ToScreen(*window, *welcome, *welcome->Find("btn_startinstall"));
    x.Click(install.centre_x(), install.centre_y());
    // The progress page lasts as long as the download and the package run.
    for (int i = 0; i < 40 && Shows(*window, *welcome, "btn_startinstall"); ++i) SleepMs(25);
    Shot(*window, "installing", 0);

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
    bool ok = false;
    while (std::chrono::steady_clock::now() < end) {
      if (Shows(*window, *installed, "btn_startapp")) {
        ok = true;
        break;
      }
      if (Shows(*window, *failed, "btn_reinstall")) break;
      SleepMs(200);
    }
    if (!ok) {
      Shot(*window, "failed");
      return Fail("the installation did not reach the installed page");
    }
    Shot(*window, "installed");
    const Rect start = ToScreen(*window, *installed, *installed->Find("btn_startapp"));
    x.Click(start.centre_x(), start.centre_y());
    int status = 0;
    if (!ProcessEnded(10000, &status)) return Fail("the installer did not end after 立即体验");
    std::printf("installer ended with status %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  Demo demo;
  int timeout_s = 120;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--inspector" && i + 1 < argc) {
      demo.inspector.path = argv[++i];
    } else if (arg == "--wine" && i + 1 < argc) {
      demo.inspector.wine = argv[++i];
    } else if (arg == "--shots" && i + 1 < argc) {
      demo.shots = argv[++i];
    } else if (arg == "--timeout" && i + 1 < argc) {
      timeout_s = std::atoi(argv[++i]);
    } else if (arg == "--") {
      ++i;
      break;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (demo.inspector.path.empty() || demo.shots.empty() || i >= argc) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  demo.installer = argv[i];
  mkdir(demo.shots.c_str(), 0755);
  if (!demo.x.Open()) {
    std::fputs("installer_demo_driver: no X display with XTest\n", stderr);
    return 1;
  }
  // The installer as its target runs it: under Wine a Windows program is
  // the loader's process, which shows its windows.
  const Program installer{demo.installer, demo.inspector.wine};
  std::vector<std::string> command =
      installer.Command(std::vector<std::string>(argv + i + 1, argv + argc));
  std::vector<char*> spawn_argv;
  for (std::string& a : command) spawn_argv.push_back(a.data());
  spawn_argv.push_back(nullptr);
  if (posix_spawnp(&demo.pid, spawn_argv[0], nullptr, nullptr, spawn_argv.data(), environ) != 0) {
    std::fprintf(stderr, "installer_demo_driver: cannot start %s\n", argv[i]);
    return 1;
  }
  const bool ok = demo.Run(timeout_s);
  if (!ok && waitpid(demo.pid, nullptr, WNOHANG) == 0) {
    kill(demo.pid, SIGTERM);
    waitpid(demo.pid, nullptr, 0);
  }
  return ok ? 0 : 1;
}
