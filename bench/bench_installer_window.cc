// Figures of the built installer with its window on a private Xvfb, against
// the reference vendor service: cold start to the welcome page's first frame
// beside a minimal GTK 3 program showing one picture; CPU while the progress
// ticker runs through a 30 s download and wake-ups once the installed page is
// idle; click on "立即安装" to the first byte requested from the service.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <glib.h>

#include "bench/window_timing.h"
#include "desktop_process_support.h"
#include "tests/app/app_test_support.h"
#include "tests/app/skin_layout_support.h"
#include "tests/app/x_client_support.h"

namespace {

using bench::AnyViewableTopLevel;
using bench::Close;
using bench::CpuSeconds;
using bench::Grab;
using bench::Median;
using bench::Patch;
using bench::Phases;
using bench::ResidentByMapping;
using Clock = std::chrono::steady_clock;
constexpr int kStartRuns = 7;
constexpr int kClickRuns = 15;
constexpr int kDownloadSeconds = 30;
constexpr char kTitle[] = "Corvane视频转换器 安装程序";

double Seconds(Clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  if (v.empty()) return 0;
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// What one cold start showed: the first frame, the CPU time and resident
// memory once it settled, and the program's own phase stamps.
struct StartRun {
  double first_frame_ms = -1;
  double cpu_ms = 0;
  double rss_kb = 0;
  // Resident when the first frame was seen (the uploads start right after).
  double first_frame_rss_kb = 0;
  // Phase name to milliseconds after the start (CORVANE_STARTUP_TIMING).
  std::vector<std::pair<std::string, double>> phases;
  // Resident KiB per mapped file ("[anon]" for the rest).
  std::map<std::string, double> mappings;
  // The same as the program stamped its first frame (asked for only in a run
  // of its own: reading them competes with the frame for the processor).
  std::map<std::string, double> frame_mappings;
};

// Start of the program to the first frame that shows what the window
// settles on (a 24 × 24 patch in its middle, within 24 levels a channel).
// The CPU time is what the program used in its first 2.5 s, which a loaded
// machine disturbs less than the wall time; the memory is read then too.
StartRun FirstFrame(Display* display, const std::vector<std::string>& argv,
                    const std::map<std::string, std::string>& env, bool mappings_at_frame = false) {
  StartRun run;
  const bool stamped = mappings_at_frame && env.count("CORVANE_STARTUP_TIMING") != 0;
  ui::ChildProcess child;
  const auto t0 = Clock::now();
  if (!child.Start(argv, env)) return run;
  Window window = 0;
  while (!(window = AnyViewableTopLevel(display))) {
    if (Clock::now() - t0 > std::chrono::seconds(20)) return run;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  XWindowAttributes a;
  XGetWindowAttributes(display, window, &a);
  Window unused = 0;
  int x = 0, y = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), a.width / 2 - 12,
                        a.height / 2 - 12, &x, &y, &unused);
  const std::string proc = "/proc/" + std::to_string(child.pid());
  struct Seen {
    Clock::time_point when;
    Patch patch;
    long rss_kb;
  };
  std::vector<Seen> seen;
  while (Clock::now() - t0 < std::chrono::milliseconds(2500)) {
    const auto when = Clock::now();
    Patch patch = Grab(display, x, y, 24);
    seen.push_back({when, std::move(patch), bench::StatusField(proc + "/status", "VmRSS")});
    if (stamped && run.frame_mappings.empty()) {
      child.ReadOutput(0);
      if (child.GetStderr().find("first frame painted") != std::string::npos) {
        run.frame_mappings = ResidentByMapping(child.pid());
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  const Patch settled = Grab(display, x, y, 24);
  run.cpu_ms = 1000.0 * CpuSeconds(proc + "/stat");
  run.rss_kb = static_cast<double>(bench::StatusField(proc + "/status", "VmRSS"));
  run.mappings = ResidentByMapping(child.pid());
  for (int i = 0; i < 5; ++i) child.ReadOutput(10);
  child.Kill();
  run.phases = Phases(child.GetStderr(), t0);
  for (const Seen& frame : seen) {
    if (Close(frame.patch, settled)) {
      run.first_frame_ms = std::chrono::duration<double, std::milli>(frame.when - t0).count();
      run.first_frame_rss_kb = static_cast<double>(frame.rss_kb);
      break;
    }
  }
  return run;
}

// Medians of the phase stamps over the runs, in the order of the first run.
void PrintPhases(const std::vector<StartRun>& runs, double first_frame_ms) {
  if (runs.empty() || runs.front().phases.empty()) {
    std::puts("  (no phase stamps: is the installer built with them?)");
    return;
  }
  std::printf("%-52s %10s %10s\n", "start-up phases, median ms after the start", "at", "step");
  std::vector<std::pair<double, std::string>> medians;
  for (const auto& [name, unused] : runs.front().phases) {
    std::vector<double> at;
    for (const StartRun& run : runs) {
      for (const auto& [n, ms] : run.phases) {
        if (n == name) {
          at.push_back(ms);
          break;
        }
      }
    }
    medians.emplace_back(Median(at), name);
  }
  medians.emplace_back(first_frame_ms, "first frame seen on the screen");
  std::stable_sort(medians.begin(), medians.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  double previous = 0;
  for (const auto& [median, name] : medians) {
    std::printf("  %-50s %10.1f %10.1f\n", name.c_str(), median, median - previous);
    previous = median;
  }
}

// Resident memory by mapping, medians, where the two programs differ most.
// `ours_at` picks the installer's snapshot; the minimal program's is the
// settled one, as it does nothing after its first frame.
void PrintMemory(const std::vector<StartRun>& ours, const std::vector<StartRun>& peer,
                 std::map<std::string, double> StartRun::*ours_at, const char* title) {
  std::map<std::string, std::pair<std::vector<double>, std::vector<double>>> by_name;
  for (const StartRun& run : ours)
    for (const auto& [name, kb] : run.*ours_at) by_name[name].first.push_back(kb);
  for (const StartRun& run : peer)
    for (const auto& [name, kb] : run.mappings) by_name[name].second.push_back(kb);
  std::vector<std::tuple<double, std::string, double, double>> rows;
  for (auto& [name, kb] : by_name) {
    kb.first.resize(ours.size());
    kb.second.resize(peer.size());
    const double a = Median(kb.first), b = Median(kb.second);
    rows.emplace_back(a - b, name, a, b);
  }
  std::sort(rows.begin(), rows.end(), [](const auto& l, const auto& r) {
    return std::abs(std::get<0>(l)) > std::abs(std::get<0>(r));
  });
  std::printf("%-52s %10s %10s %8s\n", title, "installer", "minimal", "diff");
  for (size_t i = 0; i < rows.size() && i < 14; ++i) {
    const auto& [diff, name, a, b] = rows[i];
    if (std::abs(diff) < 64) break;
    std::printf("  %-50s %10.0f %10.0f %+8.0f\n", name.substr(0, 50).c_str(), a, b, diff);
  }
}

long Switches(const std::string& status_path) {
  std::ifstream in(status_path);
  std::string line;
  long total = 0;
  while (std::getline(in, line)) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
        line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
      total += std::atol(line.c_str() + line.find(':') + 1);
    }
  }
  return total;
}

// Context switches of every thread of `pid`: each is a wake-up.
long AllThreadSwitches(pid_t pid) {
  long total = 0;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  GDir* dir = g_dir_open(tasks.c_str(), 0, nullptr);
  if (!dir) return -1;
  while (const char* name = g_dir_read_name(dir)) total += Switches(tasks + "/" + name + "/status");
  g_dir_close(dir);
  return total;
}

size_t CountLines(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(part) != std::string::npos;
  }));
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The "received" stamp of an access-log line.
double Received(const std::string& line) {
  const size_t at = line.find("\"received\": ");
  return at == std::string::npos ? -1 : std::atof(line.c_str() + at + 12);
}

struct Installer {
  ui::ChildProcess process;
  Window window = 0;
  app_test::XRect rect;
};

bool StartInstaller(Installer* installer, app_test::XClient* x, const std::string& dir) {
  if (!installer->process.Start({app_test::InstallerPath(), "installPath:" + dir})) return false;
  installer->window = x->WaitForWindow(kTitle, 20000);
  if (!installer->window) return false;
  installer->rect = x->Geometry(installer->window);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // --start-only: the cold-start figures alone; --timing: with the
  // installer's start-up phases and its memory by mapping; --runs N: cold
  // starts of each program (at least the default 7), for a steadier median.
  bool start_only = false, timing = false;
  int start_runs = kStartRuns;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    start_only |= arg == "--start-only";
    timing |= arg == "--timing";
    if (arg == "--runs" && i + 1 < argc) start_runs = std::max(kStartRuns, std::atoi(argv[++i]));
  }
  ui::XServer server;
  if (!server.Start()) {
    std::fputs("bench_installer_window: Xvfb cannot start\n", stderr);
    return 1;
  }
  app_test::ScopedUserEnvironment user;
  user.Set("DISPLAY", server.display());
  user.Set("GDK_BACKEND", "x11");
  user.Set("CORVANE_DEMO_PACKAGE_COUNTER", user.dir().Sub("runs"));
  user.Set("CORVANE_DEMO_PRODUCT_LOG", user.dir().Sub("product.log"));
  user.Set("CORVANE_PRODUCT_PROCESS_NAME", "corvane-bench-" + std::to_string(getpid()));
  unsetenv("WAYLAND_DISPLAY");
  app_test::XClient x(server.display());
  const auto button = app_test::MainWindowControlCenter(L"btn_startinstall");
  if (!x.ok() || !button) {
    std::fputs("bench_installer_window: no X client or no install button\n", stderr);
    return 1;
  }
  const std::map<std::string, std::string> env;

