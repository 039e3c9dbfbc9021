// Window host figures on a private Xvfb, side by side with a minimal GTK 3
// program that shows one picture: cold start to the first frame, resident
// memory after it, idle wake-ups, and click-to-repaint latency.

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/window_timing.h"
#include "desktop_process_support.h"
#include "ui/builder/window_builder.h"
#include "ui/core/global_manager.h"
#include "ui/host/window_impl_base.h"
#include "ui/image/image_cache.h"
#include "ui/native/linux/gtk_window.h"
#include "ui/render/render.h"

namespace {

using bench::Median;
using bench::StatusField;
using Clock = std::chrono::steady_clock;
constexpr int kRuns = 7;

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  if (values.empty()) return 0.0;
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(p * values.size()));
  return values[index];
}

// Context switches of the main thread: each one is a wake-up.
long MainThreadSwitches(pid_t pid) {
  const std::string path =
      "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/status";
  return StatusField(path, "voluntary_ctxt_switches") +
         StatusField(path, "nonvoluntary_ctxt_switches");
}

double WakeupsPerSecond(pid_t pid, int ms) {
  const long before = MainThreadSwitches(pid);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return (MainThreadSwitches(pid) - before) * 1000.0 / ms;
}

struct StartFigures {
  double start_ms = 0;
  double rss_kb = 0;
  double idle_wakeups = 0;
};

StartFigures MeasureStart(const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env, bool idle) {
  std::vector<double> starts;
  std::vector<double> rss;
  StartFigures figures;
  for (int run = 0; run < kRuns; ++run) {
    ui::ChildProcess child;
    const auto t0 = Clock::now();
    if (!child.Start(args, env) || !child.WaitForLine("shown", 20000)) {
      std::fprintf(stderr, "%s did not show: %s\n", args[0].c_str(), child.GetStderr().c_str());
      std::exit(1);
    }
    starts.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    rss.push_back(static_cast<double>(
        StatusField("/proc/" + std::to_string(child.pid()) + "/status", "VmRSS")));
    if (idle && run == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(700));  // the fade-in ends
      figures.idle_wakeups = WakeupsPerSecond(child.pid(), 3000);
    }
    child.Kill();
  }
  figures.start_ms = Median(starts);
  figures.rss_kb = Median(rss);
  return figures;
}

class BenchWindow : public ui::WindowImplBase {
 public:
  std::wstring GetSkinFolder() override { return L"basic/"; }
  std::wstring GetSkinFile() override { return L"basic.xml"; }
  std::wstring GetWindowClassName() const override { return L"Bench"; }
  void OnInitLayout() override {
    ui::WindowImplBase::OnInitLayout();
    if (print_shown) {
      std::puts("shown");
      std::fflush(stdout);
    }
  }
  bool print_shown = false;
};

// The skin's resources as the installer starts them (folder on disk, 100 %).
void StartResources() {
  ui::GlobalManager::SetRenderFactory(ui::CreateRenderFactory());
  ui::GlobalManager::SetImageLoader(ui::MakeSkinImageLoader());
  ui::GlobalManager::SetResourceRoot(L"" CORVANE_SOURCE_DIR "/resources/themes/default");
  ui::WindowBuilder().Build(L"global.xml");
  ui::GlobalManager::LoadLanguageFile(L"" CORVANE_SOURCE_DIR "/resources/lang/zh_CN/gdstrings.ini");
}

// The child of the cold-start figure: the main window skin, nothing else.
int RunChild() {
  if (!gtk_init_check(nullptr, nullptr)) return 1;
  StartResources();
  auto* window = new BenchWindow;
  window->print_shown = true;
  if (!window->Create(nullptr, L"bench", ui::UiRect(0, 0, 100, 100))) return 1;
  window->CenterWindow();
  window->ShowWindow(true, true);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop);
  return 0;
}

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::yield();
  }
  return true;
}

