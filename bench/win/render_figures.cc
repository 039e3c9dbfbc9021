// One typical installer frame (600 x 400: background, banner image, four
// nine-slice buttons with text, a progress bar, six lines of CJK text)
// drawn through the render interfaces (the GDI+ back end) and, for
// comparison, with GDI+ directly into the same kind of pixels. A plain
// self-timing program (no Google Benchmark for mingw); scripts/bench-render-win
// runs it under Wine. Prints the median time per frame and the ratio, and
// what a partial repaint over a stretched picture costs.
//   render_figures [FRAMES]   frames timed per way (default 200)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "ui/core/global_manager.h"
#include "ui/render/win/gdi_pixels.h"
#include "ui/render/win/gdiplus_session.h"
#include "ui/render/win/render_gdiplus.h"
#include "ui/resource/win/gdi_font.h"

namespace {

namespace gp = Gdiplus::DllExports;

constexpr int kWidth = 600;
constexpr int kHeight = 400;

const wchar_t* const kButtons[] = {L"立即安装", L"自定义安装", L"立即体验", L"重新安装"};
const wchar_t* const kLines[] = {L"欢迎使用Corvane视频转换器",
                                 L"正在下载安装包，请稍候",
                                 L"安装目录：C:\\Program Files\\corvane",
                                 L"已阅读并同意《用户协议》",
                                 L"支持多种视频格式快速转换",
                                 L"安装完成后即可开始体验"};

struct Frame {
  std::shared_ptr<ui::PixelImage> banner;  // 600 x 256, opaque gradient
  std::shared_ptr<ui::PixelImage> button;  // 60 x 30 with alpha, corners 5
  std::shared_ptr<ui::PixelImage> track;   // 20 x 8, corners 4
  std::shared_ptr<ui::PixelImage> fill;    // 20 x 8, corners 4
  int font;
};

// A diagonal gradient from (r, g, b) to (b, r, g), premultiplied, in a DIB
// section as decoded pictures are.
std::shared_ptr<ui::PixelImage> Gradient(int width, int height, double alpha, double r, double g,
                                         double b) {
  std::shared_ptr<ui::PixelImage> image = ui::CreateDibPixelImage(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double t = (static_cast<double>(x) / width + static_cast<double>(y) / height) / 2;
      auto channel = [&](double from, double to) {
        return static_cast<uint8_t>((from + (to - from) * t) * alpha * 255 + 0.5);
      };
      uint8_t* p = image->GetRow(y) + x * 4;
      p[0] = channel(b, g), p[1] = channel(g, r), p[2] = channel(r, b);
      p[3] = static_cast<uint8_t>(alpha * 255 + 0.5);
    }
  }
  return image;
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
    rc->DrawImage(all, f.banner.get(), false, ui::UiRect(0, 0, 600, 256),
                  ui::UiRect(0, 0, 600, 256), ui::UiRect());
  }
  for (int i = 0; i < 4; ++i) {
    ui::UiRect r = ButtonRect(i);
    ui::AutoClip clip(rc, r);
    rc->DrawImage(all, f.button.get(), true, r, ui::UiRect(0, 0, 60, 30), ui::UiRect(5, 5, 5, 5));
    rc->DrawText(r, kButtons[i], 0xFFFFFFFFu, f.font,
                 ui::DT_CENTER | ui::DT_VCENTER | ui::DT_SINGLELINE);
  }
  {
    ui::UiRect bar(40, 290, 560, 298);
    ui::AutoClip clip(rc, bar);
    rc->DrawImage(all, f.track.get(), false, bar, ui::UiRect(0, 0, 20, 8), ui::UiRect(4, 4, 4, 4));
    ui::UiRect done(40, 290, 352, 298);
    rc->DrawImage(all, f.fill.get(), false, done, ui::UiRect(0, 0, 20, 8), ui::UiRect(4, 4, 4, 4));
  }
  for (int i = 0; i < 6; ++i) {
    ui::UiRect r = LineRect(i);
    ui::AutoClip clip(rc, r);
    rc->DrawText(r, kLines[i], 0xFF202020u, f.font,
                 ui::DT_SINGLELINE | ui::DT_VCENTER | ui::DT_END_ELLIPSIS);
  }
}

// ---- The same picture with GDI+ directly ----

struct Direct {
  Gdiplus::GpBitmap* banner = nullptr;
  Gdiplus::GpBitmap* button = nullptr;
  Gdiplus::GpBitmap* track = nullptr;
  Gdiplus::GpBitmap* fill = nullptr;
  Gdiplus::GpFont* font = nullptr;
  Gdiplus::GpStringFormat* centered = nullptr;
  Gdiplus::GpStringFormat* ellipsis = nullptr;
  Gdiplus::GpSolidFill* background = nullptr;
  Gdiplus::GpSolidFill* white = nullptr;
  Gdiplus::GpSolidFill* dark = nullptr;
  Gdiplus::GpImageAttributes* clamp = nullptr;
};

