#include "ui/render/pixel_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace ui {

std::shared_ptr<PixelImage> PixelImage::Create(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  const size_t bytes = static_cast<size_t>(width) * 4 * static_cast<size_t>(height);
  // calloc: large blocks come as fresh zero pages, with nothing to clear.
  auto* data = static_cast<uint8_t*>(std::calloc(bytes, 1));
  if (!data) return nullptr;
  return std::shared_ptr<PixelImage>(
      new PixelImage(data, width, height, width * 4, [data] { std::free(data); }));
}

std::shared_ptr<PixelImage> PixelImage::Wrap(uint8_t* data, int width, int height, int stride,
                                             std::function<void()> release) {
  if (!data || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
      stride < width * 4 || stride % 4 != 0) {
    return nullptr;
  }
  return std::shared_ptr<PixelImage>(
      new PixelImage(data, width, height, stride, std::move(release)));
}

PixelImage::PixelImage(uint8_t* data, int width, int height, int stride,
                       std::function<void()> release)
    : data_(data), width_(width), height_(height), stride_(stride), release_(std::move(release)) {}

PixelImage::~PixelImage() {
  // The back end's object may point into the pixels: it goes first.
  backend_.reset();
  if (release_) release_();
}

uint32_t PixelImage::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* p = GetRow(y) + static_cast<size_t>(x) * 4;
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void PixelImage::Clear() {
  if (stride_ == width_ * 4) {
    std::memset(data_, 0, GetByteSize());
    return;
  }
  for (int y = 0; y < height_; ++y) std::memset(GetRow(y), 0, static_cast<size_t>(width_) * 4);
}

void PixelImage::ClearAlpha(const UiRect& rect, uint8_t value) {
  const int left = std::max(rect.left, 0), right = std::min(rect.right, width_);
  const int top = std::max(rect.top, 0), bottom = std::min(rect.bottom, height_);
  if (left >= right) return;
  for (int row = top; row < bottom; ++row) {
    std::memset(GetRow(row) + static_cast<size_t>(left) * 4, value,
                static_cast<size_t>(right - left) * 4);
  }
}

void PixelImage::RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key) {
  const int left = std::max(rect.left, 0), right = std::min(rect.right, width_);
  const int top = std::max(rect.top, 0), bottom = std::min(rect.bottom, height_);
  if (left >= right) return;
  // 64 bits: a padding of INT_MIN must widen the band, not wrap it away.
  const int64_t band_left = std::max<int64_t>(left, padding.left);
  const int64_t band_right = std::min<int64_t>(right, int64_t{width_} - padding.right);
  for (int row = top; row < bottom; ++row) {
    const bool row_in_band = row >= padding.top && row < int64_t{height_} - padding.bottom;
    // Outside the rows of the band only its columns are restored.
    const int from = row_in_band ? left : static_cast<int>(std::min<int64_t>(band_left, right));
    const int to = row_in_band ? right : static_cast<int>(std::max<int64_t>(band_right, from));
    // Whole pixels at a time, so the loops vectorise: alpha is the top byte.
    auto* pixel = reinterpret_cast<uint32_t*>(GetRow(row)) + from;
    const int count = to - from;
    if (key == 0) {
      for (int i = 0; i < count; ++i) pixel[i] |= 0xFF000000u;
    } else {
      const uint32_t keyed = uint32_t{key} << 24;
      for (int i = 0; i < count; ++i) {
        const uint32_t colour = pixel[i] & 0x00FFFFFFu;
        pixel[i] = colour | ((pixel[i] & 0xFF000000u) == keyed ? 0u : 0xFF000000u);
      }
    }
  }
}

}  // namespace ui