// In this process: press the install button with XTest and time until the
// pressed state is on the screen (the window's next copy).
bool MeasureClickLatency(std::vector<double>* samples, double* hover_wakeups) {
  if (!gtk_init_check(nullptr, nullptr)) return false;
  StartResources();
  auto* window = new BenchWindow;
  window->SetDeleteOnFinal(false);
  if (!window->Create(nullptr, L"bench", ui::UiRect(0, 0, 100, 100))) return false;
  window->ShowWindow(true, true);
  auto* native = static_cast<ui::GtkNativeWindow*>(window->GetNativeWindow());
  PumpUntil([&] { return native->GetDrawCount() > 0; }, 5000);
  PumpUntil([] { return false; }, 500);
  ui::Control* button = window->FindControl(std::wstring(L"btn_startinstall"));
  if (!button) return false;
  const ui::UiRect r = native->GetWindowRect();
  const ui::UiRect b = button->GetPos();
  Display* display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
  const int x = r.left + (b.left + b.right) / 2;
  const int y = r.top + (b.top + b.bottom) / 2;
  XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
  XFlush(display);
  PumpUntil([] { return false; }, 2500);  // the hover animation and the tooltip come

  // The hover animation must have stopped: count this thread's wake-ups over
  // 4 s, less the one of the timeout that ends the count.
  {
    const pid_t pid = getpid();
    bool done = false;
    g_timeout_add(
        4000,
        [](gpointer flag) -> gboolean {
          *static_cast<bool*>(flag) = true;
          return G_SOURCE_REMOVE;
        },
        &done);
    const long before = MainThreadSwitches(pid);
    while (!done) g_main_context_iteration(nullptr, TRUE);
    *hover_wakeups = std::max(0L, MainThreadSwitches(pid) - before - 1) / 4.0;
  }

  for (int i = 0; i < 60; ++i) {
    const size_t draws = native->GetDrawCount();
    const auto t0 = Clock::now();
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XFlush(display);
    if (!PumpUntil([&] { return native->GetDrawCount() > draws; }, 2000)) return false;
    samples->push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
    PumpUntil([] { return false; }, 60);
  }
  native->Destroy();
  delete window;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--child") return RunChild();
  ui::XServer server;
  if (!server.Start()) {
    std::fputs("bench_window_host: Xvfb cannot start\n", stderr);
    return 1;
  }
  setenv("DISPLAY", server.display().c_str(), 1);
  setenv("GDK_BACKEND", "x11", 1);
  unsetenv("WAYLAND_DISPLAY");
  const std::map<std::string, std::string> env = {{"DISPLAY", server.display()},
                                                  {"GDK_BACKEND", "x11"}};
  const std::string resources = ui::ResourcesPath();
  const StartFigures host = MeasureStart({"/proc/self/exe", "--child"}, env, true);
  const StartFigures minimal = MeasureStart({CORVANE_BINARY_DIR "/bench/minimal_gtk_image",
                                             resources + "/themes/default/basic/bkg_top.png"},
                                            env, true);

  std::vector<double> latency;
  double hover_wakeups = -1;
  const bool clicked = MeasureClickLatency(&latency, &hover_wakeups);

  std::printf("%-38s %14s %14s %8s %8s\n", "figure (medians of 7 runs)", "main window",
              "minimal GTK", "ratio", "goal");
  std::printf("%-38s %14.1f %14.1f %8.2f %8s\n", "cold start to first frame, ms", host.start_ms,
              minimal.start_ms, host.start_ms / minimal.start_ms, "<= 1.5");
  std::printf("%-38s %14.0f %14.0f %8.2f %8s\n", "resident memory after it, KiB", host.rss_kb,
              minimal.rss_kb, host.rss_kb / minimal.rss_kb, "<= 1.3");
  std::printf("%-38s %14.1f %14.1f %8s %8s\n", "idle wake-ups of the UI thread, /s",
              host.idle_wakeups, minimal.idle_wakeups, "", "0");
  std::printf("%-38s %14.1f %14s %8s %8s\n", "wake-ups after a hover animation, /s", hover_wakeups,
              "", "", "0");
  if (clicked) {
    std::printf("%-38s %14.2f %14s\n", "click to repainted button, median ms", Median(latency), "");
    std::printf("%-38s %14.2f %14s\n", "click to repainted button, p99 ms",
                Percentile(latency, 0.99), "");
  } else {
    std::puts("click to repainted button: could not be measured");
  }
  return 0;
}
