// The main window skin built, laid out and painted headlessly at 600 x 400:
// a full pass, a full relayout and repaint of a built tree, and a repaint of
// the progress bar alone as the install ticker moves it. Goal: a full pass
// below 3 ms.
//
// `--once=full` or `--once=progress` skips Google Benchmark and runs one warm
// pass (CountedFirstPass) plus exactly one pass of that case inside
// CountedFullPass or CountedProgressRepaint, so scripts/bench-instructions can count the
// instructions of that function alone under callgrind.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/string_util.h"
#include "bench/skin_resources.h"
#include "ui/builder/window_builder.h"
#include "ui/control/progress.h"
#include "ui/core/box.h"
#include "ui/core/window.h"
#include "ui/native/headless_window.h"

namespace {

bool InitOnce() {
  static const bool ok = bench::InitSkinResources();
  return ok;
}

// Built, laid out and painted once.
struct MainWindow : bench::MainWindowOn<ui::HeadlessWindow> {
  MainWindow() {
    native->SetWindowRect(ui::UiRect(0, 0, bench::kMainClient.cx, bench::kMainClient.cy), false);
    native->PaintAll();
  }
};

void BM_BuildLayoutPaint(benchmark::State& state) {
  if (!InitOnce()) {
    state.SkipWithError("resources not found");
    return;
  }
  for (auto _ : state) {
    MainWindow main;
    benchmark::DoNotOptimize(main.root);
    if (!main.root) state.SkipWithError("basic.xml did not build");
  }
}
BENCHMARK(BM_BuildLayoutPaint)->Unit(benchmark::kMicrosecond);

void BM_RelayoutRepaint(benchmark::State& state) {
  if (!InitOnce()) {
    state.SkipWithError("resources not found");
    return;
  }
  MainWindow main;
  for (auto _ : state) {
    main.root->RelayoutSelf();
    main.native->PaintAll();
  }
}
BENCHMARK(BM_RelayoutRepaint)->Unit(benchmark::kMicrosecond);

// The main window on its install page, painted once, with its progress bar.
struct InstallPage {
  InstallPage() {
    main.window->FindControl(L"welcompage")->SetVisible(false);
    main.window->FindControl(L"installpage")->SetVisible(true);
    main.native->PaintAll();
    progress = dynamic_cast<ui::Progress*>(main.window->FindControl(L"progress_install"));
  }
  void Step() {
    progress->SetValue(value);
    value = (value + 1) % 101;
    main.native->PaintPending();
  }
  MainWindow main;
  ui::Progress* progress = nullptr;
  int value = 0;
};

void BM_ProgressRepaint(benchmark::State& state) {
  if (!InitOnce()) {
    state.SkipWithError("resources not found");
    return;
  }
  InstallPage page;
  if (!page.progress) {
    state.SkipWithError("no progress bar");
    return;
  }
  for (auto _ : state) page.Step();
  state.counters["area_px"] =
      page.progress->GetPos().GetWidth() * page.progress->GetPos().GetHeight();
}
BENCHMARK(BM_ProgressRepaint)->Unit(benchmark::kMicrosecond);

// Never inlined nor folded together, so callgrind finds each by name.
__attribute__((noipa)) bool CountedFullPass() {
  MainWindow main;
  return main.root != nullptr;
}

// The first pass of the process, which also fills the image, font and
// class caches.
__attribute__((noipa)) bool CountedFirstPass() {
  MainWindow main;
  return main.root != nullptr;
}

__attribute__((noipa)) void CountedProgressRepaint(InstallPage* page) {
  page->Step();
}

int RunOnce(const char* which) {
  if (!InitOnce()) {
    std::fprintf(stderr, "resources not found\n");
    return 1;
  }
  if (std::strcmp(which, "full") == 0) {
    // The full pass is counted with warm caches, as the benchmark's
    // iterations run.
    const bool ok = CountedFirstPass() && CountedFullPass();
    if (!ok) std::fprintf(stderr, "basic.xml did not build\n");
    return ok ? 0 : 1;
  }
  if (std::strcmp(which, "progress") == 0) {
    InstallPage page;
    if (!page.progress) {
      std::fprintf(stderr, "no progress bar\n");
      return 1;
    }
    page.Step();
    CountedProgressRepaint(&page);
    return 0;
  }
  std::fprintf(stderr, "--once takes full or progress\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--once=", 7) == 0) return RunOnce(argv[i] + 7);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
