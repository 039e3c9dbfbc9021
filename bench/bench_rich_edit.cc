// The text services against GtkTextView on the same work, side by side:
//  - load and lay out 1 MiB of mixed CJK/Latin text (every line measured);
//  - one keystroke at the end of a 10 000-line text: the edit, the relayout
//    and the repaint of the damaged lines;
//  - heap bytes held by the loaded 1 MiB text.
// The GtkTextView cases need a display (run under xvfb-run); the ratios are
// printed at the end.

#include <benchmark/benchmark.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "base/string_util.h"
#include "ui/render/render.h"
#include "ui/resource/linux/pango_font.h"
#include "ui/text/text_host.h"
#include "ui/text/text_services.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// About `bytes` of UTF-8: lines of Chinese and Latin words, 40 to 90 characters.
std::string MixedText(size_t bytes, int max_lines = 1 << 30) {
  static const char* const kWords[] = {"视频",     "转换器", "安装",    "Corvane",
                                       "install",  "目录",   "package", "下载",
                                       "progress", "完成",   "the",     "格式"};
  std::string text;
  unsigned seed = 7;
  int lines = 0;
  while (text.size() < bytes && lines < max_lines) {
    std::string line;
    const size_t target = 40 + (seed % 50);
    while (line.size() < target) {
      seed = seed * 1103515245 + 12345;
      line += kWords[(seed >> 16) % 12];
      if ((seed >> 8) % 3 == 0) line += ' ';
    }
    text += line;
    text += '\n';
    ++lines;
  }
  return text;
}

class BenchHost : public ui::TextHost {
 public:
  // The same font as the GtkTextView's.
  BenchHost()
      : font_(std::make_unique<ui::PangoNativeFont>(
            pango_font_description_from_string("WenQuanYi Micro Hei 11"))) {
    format_.mask = ui::CharFormat::kColor;
  }
  ui::UiRect TxGetClientRect() override { return ui::UiRect(0, 0, kWidth, kHeight); }
  const ui::CharFormat& TxGetCharFormat() override { return format_; }
  const ui::NativeFont* TxGetFont() override { return font_.get(); }
  const ui::ParaFormat& TxGetParaFormat() override { return para_; }
  uint32_t TxGetPropertyBits(uint32_t mask) override {
    return (ui::kTxtBitMultiLine | ui::kTxtBitWordWrap) & mask;
  }
  uint32_t TxGetScrollBars() override { return ui::kScrollVertical; }
  int TxGetMaxLength() override { return 1 << 30; }
  void TxSetScrollRange(bool, int, int) override {}
  void TxSetScrollPos(bool, int) override {}
  void TxInvalidateRect(const ui::UiRect* rect) override {
    damage_.Union(rect ? *rect : TxGetClientRect());
  }
  void TxCreateCaret(int, int) override {}
  void TxSetCaretPos(int, int) override {}
  void TxShowCaret(bool) override {}
  void TxSetTimer(int, int) override {}
  void TxKillTimer(int) override {}
  void TxSetCapture(bool) override {}
  void TxSetCursor(ui::TextCursor) override {}
  void TxSetFocus() override {}
  ui::Clipboard* TxGetClipboard() override { return nullptr; }
  void TxNotify(int, void*) override {}

  ui::UiRect TakeDamage() {
    ui::UiRect out = damage_;
    damage_ = ui::UiRect();
    return out;
  }

 private:
  std::unique_ptr<ui::PangoNativeFont> font_;
  ui::CharFormat format_;
  ui::ParaFormat para_;
  ui::UiRect damage_;
};

bool HaveGtk() {
  static const bool ok = gtk_init_check(nullptr, nullptr);
  return ok;
}

void Drain() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