void DirectNineSlice(Gdiplus::GpGraphics* g, const Direct& d, Gdiplus::GpBitmap* src, int sw,
                     int sh, const ui::UiRect& r, int c) {
  const int xs[] = {0, c, sw - c, sw};
  const int ys[] = {0, c, sh - c, sh};
  const int xd[] = {r.left, r.left + c, r.right - c, r.right};
  const int yd[] = {r.top, r.top + c, r.bottom - c, r.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      const int dw = xd[col + 1] - xd[col], dh = yd[row + 1] - yd[row];
      const int w = xs[col + 1] - xs[col], h = ys[row + 1] - ys[row];
      if (dw <= 0 || dh <= 0 || w <= 0 || h <= 0) continue;
      gp::GdipDrawImageRectRectI(g, src, xd[col], yd[row], dw, dh, xs[col], ys[row], w, h,
                                 Gdiplus::UnitPixel, d.clamp, nullptr, nullptr);
    }
  }
}

void PaintDirect(Gdiplus::GpGraphics* g, const Direct& d) {
  gp::GdipFillRectangleI(g, d.background, 0, 0, kWidth, kHeight);
  gp::GdipDrawImageRectRectI(g, d.banner, 0, 0, 600, 256, 0, 0, 600, 256, Gdiplus::UnitPixel,
                             nullptr, nullptr, nullptr);
  for (int i = 0; i < 4; ++i) {
    const ui::UiRect r = ButtonRect(i);
    gp::GdipSetClipRectI(g, r.left, r.top, r.GetWidth(), r.GetHeight(),
                         Gdiplus::CombineModeReplace);
    DirectNineSlice(g, d, d.button, 60, 30, r, 5);
    const Gdiplus::RectF layout(static_cast<float>(r.left), static_cast<float>(r.top),
                                static_cast<float>(r.GetWidth()),
                                static_cast<float>(r.GetHeight()));
    gp::GdipDrawString(g, kButtons[i], -1, d.font, &layout, d.centered, d.white);
  }
  gp::GdipResetClip(g);
  DirectNineSlice(g, d, d.track, 20, 8, ui::UiRect(40, 290, 560, 298), 4);
  DirectNineSlice(g, d, d.fill, 20, 8, ui::UiRect(40, 290, 352, 298), 4);
  for (int i = 0; i < 6; ++i) {
    const ui::UiRect r = LineRect(i);
    const Gdiplus::RectF layout(static_cast<float>(r.left), static_cast<float>(r.top),
                                static_cast<float>(r.GetWidth()),
                                static_cast<float>(r.GetHeight()));
    gp::GdipDrawString(g, kLines[i], -1, d.font, &layout, d.ellipsis, d.dark);
  }
}

Gdiplus::GpStringFormat* Format(Gdiplus::StringAlignment align, bool ellipsis) {
  Gdiplus::GpStringFormat* generic = nullptr;
  Gdiplus::GpStringFormat* format = nullptr;
  gp::GdipStringFormatGetGenericTypographic(&generic);
  gp::GdipCloneStringFormat(generic, &format);
  gp::GdipSetStringFormatFlags(format, Gdiplus::StringFormatFlagsNoWrap);
  gp::GdipSetStringFormatAlign(format, align);
  gp::GdipSetStringFormatLineAlign(format, Gdiplus::StringAlignmentCenter);
  if (ellipsis) gp::GdipSetStringFormatTrimming(format, Gdiplus::StringTrimmingEllipsisCharacter);
  return format;
}

using Clock = std::chrono::steady_clock;

