// The Windows installer's window under Wine on a private Xvfb, side by side
// with a minimal Win32 program that shows one PNG through GDI+ under the same
// Wine (bench/win/minimal_gdiplus_image.cc): cold start to the first painted
// frame and resident memory after it. Both builds must exist: build/ (this
// program) and the Windows build (scripts/test --windows). Prints figures;
// never fails on them.
//
// It keeps its own wineserver for the prefix (build-win/wineprefix unless
// WINEPREFIX is set), so it must not run beside scripts/test --windows of the
// same build.

#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "bench/window_timing.h"
#include "desktop_process_support.h"
#include "tests/app/app_test_support.h"
#include "tools/window_driver/window_driver.h"

namespace {

constexpr int kRuns = 7;
constexpr char kWindowsBuild[] = CORVANE_WINDOWS_BINARY_DIR;

// Runs a Wine tool to its end with no pipes to it: wineserver and the
// prefix's services live on after it and would hold a pipe open for ever.
int RunQuietly(const std::vector<std::string>& argv, int timeout_ms) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
    execvp(args[0], args.data());
    _exit(127);
  }
  if (pid < 0) return -1;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What ships is stripped: under Wine an image's sections, the debugging
// ones too, are read whole into memory at the start, which would add the
// debug build's 37 MB to the installer's start and memory.
std::string Stripped(const std::string& exe, const std::string& dir) {
  const std::string out = dir + exe.substr(exe.rfind('/'));
  if (RunQuietly({CORVANE_MINGW_STRIP, "-o", out, exe}, 60000) == 0) return out;
  std::fprintf(stderr, "bench_windows_window: cannot strip %s; measuring it as built\n",
               exe.c_str());
  return exe;
}

std::string WineServer(const std::string& wine) {
  const size_t slash = wine.rfind('/');
  return slash == std::string::npos ? "wineserver" : wine.substr(0, slash + 1) + "wineserver";
}

struct Column {
  std::vector<double> shown_ms, ms, cpu_ms, frame_rss_kb, rss_kb;
  std::vector<bench::FirstFrame> runs;
  int missed = 0;

  void Add(const bench::FirstFrame& f) {
    if (f.ms < 0) {
      ++missed;
      return;
    }
    shown_ms.push_back(f.shown_ms);
    ms.push_back(f.ms);
    cpu_ms.push_back(f.cpu_ms);
    frame_rss_kb.push_back(static_cast<double>(f.frame_rss_kb));
    rss_kb.push_back(static_cast<double>(f.rss_kb));
    runs.push_back(f);
  }
};

void Row(const char* name, const std::vector<double>& ours, const std::vector<double>& peer,
         double scale, const char* goal) {
  using bench::Median;
  const double a = Median(ours) * scale, b = Median(peer) * scale;
  std::printf("%-46s %10.1f %10.1f %8.2f %8s\n", name, a, b, b > 0 ? a / b : 0, goal);
}

// Wine's performance counter, which a Windows program's steady clock reads,
// runs on CLOCK_MONOTONIC_RAW: how far it is ahead of this program's clock.
double WineClockAheadMs() {
  timespec raw, mono;
  clock_gettime(CLOCK_MONOTONIC_RAW, &raw);
  clock_gettime(CLOCK_MONOTONIC, &mono);
  return static_cast<double>(raw.tv_sec - mono.tv_sec) * 1e3 +
         static_cast<double>(raw.tv_nsec - mono.tv_nsec) / 1e6;
}

