#pragma once

// The one pixel format of the UI library: 32 bits per pixel, premultiplied
// alpha, bytes blue, green, red, alpha in memory (a 32-bit DIB's layout, and
// Cairo's ARGB32 on little-endian machines), rows top-down. Decoded pictures,
// render targets and presented frames are all PixelImages, shared through
// std::shared_ptr.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/geometry/geometry.h"

namespace ui {

class PixelImage {
 public:
  // An object a render back end derives from the image (a Cairo surface over
  // its memory, a GDI+ bitmap) and keeps with it, so that it is made once per
  // image rather than once per draw. It goes with the image, before the
  // memory it may point into.
  class BackendData {
   public:
    virtual ~BackendData() = default;
  };

  // The longest side an image may have (Cairo's limit; a DIB section's is
  // no lower).
  static constexpr int kMaxSide = 32767;

  // Cleared pixels, `width * 4` bytes a row; null for a side of 0 or below
  // or above kMaxSide, or when the memory cannot be had.
  static std::shared_ptr<PixelImage> Create(int width, int height);
  // Memory someone else owns, e.g. a DIB section's bits: `release` runs when
  // the image goes. `stride` is in bytes, at least `width * 4` and a multiple
  // of 4. Null for bad sizes (as for Create) or no data.
  static std::shared_ptr<PixelImage> Wrap(uint8_t* data, int width, int height, int stride,
                                          std::function<void()> release = nullptr);

  PixelImage(const PixelImage&) = delete;
  PixelImage& operator=(const PixelImage&) = delete;
  ~PixelImage();

  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  int GetStride() const { return stride_; }
  uint8_t* GetData() { return data_; }
  const uint8_t* GetData() const { return data_; }
  uint8_t* GetRow(int y) { return data_ + static_cast<size_t>(y) * static_cast<size_t>(stride_); }
  const uint8_t* GetRow(int y) const {
    return data_ + static_cast<size_t>(y) * static_cast<size_t>(stride_);
  }
  // The pixel as 0xAARRGGBB (premultiplied); 0 outside the image.
  uint32_t GetPixel(int x, int y) const;
  // Bytes of pixel memory (stride times height).
  size_t GetByteSize() const { return static_cast<size_t>(stride_) * static_cast<size_t>(height_); }

  // Every byte 0 (transparent black).
  void Clear();
  // Sets all four bytes of every pixel of `rect` (cut to the image) to `value`.
  void ClearAlpha(const UiRect& rect, uint8_t value);
  // In `rect` (cut to the image), every pixel outside the four corners the
  // padding leaves gets alpha 255, or 0 where its alpha equals a non-zero
  // `key`; colour bytes stay. Makes drawing that left alpha alone opaque.
  void RestoreAlpha(const UiRect& rect, const UiRect& padding, uint8_t key);

  // The back end's object for this image; null until one is set. UI thread
  // only, like everything that draws.
  BackendData* GetBackendData() const { return backend_.get(); }
  void SetBackendData(std::unique_ptr<BackendData> data) const { backend_ = std::move(data); }

 private:
  PixelImage(uint8_t* data, int width, int height, int stride, std::function<void()> release);

  uint8_t* data_;
  int width_;
  int height_;
  int stride_;
  std::function<void()> release_;
  mutable std::unique_ptr<BackendData> backend_;
};

// Writes `image` as a PNG (straight alpha, as PNG keeps it) to the file at
// `utf8_path`, replacing it. False when the file cannot be written.
bool WritePngFile(const PixelImage& image, const std::string& utf8_path);

}  // namespace ui