  // (a) Cold start.
  std::vector<StartRun> ours_runs, peer_runs;
  StartRun snapshot;  // --timing: the installer's memory by mapping at its first frame
  {
    app_test::VendorService service({"--package", app_test::DemoPackagePath()});
    service.UseForInstaller(&user);
    std::map<std::string, std::string> ours_env;
    if (timing) ours_env["CORVANE_STARTUP_TIMING"] = "1";
    for (int run = 0; run < start_runs; ++run) {
      ours_runs.push_back(
          FirstFrame(x.display(), {app_test::InstallerPath(), "installPath:" + user.dir().Sub("a")},
                     ours_env));
      const std::string picture = CORVANE_SOURCE_DIR "/resources/themes/default/basic/bkg_top.png";
      peer_runs.push_back(
          FirstFrame(x.display(), {CORVANE_BINARY_DIR "/bench/minimal_gtk_image", picture}, env));
    }
    if (timing) {
      snapshot =
          FirstFrame(x.display(), {app_test::InstallerPath(), "installPath:" + user.dir().Sub("a")},
                     ours_env, /*mappings_at_frame=*/true);
    }
  }
  auto median_of = [](const std::vector<StartRun>& runs, double StartRun::*field) {
    std::vector<double> values;
    for (const StartRun& run : runs) values.push_back(run.*field);
    return Median(values);
  };
  const double ours = median_of(ours_runs, &StartRun::first_frame_ms);
  const double peer = median_of(peer_runs, &StartRun::first_frame_ms);
  const double ours_cpu = median_of(ours_runs, &StartRun::cpu_ms);
  const double peer_cpu = median_of(peer_runs, &StartRun::cpu_ms);
  const double ours_rss = median_of(ours_runs, &StartRun::rss_kb);
  const double peer_rss = median_of(peer_runs, &StartRun::rss_kb);
  std::printf("%-52s %10s %10s %8s %8s\n", "figure", "installer", "minimal", "ratio", "goal");
  const std::string start_figure =
      "cold start to first frame, median of " + std::to_string(start_runs) + ", ms";
  std::printf("%-52s %10.1f %10.1f %8.2f %8s\n", start_figure.c_str(), ours, peer, ours / peer,
              "<= 1.1");
  std::printf("%-52s %10.1f %10.1f %8.2f\n", "  CPU time in the first 2.5 s, median, ms", ours_cpu,
              peer_cpu, ours_cpu / peer_cpu);
  std::printf("%-52s %10.0f %10.0f %8.2f %8s\n", "resident memory 2.5 s after the start, KiB",
              ours_rss, peer_rss, ours_rss / peer_rss, "<= 1.15");
  const double ours_frame_rss = median_of(ours_runs, &StartRun::first_frame_rss_kb);
  const double peer_frame_rss = median_of(peer_runs, &StartRun::first_frame_rss_kb);
  std::printf("%-52s %10.0f %10.0f %8.2f\n", "  at the first frame (before the first upload), KiB",
              ours_frame_rss, peer_frame_rss, ours_frame_rss / peer_frame_rss);
  if (timing) {
    PrintPhases(ours_runs, ours);
    PrintMemory({snapshot}, peer_runs, &StartRun::frame_mappings,
                "resident KiB by mapping at the first frame (one run)");
    PrintMemory(ours_runs, peer_runs, &StartRun::mappings,
                "resident KiB by mapping after 2.5 s, median");
  }
  std::fflush(stdout);