// A text view in an off-screen window, sized like the services' area.
struct GtkView {
  GtkWidget* window;
  GtkWidget* view;
  GtkTextBuffer* buffer;
  GtkView() {
    window = gtk_offscreen_window_new();
    gtk_window_set_default_size(GTK_WINDOW(window), kWidth, kHeight);
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    view = gtk_text_view_new();
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD_CHAR);
    PangoFontDescription* desc = pango_font_description_from_string("WenQuanYi Micro Hei 11");
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_widget_override_font(view, desc);
    G_GNUC_END_IGNORE_DEPRECATIONS
    pango_font_description_free(desc);
    gtk_container_add(GTK_CONTAINER(scroller), view);
    gtk_container_add(GTK_CONTAINER(window), scroller);
    gtk_widget_show_all(window);
    buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    Drain();
  }
  ~GtkView() {
    gtk_widget_destroy(window);
    Drain();
  }
};

// Resident bytes of this process.
long ResidentBytes() {
  FILE* file = std::fopen("/proc/self/statm", "r");
  if (!file) return 0;
  long pages = 0, resident = 0;
  if (std::fscanf(file, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(file);
  return resident * sysconf(_SC_PAGESIZE);
}

// Loads the 1 MiB text into one side in a fresh process and prints how much
// the resident size grew; fresh so neither side reuses the other's pages.
int MeasureMemory(const std::string& side) {
  const std::string utf8 = MixedText(1 << 20);
  if (side == "gtk") {
    if (!HaveGtk()) return 1;
    GtkView view;
    const long before = ResidentBytes();
    gtk_text_buffer_set_text(view.buffer, utf8.data(), static_cast<int>(utf8.size()));
    Drain();
    std::printf("%ld\n", ResidentBytes() - before);
    return 0;
  }
  BenchHost host;
  {
    // Fonts and Pango's caches load once per process, as GTK's did above.
    ui::TextServices warm(&host);
    warm.SetText(nbase::UTF8ToWide(MixedText(4096)));
    benchmark::DoNotOptimize(warm.GetContentSize());
  }
  const long before = ResidentBytes();
  ui::TextServices services(&host);
  services.SetText(nbase::UTF8ToWide(utf8));
  benchmark::DoNotOptimize(services.GetContentSize());
  std::printf("%ld\n", ResidentBytes() - before);
  return 0;
}

double MeasureIn(const std::string& side) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n <= 0) return 0;
  self[n] = 0;
  const std::string command = std::string(self) + " --memory=" + side;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return 0;
  double value = 0;
  if (std::fscanf(pipe, "%lf", &value) != 1) value = 0;
  pclose(pipe);
  return value;
}

