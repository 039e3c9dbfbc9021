// One typical installer frame (600 x 400: background, banner image, four
// nine-slice buttons with text, a progress bar, six lines of CJK text) drawn
// through the render interfaces and, for comparison, with Cairo and Pango
// directly. Prints the time per frame and the ratio of the two.

#include <benchmark/benchmark.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "ui/core/global_manager.h"
#include "ui/render/linux/render_cairo.h"

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 400;

const wchar_t* const kButtons[] = {L"立即安装", L"自定义安装", L"立即体验", L"重新安装"};
const wchar_t* const kLines[] = {L"欢迎使用Corvane视频转换器", L"正在下载安装包，请稍候",
                                 L"安装目录：/opt/corvane",    L"已阅读并同意《用户协议》",
                                 L"支持多种视频格式快速转换",  L"安装完成后即可开始体验"};

struct Frame {
  cairo_surface_t* banner;  // 600 x 256, opaque gradient
  cairo_surface_t* button;  // 60 x 30 with alpha, corners 5
  cairo_surface_t* track;   // 20 x 8, corners 4
  cairo_surface_t* fill;    // 20 x 8, corners 4
  int font;
};

cairo_surface_t* Gradient(int width, int height, double alpha, double r, double g, double b) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_pattern_t* pattern = cairo_pattern_create_linear(0, 0, width, height);
  cairo_pattern_add_color_stop_rgba(pattern, 0, r, g, b, alpha);
  cairo_pattern_add_color_stop_rgba(pattern, 1, b, r, g, alpha);
  cairo_set_source(cr, pattern);
  cairo_paint(cr);
  cairo_pattern_destroy(pattern);
  cairo_destroy(cr);
  return surface;
}

const Frame& GetFrame() {
  static const Frame frame = [] {
    ui::GlobalManager::AddFont(L"WenQuanYi Micro Hei", 14, false, false, false);
    return Frame{Gradient(600, 256, 1.0, 0.1, 0.4, 0.8), Gradient(60, 30, 0.9, 0.9, 0.5, 0.1),
                 Gradient(20, 8, 1.0, 0.8, 0.8, 0.8), Gradient(20, 8, 1.0, 0.2, 0.7, 0.3),
                 ui::GlobalManager::GetFontCount() - 1};
  }();
  return frame;
}

ui::UiRect ButtonRect(int i) {
  return ui::UiRect(30 + i * 140, 330, 150 + i * 140, 370);
}
ui::UiRect LineRect(int i) {
  return ui::UiRect(40, 40 + i * 30, 560, 64 + i * 30);
}

// ---- Through the render interfaces, as the controls paint ----

void PaintWithInterfaces(ui::IRenderContext* rc, const Frame& f) {
  const ui::UiRect all(0, 0, kWidth, kHeight);
  rc->DrawColor(all, 0xFFF4F6F8u);
  {
    ui::AutoClip clip(rc, ui::UiRect(0, 0, 600, 256));
    rc->DrawImage(all, f.banner, false, ui::UiRect(0, 0, 600, 256), ui::UiRect(0, 0, 600, 256),
                  ui::UiRect());
  }
  for (int i = 0; i < 4; ++i) {
    ui::UiRect r = ButtonRect(i);
    ui::AutoClip clip(rc, r);
    rc->DrawImage(all, f.button, true, r, ui::UiRect(0, 0, 60, 30), ui::UiRect(5, 5, 5, 5));
    rc->DrawText(r, kButtons[i], 0xFFFFFFFFu, f.font,
                 ui::DT_CENTER | ui::DT_VCENTER | ui::DT_SINGLELINE);
  }
  {
    ui::UiRect bar(40, 290, 560, 298);
    ui::AutoClip clip(rc, bar);
    rc->DrawImage(all, f.track, false, bar, ui::UiRect(0, 0, 20, 8), ui::UiRect(4, 4, 4, 4));
    ui::UiRect done(40, 290, 352, 298);
    rc->DrawImage(all, f.fill, false, done, ui::UiRect(0, 0, 20, 8), ui::UiRect(4, 4, 4, 4));
  }
  for (int i = 0; i < 6; ++i) {
    ui::UiRect r = LineRect(i);
    ui::AutoClip clip(rc, r);
    rc->DrawText(r, kLines[i], 0xFF202020u, f.font,
                 ui::DT_SINGLELINE | ui::DT_VCENTER | ui::DT_END_ELLIPSIS);
  }
}

