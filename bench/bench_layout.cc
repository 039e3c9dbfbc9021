// The main window skin built, laid out and painted headlessly at 600 x 400:
// a full pass, a full relayout and repaint of a built tree, and a repaint of
// the progress bar alone as the install ticker moves it. Goal: a full pass
// below 3 ms.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/string_util.h"
#include "ui/builder/window_builder.h"
#include "ui/control/progress.h"
#include "ui/core/box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/image/image_cache.h"
#include "ui/native/headless_window.h"
#include "ui/render/render_cairo.h"

namespace {

constexpr ui::CSize kClient(600, 400);

// The source tree's resources folder, found upwards from the binary.
std::filesystem::path FindResources() {
  std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  for (; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
    if (std::filesystem::exists(dir / "resources/themes/default/basic/basic.xml")) {
      return dir / "resources";
    }
  }
  return {};
}

bool InitOnce() {
  static const bool ok = [] {
    const std::filesystem::path resources = FindResources();
    if (resources.empty()) return false;
    ui::GlobalManager::SetRenderFactory(std::make_unique<ui::RenderFactoryCairo>());
    ui::GlobalManager::SetImageLoader(ui::MakeSkinImageLoader());
    ui::GlobalManager::SetResourceRoot(nbase::UTF8ToWide((resources / "themes/default").string()));
    ui::WindowBuilder().Build(L"global.xml");
    return true;
  }();
  return ok;
}

// Tags without a control class yet (the rich edit) take their place in the
// layout as plain controls; the library's own tags build the real controls.
ui::Control* StandIn(const std::wstring&) {
  return new ui::Control();
}

struct MainWindow {
  MainWindow() {
    auto native_window = std::make_unique<ui::HeadlessWindow>();
    native = native_window.get();
    native->Create(nullptr, L"bench", ui::UiRect(0, 0, kClient.cx, kClient.cy), false);
    window = std::make_unique<ui::Window>();
    window->SetLayered(false);
    window->Init(std::move(native_window));
    window->SetResourcePath(L"basic/");
    ui::WindowBuilder builder;
    root = builder.Build(L"basic/basic.xml", StandIn, window.get());
    if (root) window->AttachDialog(root);
    native->SetWindowRect(ui::UiRect(0, 0, kClient.cx, kClient.cy), false);
    native->PaintAll();
  }
  ui::HeadlessWindow* native = nullptr;
  std::unique_ptr<ui::Window> window;
  ui::Control* root = nullptr;
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

void BM_ProgressRepaint(benchmark::State& state) {
  if (!InitOnce()) {
    state.SkipWithError("resources not found");
    return;
  }
  MainWindow main;
  main.window->FindControl(L"welcompage")->SetVisible(false);
  main.window->FindControl(L"installpage")->SetVisible(true);
  main.native->PaintAll();
  auto* progress = dynamic_cast<ui::Progress*>(main.window->FindControl(L"progress_install"));
  if (!progress) {
    state.SkipWithError("no progress bar");
    return;
  }
  int value = 0;
  for (auto _ : state) {
    progress->SetValue(value);
    value = (value + 1) % 101;
    main.native->PaintPending();
  }
  state.counters["area_px"] = progress->GetPos().GetWidth() * progress->GetPos().GetHeight();
}
BENCHMARK(BM_ProgressRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