void BM_TextServicesLoad1MiB(benchmark::State& state) {
  const std::string utf8 = MixedText(1 << 20);
  const std::wstring text = nbase::UTF8ToWide(utf8);
  for (auto _ : state) {
    BenchHost host;
    ui::TextServices services(&host);
    services.SetText(text);
    benchmark::DoNotOptimize(services.GetContentSize());
  }
}
BENCHMARK(BM_TextServicesLoad1MiB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GtkTextViewLoad1MiB(benchmark::State& state) {
  if (!HaveGtk()) {
    state.SkipWithError("no display");
    return;
  }
  const std::string utf8 = MixedText(1 << 20);
  for (auto _ : state) {
    GtkView view;
    gtk_text_buffer_set_text(view.buffer, utf8.data(), static_cast<int>(utf8.size()));
    // Validation runs in idle steps until every line is measured.
    Drain();
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(view.buffer, &end);
    GdkRectangle rect;
    gtk_text_view_get_iter_location(GTK_TEXT_VIEW(view.view), &end, &rect);
    benchmark::DoNotOptimize(rect);
  }
}
BENCHMARK(BM_GtkTextViewLoad1MiB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TextServicesKeystrokeAt10000Lines(benchmark::State& state) {
  const std::wstring text = nbase::UTF8ToWide(MixedText(1 << 30, 10000));
  BenchHost host;
  ui::TextServices services(&host);
  services.SetText(text);
  services.SetSelection(services.GetTextLength(), services.GetTextLength());
  std::unique_ptr<ui::IRenderContext> context = ui::CreateRenderFactory()->CreateRenderContext();
  context->Resize(kWidth, kHeight);
  host.TakeDamage();
  for (auto _ : state) {
    services.OnChar(L'x');
    services.Draw(context.get(), host.TakeDamage());
  }
}
BENCHMARK(BM_TextServicesKeystrokeAt10000Lines)->Unit(benchmark::kMicrosecond);

void BM_GtkTextViewKeystrokeAt10000Lines(benchmark::State& state) {
  if (!HaveGtk()) {
    state.SkipWithError("no display");
    return;
  }
  const std::string utf8 = MixedText(1 << 30, 10000);
  GtkView view;
  gtk_text_buffer_set_text(view.buffer, utf8.data(), static_cast<int>(utf8.size()));
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(view.buffer, &end);
  gtk_text_buffer_place_cursor(view.buffer, &end);
  gtk_text_view_scroll_to_iter(GTK_TEXT_VIEW(view.view), &end, 0, FALSE, 0, 0);
  Drain();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  for (auto _ : state) {
    gtk_text_buffer_insert_at_cursor(view.buffer, "x", 1);
    Drain();
    gtk_container_check_resize(GTK_CONTAINER(view.window));
    // Repaint the damaged line only, as the services do.
    GtkTextIter cursor;
    gtk_text_buffer_get_iter_at_mark(view.buffer, &cursor, gtk_text_buffer_get_insert(view.buffer));
    GdkRectangle line;
    gtk_text_view_get_iter_location(GTK_TEXT_VIEW(view.view), &cursor, &line);
    int wx = 0, wy = 0;
    gtk_text_view_buffer_to_window_coords(GTK_TEXT_VIEW(view.view), GTK_TEXT_WINDOW_WIDGET, 0,
                                          line.y, &wx, &wy);
    cairo_save(cr);
    cairo_rectangle(cr, 0, wy, kWidth, line.height);
    cairo_clip(cr);
    gtk_widget_draw(view.view, cr);
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}
BENCHMARK(BM_GtkTextViewKeystrokeAt10000Lines)->Unit(benchmark::kMicrosecond);

void BM_MemoryFor1MiB(benchmark::State& state) {
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    ours = MeasureIn("services");
    theirs = MeasureIn("gtk");
  }
  state.counters["services_bytes"] = ours;
  state.counters["gtk_bytes"] = theirs;
  if (theirs > 0) {
    state.counters["ratio"] = ours / theirs;
    std::printf("memory 1 MiB: text services / GtkTextView = %.2fx (%.0f / %.0f bytes)\n",
                ours / theirs, ours, theirs);
  }
}
BENCHMARK(BM_MemoryFor1MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

// Collects the per-iteration times to print the ratios after the run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // Single runs, or the medians of repeated ones.
      if (run.error_occurred) continue;
      std::string name = run.benchmark_name();
      const size_t median = name.rfind("_median");
      if (median != std::string::npos) {
        name.erase(median);
      } else if (run.run_type == Run::RT_Aggregate) {
        continue;
      }
      times_[name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    Print("load 1 MiB", "BM_TextServicesLoad1MiB/iterations:3",
          "BM_GtkTextViewLoad1MiB/iterations:3");
    Print("keystroke", "BM_TextServicesKeystrokeAt10000Lines",
          "BM_GtkTextViewKeystrokeAt10000Lines");
  }

 private:
  void Print(const char* what, const std::string& ours, const std::string& theirs) {
    if (!times_.count(ours) || !times_.count(theirs) || times_[theirs] <= 0) return;
    std::printf("%s: text services / GtkTextView = %.2fx\n", what, times_[ours] / times_[theirs]);
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]).rfind("--memory=", 0) == 0) {
    return MeasureMemory(std::string(argv[1]).substr(9));
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
