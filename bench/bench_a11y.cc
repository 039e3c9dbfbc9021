// What the accessibility tree costs the main window on a real GTK window:
// build + show + layout + paint, and one progress step (value change and
// repaint), each in three modes:
//   0  nobody asked for the window's accessible (no tree, no observer),
//   1  the window's accessible made and asked for its children, as the
//      AT-SPI bridge does for a shown window (the tree observes the window),
//   2  as 1, with every control's object made (a screen reader that read the
//      whole window) and ATK event listeners in place (what the bridge
//      installs once a screen reader listens).
// Whether GTK loaded the bridge is the environment's choice: run it with
// NO_AT_BRIDGE=1 and inside a session with the accessibility bus to compare
// (bench/bench_a11y.sh does both and one with a listening client).
// Needs a display (run it under xvfb-run -a).

#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include <memory>

#include "bench/skin_resources.h"
#include "ui/builder/window_builder.h"
#include "ui/control/progress.h"
#include "ui/core/window.h"
#include "ui/host/linux/gtk_accessible.h"
#include "ui/native/linux/gtk_window.h"

namespace {

bool InitOnce() {
  static const bool ok = gtk_init_check(nullptr, nullptr) && bench::InitSkinResources();
  // The windows here are GTK windows without the host: they need the bridge as it does.
  if (ok) ui::UseGtkAccessibleBridge();
  return ok;
}

void Pump() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

gboolean Listener(GSignalInvocationHint*, guint, const GValue*, gpointer) {
  return TRUE;
}

// ATK listeners like the ones the bridge adds when a client listens.
void ListenOnce() {
  static const bool done = [] {
    // The listeners name their types, which must be registered first.
    g_type_ensure(ATK_TYPE_VALUE);
    g_type_ensure(ATK_TYPE_TEXT);
    for (const char* kind : {"Gtk:AtkObject:state-change", "Gtk:AtkObject:property-change",
                             "Gtk:AtkObject:children-changed", "Gtk:AtkValue:value-changed",
                             "Gtk:AtkText:text-insert", "Gtk:AtkText:text-remove"}) {
      atk_add_global_event_listener(Listener, kind);
    }
    return true;
  }();
  (void)done;
}

int Walk(AtkObject* object) {
  int count = 1;
  const gint n = atk_object_get_n_accessible_children(object);
  for (gint i = 0; i < n; ++i) {
    AtkObject* child = atk_object_ref_accessible_child(object, i);
    if (!child) continue;
    atk_object_get_name(child);
    AtkStateSet* states = atk_object_ref_state_set(child);
    g_object_unref(states);
    count += Walk(child);
    g_object_unref(child);
  }
  return count;
}

struct MainWindow : bench::MainWindowOn<ui::GtkNativeWindow> {
  explicit MainWindow(int mode) {
    native->Show(true, false);
    if (mode >= 1) {
      AtkObject* top = gtk_widget_get_accessible(native->GetWidget());
      atk_object_get_n_accessible_children(top);
      if (mode >= 2) {
        ListenOnce();
        objects = Walk(top);
      }
    }
    window->Paint(ui::UiRect(0, 0, bench::kMainClient.cx, bench::kMainClient.cy));
    Pump();
  }
  ~MainWindow() {
    window.reset();
    Pump();
  }
  int objects = 0;
};

void BM_OpenMainWindow(benchmark::State& state) {
  if (!InitOnce()) {
    state.SkipWithError("no display or resources");
    return;
  }
  int objects = 0;
  for (auto _ : state) {
    MainWindow main(static_cast<int>(state.range(0)));
    objects = main.objects;
    if (!main.root) state.SkipWithError("basic.xml did not build");
  }
  state.counters["objects"] = objects;
}
BENCHMARK(BM_OpenMainWindow)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ProgressStep(benchmark::State& state) {
  if (!InitOnce()) {
    state.SkipWithError("no display or resources");
    return;
  }
  MainWindow main(0);
  main.window->FindControl(L"welcompage")->SetVisible(false);
  main.window->FindControl(L"installpage")->SetVisible(true);
  if (state.range(0) >= 1) {
    AtkObject* top = gtk_widget_get_accessible(main.native->GetWidget());
    atk_object_get_n_accessible_children(top);
    if (state.range(0) >= 2) {
      ListenOnce();
      Walk(top);
    }
  }
  auto* progress = dynamic_cast<ui::Progress*>(main.window->FindControl(L"progress_install"));
  if (!progress) {
    state.SkipWithError("no progress bar");
    return;
  }
  main.window->Paint(ui::UiRect(0, 0, bench::kMainClient.cx, bench::kMainClient.cy));
  int value = 0;
  for (auto _ : state) {
    progress->SetValue(value);
    value = (value + 1) % 101;
    main.window->Paint(progress->GetPos());
  }
  state.counters["objects"] =
      static_cast<double>(ui::CountControlAccessibles(main.native->GetWidget()));
}
BENCHMARK(BM_ProgressStep)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