  if (start_only) return 0;

  // (b) CPU through a 30 s download, then wake-ups on the idle installed page.
  {
    struct stat st;
    stat(app_test::DemoPackagePath().c_str(), &st);
    const long drip = std::max<long>(1, st.st_size / kDownloadSeconds);
    app_test::VendorService service(
        {"--package", app_test::DemoPackagePath(), "--drip", std::to_string(drip)});
    service.UseForInstaller(&user);
    Installer installer;
    if (!StartInstaller(&installer, &x, user.dir().Sub("b"))) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const pid_t pid = installer.process.pid();
    const std::string proc = "/proc/" + std::to_string(pid);
    x.Click(installer.rect.x + button->first, installer.rect.y + button->second);
    const auto clicked = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double cpu0 = CpuSeconds(proc + "/stat");
    const double ui0 = CpuSeconds(proc + "/task/" + std::to_string(pid) + "/stat");
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(kDownloadSeconds - 3));
    const double cpu1 = CpuSeconds(proc + "/stat");
    const double ui1 = CpuSeconds(proc + "/task/" + std::to_string(pid) + "/stat");
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const bool still_downloading = CountLines(service.StatisticsLines(), "DownloadTimeCost") == 0;
    std::printf("%-52s %9.3f%% %10s %8s %8s%s\n", "installer CPU while the ticker runs, one core",
                100.0 * (cpu1 - cpu0) / wall, "", "", "< 1 %",
                still_downloading ? "" : "  (download ended early)");
    std::printf("%-52s %9.3f%%\n", "  of it the UI thread", 100.0 * (ui1 - ui0) / wall);
    if (!WaitFor([&] { return CountLines(service.StatisticsLines(), "InstallResultReport") > 0; },
                 90)) {
      std::puts("installed page: not reached");
      return 1;
    }
    std::printf("%-52s %10.1f\n", "click to installed page, s",
                std::chrono::duration<double>(Clock::now() - clicked).count());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long w0 = AllThreadSwitches(pid);
    const long m0 = Switches(proc + "/task/" + std::to_string(pid) + "/status");
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const long w1 = AllThreadSwitches(pid);
    const long m1 = Switches(proc + "/task/" + std::to_string(pid) + "/status");
    std::printf("%-52s %10.1f %10s %8s %8s\n", "wake-ups/s on the idle installed page, all threads",
                (w1 - w0) / 5.0, "", "", "0");
    std::printf("%-52s %10.1f\n", "  of them the UI thread", (m1 - m0) / 5.0);
  }

  // (c) Click to the first byte requested.
  {
    app_test::VendorService service({"--package", app_test::DemoPackagePath()});
    service.UseForInstaller(&user);
    std::vector<double> latency;
    for (int run = 0; run < kClickRuns; ++run) {
      Installer installer;
      if (!StartInstaller(&installer, &x, user.dir().Sub("c"))) return 1;
      const int bx = installer.rect.x + button->first;
      const int by = installer.rect.y + button->second;
      XTestFakeMotionEvent(x.display(), -1, bx, by, CurrentTime);
      XSync(x.display(), False);
      std::this_thread::sleep_for(std::chrono::milliseconds(700));
      const size_t before = CountLines(service.AccessLines(), "downloadPackage");
      XTestFakeButtonEvent(x.display(), 1, True, CurrentTime);
      XTestFakeButtonEvent(x.display(), 1, False, CurrentTime);
      const double clicked = Seconds(Clock::now());
      XSync(x.display(), False);
      std::string line;
      WaitFor(
          [&] {
            for (const std::string& l : service.AccessLines()) {
              if (l.find("downloadPackage") != std::string::npos) line = l;
            }
            return CountLines(service.AccessLines(), "downloadPackage") > before;
          },
          10);
      if (Received(line) > 0) latency.push_back(1000.0 * (Received(line) - clicked));
      installer.process.Kill();
    }
    std::printf("%-52s %10.2f %10s %8s %8s\n", "click to first byte requested, median ms",
                Median(latency), "", "", "");
    std::printf("%-52s %10.2f   (%zu runs)\n", "click to first byte requested, p99 ms",
                Percentile(latency, 0.99), latency.size());
  }
  return 0;
}