double MedianMicros(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

// Colour bytes of two frames that differ by more than `tolerance` in some
// channel, in the flat areas (text and stretched borders are drawn apart).
int FlatDifferences(const ui::PixelImage& a, const ui::PixelImage& b, int tolerance) {
  int differing = 0;
  const ui::UiRect flats[] = {ui::UiRect(0, 260, 600, 285), ui::UiRect(100, 0, 500, 30),
                              ui::UiRect(0, 375, 600, 400)};
  for (const ui::UiRect& r : flats) {
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        for (int c = 0; c < 4; ++c) {
          if (std::abs(a.GetRow(y)[x * 4 + c] - b.GetRow(y)[x * 4 + c]) > tolerance) ++differing;
        }
      }
    }
  }
  return differing;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
  ui::GlobalManager::SetRenderFactory(ui::CreateRenderFactory());
  ui::GlobalManager::AddFont(L"system", 14, false, false, false);
  const Frame f{Gradient(600, 256, 1.0, 0.1, 0.4, 0.8), Gradient(60, 30, 0.9, 0.9, 0.5, 0.1),
                Gradient(20, 8, 1.0, 0.8, 0.8, 0.8), Gradient(20, 8, 1.0, 0.2, 0.7, 0.3),
                ui::GlobalManager::GetFontCount() - 1};

  // Through the interfaces: one context, resized to the same size each frame
  // (its bitmap is kept), cleared and painted, as the window host does.
  std::unique_ptr<ui::IRenderContext> rc =
      ui::GlobalManager::GetRenderFactory()->CreateRenderContext();
  rc->Resize(kWidth, kHeight);
  std::vector<double> ours;
  for (int i = 0; i < frames + 5; ++i) {
    const Clock::time_point start = Clock::now();
    rc->Resize(kWidth, kHeight);
    rc->Clear();
    PaintWithInterfaces(rc.get(), f);
    rc->GetBits();
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (i >= 5) ours.push_back(us);
  }

  // Directly: the pictures wrapped once, the font and formats made once, a
  // graphics per frame over a DIB section of the window's size.
  Direct d;
  d.banner = ui::WrapInGdiplusBitmap(*f.banner);
  d.button = ui::WrapInGdiplusBitmap(*f.button);
  d.track = ui::WrapInGdiplusBitmap(*f.track);
  d.fill = ui::WrapInGdiplusBitmap(*f.fill);
  LOGFONTW logfont = *ui::LogFontOf(ui::GlobalManager::GetFont(f.font)->font.get());
  HDC screen = GetDC(nullptr);
  gp::GdipCreateFontFromLogfontW(screen, &logfont, &d.font);
  ReleaseDC(nullptr, screen);
  d.centered = Format(Gdiplus::StringAlignmentCenter, false);
  d.ellipsis = Format(Gdiplus::StringAlignmentNear, true);
  gp::GdipCreateSolidFill(0xFFF4F6F8u, &d.background);
  gp::GdipCreateSolidFill(0xFEFFFFFFu, &d.white);
  gp::GdipCreateSolidFill(0xFE202020u, &d.dark);
  // Stretched pieces must not pull in pixels from beyond their source rect.
  gp::GdipCreateImageAttributes(&d.clamp);
  gp::GdipSetImageAttributesWrapMode(d.clamp, Gdiplus::WrapModeTileFlipXY, 0, FALSE);
  std::shared_ptr<ui::PixelImage> target = ui::CreateDibPixelImage(kWidth, kHeight);
  Gdiplus::GpBitmap* surface = ui::WrapInGdiplusBitmap(*target);
  std::vector<double> direct;
  for (int i = 0; i < frames + 5; ++i) {
    const Clock::time_point start = Clock::now();
    std::memset(target->GetData(), 0, target->GetByteSize());
    Gdiplus::GpGraphics* g = nullptr;
    gp::GdipGetImageGraphicsContext(surface, &g);
    gp::GdipSetTextRenderingHint(g, Gdiplus::TextRenderingHintAntiAlias);
    gp::GdipSetInterpolationMode(g, Gdiplus::InterpolationModeBilinear);
    PaintDirect(g, d);
    gp::GdipDeleteGraphics(g);
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (i >= 5) direct.push_back(us);
  }

  const double ours_us = MedianMicros(ours), direct_us = MedianMicros(direct);
  std::printf("frame 600x400, %d frames each, median\n", frames);
  std::printf("  through the render interfaces  %9.1f us\n", ours_us);
  std::printf("  GDI+ directly                  %9.1f us\n", direct_us);
  std::printf("  interfaces / direct            %9.2fx  (goal <= 1.2x)\n", ours_us / direct_us);
  std::printf("  flat-area channels apart by more than 2: %d\n",
              FlatDifferences(*rc->GetPixelImage(), *target, 2));
  gp::GdipDisposeImage(surface);

  // A partial repaint at 200 %: a 240 x 40 strip over the banner, whose
  // 900 x 384 picture is stretched to 1200 x 512. The context stretches the
  // whole piece aside so that the strip matches the whole picture; a clipped
  // StretchBlt alone (what it did before) costs only the strip.
  const std::shared_ptr<ui::PixelImage> big = Gradient(900, 384, 1.0, 0.1, 0.4, 0.8);
  const ui::UiRect strip(480, 300, 720, 340), banner(0, 0, 1200, 512);
  rc->Resize(1200, 800);
  std::vector<double> aside;
  std::vector<double> clipped;
  for (int i = 0; i < frames + 5; ++i) {
    Clock::time_point start = Clock::now();
    rc->SetClip(strip);
    rc->DrawImage(strip, big.get(), false, banner, ui::UiRect(0, 0, 900, 384), ui::UiRect());
    rc->ClearClip();
    rc->GetBits();
    double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (i >= 5) aside.push_back(us);
    HDC dc = static_cast<ui::RenderContext_GdiPlus*>(rc.get())->GetHDC();
    start = Clock::now();
    SaveDC(dc);
    IntersectClipRect(dc, strip.left, strip.top, strip.right, strip.bottom);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, 0, 0, 1200, 512, ui::DibDcOf(*big), 0, 0, 900, 384, SRCCOPY);
    RestoreDC(dc, -1);
    GdiFlush();
    us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (i >= 5) clipped.push_back(us);
  }
  std::printf("partial repaint 240x40 over a picture stretched 900x384 -> 1200x512, median\n");
  std::printf("  whole piece stretched aside    %9.1f us\n", MedianMicros(aside));
  std::printf("  clipped StretchBlt alone       %9.1f us\n", MedianMicros(clipped));
  return 0;
}