// ---- The same picture with Cairo and Pango directly ----

void DirectPiece(cairo_t* cr, cairo_surface_t* src, double dx, double dy, double dw, double dh,
                 double sx, double sy, double sw, double sh, bool opaque) {
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  cairo_save(cr);
  cairo_rectangle(cr, dx, dy, dw, dh);
  if (dw == sw && dh == sh) {
    cairo_set_source_surface(cr, src, dx - sx, dy - sy);
    cairo_fill(cr);
  } else {
    cairo_surface_t* sub = cairo_surface_create_for_rectangle(src, sx, sy, sw, sh);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(sub);
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, sw / dw, sh / dh);
    cairo_matrix_translate(&m, -dx, -dy);
    cairo_pattern_set_matrix(pattern, &m);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
    if (opaque) cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source(cr, pattern);
    cairo_fill(cr);
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(sub);
  }
  cairo_restore(cr);
}

void DirectNineSlice(cairo_t* cr, cairo_surface_t* src, int sw, int sh, const ui::UiRect& d, int c,
                     bool opaque) {
  const double xs[] = {0, static_cast<double>(c), static_cast<double>(sw - c),
                       static_cast<double>(sw)};
  const double ys[] = {0, static_cast<double>(c), static_cast<double>(sh - c),
                       static_cast<double>(sh)};
  const double xd[] = {static_cast<double>(d.left), static_cast<double>(d.left + c),
                       static_cast<double>(d.right - c), static_cast<double>(d.right)};
  const double yd[] = {static_cast<double>(d.top), static_cast<double>(d.top + c),
                       static_cast<double>(d.bottom - c), static_cast<double>(d.bottom)};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      DirectPiece(cr, src, xd[col], yd[row], xd[col + 1] - xd[col], yd[row + 1] - yd[row], xs[col],
                  ys[row], xs[col + 1] - xs[col], ys[row + 1] - ys[row], opaque);
    }
  }
}

