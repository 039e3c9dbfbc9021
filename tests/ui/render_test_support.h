#pragma once

// Helpers shared by the render tests: pixel reads and synthetic image frames.

#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "ui/render/linux/render_cairo.h"

namespace ui::render_test {

// The premultiplied pixel at (x, y) as 0xAARRGGBB (bytes are B, G, R, A).
inline uint32_t PixelAt(IRenderContext* context, int x, int y) {
  const uint8_t* p = context->GetBits() + (static_cast<size_t>(y) * context->GetWidth() + x) * 4;
  return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[1]) << 8 | p[0];
}

inline uint8_t AlphaAt(IRenderContext* context, int x, int y) {
  return PixelAt(context, x, y) >> 24;
}

// An opaque frame whose pixel (x, y) has red = x, green = y, blue = 0x40, so
// the pixels a blit copied tell where they came from.
inline cairo_surface_t* CoordinateFrame(int width, int height) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_surface_flush(surface);
  uint8_t* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = data + y * stride + x * 4;
      p[0] = 0x40, p[1] = static_cast<uint8_t>(y), p[2] = static_cast<uint8_t>(x), p[3] = 0xFF;
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

inline std::unique_ptr<RenderContextCairo> MakeContext(int width, int height) {
  auto context = std::make_unique<RenderContextCairo>();
  context->Resize(width, height);
  return context;
}

}  // namespace ui::render_test