// The installer's phase stamps, medians in the order they came.
void PrintPhases(const Column& ours, const Column& peer) {
  if (ours.runs.empty() || ours.runs.front().phases.empty()) {
    std::puts("  (no phase stamps from the installer)");
    return;
  }
  std::printf("%-46s %10s %10s\n", "installer start-up, median ms after the start", "at", "step");
  std::vector<std::pair<double, std::string>> medians;
  const double ahead = WineClockAheadMs();
  for (const auto& [name, unused] : ours.runs.front().phases) {
    std::vector<double> at;
    for (const bench::FirstFrame& run : ours.runs) {
      for (const auto& [n, ms] : run.phases) {
        if (n == name) {
          at.push_back(ms - ahead);
          break;
        }
      }
    }
    medians.emplace_back(bench::Median(at), name);
  }
  std::vector<double> mapped, peer_mapped;
  for (const bench::FirstFrame& run : ours.runs) mapped.push_back(run.mapped_ms);
  for (const bench::FirstFrame& run : peer.runs) peer_mapped.push_back(run.mapped_ms);
  medians.emplace_back(bench::Median(mapped), "window mapped on the X server");
  medians.emplace_back(bench::Median(ours.shown_ms), "first frame shown on the screen");
  medians.emplace_back(bench::Median(ours.ms), "fade-in ended on the screen");
  std::printf("  (the minimal program: mapped at %.1f ms, first frame at %.1f ms)\n",
              bench::Median(peer_mapped), bench::Median(peer.shown_ms));
  std::stable_sort(medians.begin(), medians.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  double previous = 0;
  for (const auto& [median, name] : medians) {
    std::printf("  %-44s %10.1f %10.1f\n", name.c_str(), median, median - previous);
    previous = median;
  }
}

// Resident memory by mapping 2.5 s after the start, medians, where the two
// programs differ most: under Wine a DLL's image is a mapping of its own.
void PrintMappings(const Column& ours, const Column& peer) {
  std::map<std::string, std::pair<std::vector<double>, std::vector<double>>> by_name;
  for (const bench::FirstFrame& run : ours.runs)
    for (const auto& [name, kb] : run.mappings) by_name[name].first.push_back(kb);
  for (const bench::FirstFrame& run : peer.runs)
    for (const auto& [name, kb] : run.mappings) by_name[name].second.push_back(kb);
  std::vector<std::tuple<double, std::string, double, double>> rows;
  for (auto& [name, kb] : by_name) {
    kb.first.resize(ours.runs.size());
    kb.second.resize(peer.runs.size());
    const double a = bench::Median(kb.first), b = bench::Median(kb.second);
    rows.emplace_back(a - b, name, a, b);
  }
  std::sort(rows.begin(), rows.end(), [](const auto& l, const auto& r) {
    return std::abs(std::get<0>(l)) > std::abs(std::get<0>(r));
  });
  std::printf("%-46s %10s %10s %8s\n", "resident KiB by mapping after 2.5 s", "installer",
              "minimal", "diff");
  for (size_t i = 0; i < rows.size() && i < 24; ++i) {
    const auto& [diff, name, a, b] = rows[i];
    if (std::abs(diff) < 64) break;
    std::printf("  %-44s %10.0f %10.0f %+8.0f\n", name.substr(0, 44).c_str(), a, b, diff);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // --runs N: cold starts of each program (at least 7), interleaved;
  // --timing: the installer's start-up phases and both programs' memory by
  // mapping.
  int runs = kRuns;
  bool timing = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    timing |= arg == "--timing";
    if (arg == "--runs" && i + 1 < argc) runs = std::max(kRuns, std::atoi(argv[++i]));
  }
  const std::string built_installer = std::string(kWindowsBuild) + "/app/corvane-installer.exe";
  const std::string built_minimal = std::string(kWindowsBuild) + "/bench/minimal_gdiplus_image.exe";
  for (const std::string& file : {built_installer, built_minimal}) {
    if (!app_test::FileExists(file)) {
      std::fprintf(stderr, "bench_windows_window: %s is missing; build the Windows target\n",
                   file.c_str());
      return 1;
    }
  }
  ui::XServer server;
  if (!server.Start()) {
    std::fputs("bench_windows_window: Xvfb cannot start\n", stderr);
    return 1;
  }
  app_test::ScopedUserEnvironment user;
  const std::string installer = Stripped(built_installer, user.dir().path());
  const std::string minimal = Stripped(built_minimal, user.dir().path());
  user.Set("DISPLAY", server.display());
  if (const char* prefix = std::getenv("WINEPREFIX"); !prefix || !*prefix) {
    user.Set("WINEPREFIX", std::string(kWindowsBuild) + "/wineprefix");
  }
  user.Set("WINEDEBUG", "-all");
  user.Set("WINEDLLOVERRIDES", "mscoree=;mshtml=");
  user.Set("CORVANE_PRODUCT_PROCESS_NAME", "corvane-bench-" + std::to_string(getpid()) + ".exe");
  const std::string wine = window_driver::WineLoader();
  const std::string wineserver = WineServer(wine);
  // Both programs start beside a running wineserver and the prefix's
  // services, as programs do on a running Windows. A server left from before
  // would keep its desktop on another display.
  RunQuietly({wineserver, "-k"}, 10000);
  RunQuietly({wineserver, "-w"}, 10000);
  RunQuietly({wineserver, "-p"}, 10000);
  if (RunQuietly({wine, "wineboot"}, 120000) != 0) {
    std::fputs("bench_windows_window: wineboot failed\n", stderr);
  }
  Display* display = XOpenDisplay(server.display().c_str());
  if (!display) {
    RunQuietly({wineserver, "-k"}, 10000);
    return 1;
  }

  Column ours, peer;
  {
    app_test::VendorService service({"--package", app_test::DemoPackagePath()});
    service.UseForInstaller(&user);
    const std::string picture = window_driver::WineFileName(CORVANE_SOURCE_DIR
                                                            "/resources/themes/default/basic/"
                                                            "bkg_top.png");
    const std::vector<std::string> ours_argv = {
        wine, installer, "installPath:" + window_driver::WineFileName(user.dir().Sub("a"))};
    const std::vector<std::string> peer_argv = {wine, minimal, picture};
    std::map<std::string, std::string> ours_env;
    if (timing) ours_env["CORVANE_STARTUP_TIMING"] = "1";
    // A first start of each fills the page cache; it is not counted.
    bench::MeasureFirstFrame(display, ours_argv, {}, installer);
    bench::MeasureFirstFrame(display, peer_argv, {}, minimal);
    for (int run = 0; run < runs; ++run) {
      const bench::FirstFrame a = bench::MeasureFirstFrame(display, ours_argv, ours_env, installer);
      const bench::FirstFrame b = bench::MeasureFirstFrame(display, peer_argv, {}, minimal);
      std::fprintf(stderr, "run %d/%d: installer %.0f ms %ld kB, minimal %.0f ms %ld kB\n", run + 1,
                   runs, a.shown_ms, a.frame_rss_kb, b.shown_ms, b.frame_rss_kb);
      ours.Add(a);
      peer.Add(b);
    }
  }
  XCloseDisplay(display);
  RunQuietly({wineserver, "-k"}, 10000);

  std::printf("Windows build under Wine on Xvfb, median of %d runs\n", runs);
  if (ours.missed || peer.missed) {
    std::printf("(no first frame in %d installer and %d minimal runs; left out)\n", ours.missed,
                peer.missed);
  }
  std::printf("%-46s %10s %10s %8s %8s\n", "figure", "installer", "minimal", "ratio", "goal");
  Row("cold start to the first frame shown, ms", ours.shown_ms, peer.shown_ms, 1, "<= 1.5");
  Row("  to the end of the window's fade-in, ms", ours.ms, peer.ms, 1, "");
  Row("  CPU time in the first 2.5 s, ms", ours.cpu_ms, peer.cpu_ms, 1, "");
  Row("resident memory at the first frame, MB", ours.frame_rss_kb, peer.frame_rss_kb, 1.0 / 1024,
      "<= 1.3");
  Row("  2.5 s after the start, MB", ours.rss_kb, peer.rss_kb, 1.0 / 1024, "");
  if (timing) {
    PrintPhases(ours, peer);
    PrintMappings(ours, peer);
  }
  return 0;
}