void DirectText(cairo_t* cr, PangoContext* context, const PangoFontDescription* font,
                const std::string& text, const ui::UiRect& r, bool center, bool ellipsis,
                double red, double green, double blue, double alpha) {
  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  if (ellipsis) {
    pango_layout_set_width(layout, r.GetWidth() * PANGO_SCALE);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  }
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  double x = center ? r.left + (r.GetWidth() - width) / 2 : r.left;
  double y = r.top + (r.GetHeight() - height) / 2;
  cairo_save(cr);
  cairo_rectangle(cr, r.left, r.top, r.GetWidth(), r.GetHeight());
  cairo_clip(cr);
  cairo_set_source_rgba(cr, red, green, blue, alpha);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

struct DirectState {
  PangoContext* pango;
  std::vector<std::string> buttons;
  std::vector<std::string> lines;
};

void PaintDirect(cairo_t* cr, const DirectState& state, const Frame& f) {
  const PangoFontDescription* font = ui::GlobalManager::GetFont(f.font)->desc;
  cairo_set_source_rgb(cr, 0xF4 / 255.0, 0xF6 / 255.0, 0xF8 / 255.0);
  cairo_rectangle(cr, 0, 0, kWidth, kHeight);
  cairo_fill(cr);
  cairo_set_source_surface(cr, f.banner, 0, 0);
  cairo_rectangle(cr, 0, 0, 600, 256);
  cairo_fill(cr);
  for (int i = 0; i < 4; ++i) {
    ui::UiRect r = ButtonRect(i);
    cairo_save(cr);
    cairo_rectangle(cr, r.left, r.top, r.GetWidth(), r.GetHeight());
    cairo_clip(cr);
    DirectNineSlice(cr, f.button, 60, 30, r, 5, false);
    DirectText(cr, state.pango, font, state.buttons[i], r, true, false, 1, 1, 1, 254 / 255.0);
    cairo_restore(cr);
  }
  DirectNineSlice(cr, f.track, 20, 8, ui::UiRect(40, 290, 560, 298), 4, true);
  DirectNineSlice(cr, f.fill, 20, 8, ui::UiRect(40, 290, 352, 298), 4, true);
  for (int i = 0; i < 6; ++i) {
    DirectText(cr, state.pango, font, state.lines[i], LineRect(i), false, true, 0x20 / 255.0,
               0x20 / 255.0, 0x20 / 255.0, 1.0);
  }
}

void BM_FrameThroughInterfaces(benchmark::State& state) {
  const Frame& f = GetFrame();
  ui::RenderFactoryCairo factory;
  auto rc = factory.CreateRenderContext();
  rc->Resize(kWidth, kHeight);
  for (auto _ : state) {
    rc->Resize(kWidth, kHeight);  // unchanged size: the bitmap is kept, as each frame does
    rc->Clear();
    PaintWithInterfaces(rc.get(), f);
    benchmark::DoNotOptimize(rc->GetBits());
  }
}
BENCHMARK(BM_FrameThroughInterfaces)->Unit(benchmark::kMicrosecond);

void BM_FrameDirectCairo(benchmark::State& state) {
  const Frame& f = GetFrame();
  DirectState direct{pango_font_map_create_context(pango_cairo_font_map_get_default()), {}, {}};
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(direct.pango, options);
  cairo_font_options_destroy(options);
  for (const wchar_t* text : kButtons) direct.buttons.push_back(nbase::WideToUTF8(text));
  for (const wchar_t* text : kLines) direct.lines.push_back(nbase::WideToUTF8(text));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  for (auto _ : state) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    PaintDirect(cr, direct, f);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  g_object_unref(direct.pango);
}
BENCHMARK(BM_FrameDirectCairo)->Unit(benchmark::kMicrosecond);

// Keeps each benchmark's time per iteration for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        double iterations = static_cast<double>(run.iterations);
        real_us_[run.run_name.function_name] = run.real_accumulated_time * 1e6 / iterations;
        cpu_us_[run.run_name.function_name] = run.cpu_accumulated_time * 1e6 / iterations;
      }
    }
  }
  // "ours / direct" for one of the time maps; 0 when either is missing.
  void PrintRatio(const char* what, const std::map<std::string, double>& times) const {
    auto ours = times.find("BM_FrameThroughInterfaces");
    auto direct = times.find("BM_FrameDirectCairo");
    if (ours == times.end() || direct == times.end() || direct->second <= 0) return;
    std::printf(
        "%s per frame: through interfaces %.1f us, direct Cairo/Pango %.1f us, ratio %.3f "
        "(goal <= 1.2)\n",
        what, ours->second, direct->second, ours->second / direct->second);
  }
  void PrintRatios() const {
    PrintRatio("cpu time", cpu_us_);
    PrintRatio("wall time", real_us_);
  }

 private:
  std::map<std::string, double> real_us_;
  std::map<std::string, double> cpu_us_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.PrintRatios();
  // CORVANE_RENDER_PNG=<file> also writes the frame, to look at.
  if (const char* png = std::getenv("CORVANE_RENDER_PNG")) {
    ui::RenderFactoryCairo factory;
    auto rc = factory.CreateRenderContext();
    rc->Resize(kWidth, kHeight);
    PaintWithInterfaces(rc.get(), GetFrame());
    cairo_surface_write_to_png(rc->GetSurface(), png);
  }
  return 0;
}
