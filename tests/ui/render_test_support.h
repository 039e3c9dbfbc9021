#pragma once

// Helpers shared by the render tests: pixel reads and synthetic image frames.

#include <cstdint>
#include <cstring>
#include <memory>

#include "ui/render/render.h"

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
inline std::shared_ptr<PixelImage> CoordinateFrame(int width, int height) {
  std::shared_ptr<PixelImage> image = PixelImage::Create(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = image->GetRow(y) + x * 4;
      p[0] = 0x40, p[1] = static_cast<uint8_t>(y), p[2] = static_cast<uint8_t>(x), p[3] = 0xFF;
    }
  }
  return image;
}

// A frame of one premultiplied colour (0xAARRGGBB).
inline std::shared_ptr<PixelImage> SolidFrame(int width, int height, uint32_t premultiplied) {
  std::shared_ptr<PixelImage> image = PixelImage::Create(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) std::memcpy(image->GetRow(y) + x * 4, &premultiplied, 4);
  }
  return image;
}

// A context of the target's back end with a cleared bitmap of that size.
inline std::unique_ptr<IRenderContext> MakeContext(int width, int height) {
  std::unique_ptr<IRenderContext> context = CreateRenderFactory()->CreateRenderContext();
  context->Resize(width, height);
  return context;
}

}  // namespace ui::render_test
