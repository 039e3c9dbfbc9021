// The Windows installer's window under Wine on a private Xvfb, side by side
// with a minimal Win32 program that shows one PNG through GDI+ under the same
// Wine (bench/win/minimal_gdiplus_image.cc): cold start to the first painted
// frame and resident memory after it. Both builds must exist: build/ (this
// program) and the Windows build (scripts/test --windows). Prints figures;
// never fails on them.

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/window_timing.h"
#include "desktop_process_support.h"
#include "tests/app/app_test_support.h"
#include "tools/window_driver/window_driver.h"

namespace {

constexpr int kRuns = 7;
constexpr char kWindowsBuild[] = CORVANE_WINDOWS_BINARY_DIR;

}  // namespace

int main() {
  const std::string installer = std::string(kWindowsBuild) + "/app/corvane-installer.exe";
  const std::string minimal = std::string(kWindowsBuild) + "/bench/minimal_gdiplus_image.exe";
  for (const std::string& file : {installer, minimal}) {
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
  user.Set("DISPLAY", server.display());
  if (const char* prefix = std::getenv("WINEPREFIX"); !prefix || !*prefix) {
    user.Set("WINEPREFIX", std::string(kWindowsBuild) + "/wineprefix");
  }
  user.Set("WINEDEBUG", "-all");
  user.Set("WINEDLLOVERRIDES", "mscoree=;mshtml=");
  user.Set("CORVANE_PRODUCT_PROCESS_NAME", "corvane-bench-" + std::to_string(getpid()) + ".exe");
  const std::string wine = window_driver::WineLoader();
  // Both programs start beside a running wineserver and its services, as
  // programs do on a running Windows; it ends by itself 10 s after the last
  // program.
  {
    ui::ChildProcess server_start;
    const std::string wineserver = wine.rfind("wine64") == wine.size() - 6
                                       ? wine.substr(0, wine.size() - 6) + "wineserver"
                                       : "wineserver";
    server_start.Start({wineserver, "-p10"});
    server_start.Wait(10000);
    ui::ChildProcess boot;
    boot.Start({wine, "wineboot"});
    boot.Wait(60000);
  }
  Display* display = XOpenDisplay(server.display().c_str());
  if (!display) return 1;

  app_test::VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&user);
  const std::string picture =
      window_driver::WineFileName(CORVANE_SOURCE_DIR "/resources/themes/default/basic/bkg_top.png");
  const std::vector<std::string> ours = {
      wine, installer, "installPath:" + window_driver::WineFileName(user.dir().Sub("a"))};
  const std::vector<std::string> peer = {wine, minimal, picture};
  // A first start of each fills the page cache; it is not counted.
  bench::MeasureFirstFrame(display, ours, {});
  bench::MeasureFirstFrame(display, peer, {});
  std::vector<double> ours_ms, peer_ms, ours_cpu, peer_cpu, ours_rss, peer_rss;
  for (int run = 0; run < kRuns; ++run) {
    const bench::FirstFrame a = bench::MeasureFirstFrame(display, ours, {});
    const bench::FirstFrame b = bench::MeasureFirstFrame(display, peer, {});
    ours_ms.push_back(a.ms);
    peer_ms.push_back(b.ms);
    ours_cpu.push_back(a.cpu_ms);
    peer_cpu.push_back(b.cpu_ms);
    ours_rss.push_back(static_cast<double>(a.rss_kb));
    peer_rss.push_back(static_cast<double>(b.rss_kb));
  }
  XCloseDisplay(display);
  using bench::Median;
  std::printf("Windows build under Wine on Xvfb, median of %d runs\n", kRuns);
  std::printf("%-46s %10s %10s %8s %8s\n", "figure", "installer", "minimal", "ratio", "goal");
  std::printf("%-46s %10.1f %10.1f %8.2f %8s\n", "cold start to first painted frame, ms",
              Median(ours_ms), Median(peer_ms), Median(ours_ms) / Median(peer_ms), "<= 1.5");
  std::printf("%-46s %10.1f %10.1f %8.2f\n", "  CPU time in the first 2.5 s, ms", Median(ours_cpu),
              Median(peer_cpu), Median(ours_cpu) / Median(peer_cpu));
  std::printf("%-46s %10.0f %10.0f %8.2f %8s\n", "resident memory after the first frame, kB",
              Median(ours_rss), Median(peer_rss), Median(ours_rss) / Median(peer_rss), "<= 1.3");
  return 0;
}
