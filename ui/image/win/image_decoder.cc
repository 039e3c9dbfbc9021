// Pictures through GDI+: every frame into a DIB-backed pixel image, GIF
// delays from the frame-delay property.

#include "ui/image/image_decoder.h"

#include "ui/render/win/gdiplus_headers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ui/render/win/gdi_pixels.h"
#include "ui/render/win/gdiplus_session.h"

namespace ui {

namespace gp = Gdiplus::DllExports;

namespace {

constexpr PROPID kFrameDelayTag = 0x5100;
// {6AEDBD6D-3FB5-418A-83A6-7F45229DC872}: frames in time, as GIFs have them.
constexpr GUID kTimeDimension = {
    0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};

struct BitmapDeleter {
  void operator()(Gdiplus::GpBitmap* bitmap) const { gp::GdipDisposeImage(bitmap); }
};
using BitmapPtr = std::unique_ptr<Gdiplus::GpBitmap, BitmapDeleter>;

// The frame dimension the picture lists first, and how many frames it has.
UINT CountFrames(Gdiplus::GpBitmap* bitmap, GUID* dimension) {
  UINT dimensions = 0;
  if (gp::GdipImageGetFrameDimensionsCount(bitmap, &dimensions) != Gdiplus::Ok || dimensions == 0) {
    return 1;
  }
  std::vector<GUID> list(dimensions);
  UINT frames = 0;
  if (gp::GdipImageGetFrameDimensionsList(bitmap, list.data(), dimensions) != Gdiplus::Ok ||
      gp::GdipImageGetFrameCount(bitmap, &list[0], &frames) != Gdiplus::Ok || frames == 0) {
    return 1;
  }
  *dimension = list[0];
  return frames;
}

// Delays of `frames` frames in milliseconds; false when the picture has none.
bool ReadFrameDelays(Gdiplus::GpBitmap* bitmap, UINT frames, std::vector<int>* delays) {
  UINT size = 0;
  if (gp::GdipGetPropertyItemSize(bitmap, kFrameDelayTag, &size) != Gdiplus::Ok ||
      size < sizeof(Gdiplus::PropertyItem)) {
    return false;
  }
  // 8-byte storage: the item holds a pointer.
  std::vector<uint64_t> storage((size + sizeof(uint64_t) - 1) / sizeof(uint64_t));
  auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(storage.data());
  if (gp::GdipGetPropertyItem(bitmap, kFrameDelayTag, size, item) != Gdiplus::Ok || !item->value) {
    return false;
  }
  // Hundredths of a second, one 32-bit value per frame; a short table is not
  // read past its end.
  const UINT values = item->length / 4;
  delays->assign(frames, 0);
  for (UINT i = 0; i < frames && i < values; ++i) {
    uint32_t hundredths = 0;
    std::memcpy(&hundredths, static_cast<const char*>(item->value) + i * 4, 4);
    (*delays)[i] = static_cast<int>(std::min<uint32_t>(hundredths, INT32_MAX / 10) * 10);
  }
  return true;
}

// The active frame as premultiplied pixels; reports whether any pixel is not
// opaque.
std::shared_ptr<PixelImage> ReadFrame(Gdiplus::GpBitmap* bitmap, int width, int height,
                                      bool* translucent) {
  std::shared_ptr<PixelImage> frame = CreateDibPixelImage(width, height);
  if (!frame) return nullptr;
  Gdiplus::GpRect rect(0, 0, width, height);
  Gdiplus::BitmapData data = {};
  data.Width = static_cast<UINT>(width);
  data.Height = static_cast<UINT>(height);
  data.Stride = frame->GetStride();
  data.PixelFormat = PixelFormat32bppPARGB;
  data.Scan0 = frame->GetData();
  // GDI+ converts straight into the DIB section.
  if (gp::GdipBitmapLockBits(bitmap, &rect,
                             Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                             PixelFormat32bppPARGB, &data) != Gdiplus::Ok) {
    return nullptr;
  }
  gp::GdipBitmapUnlockBits(bitmap, &data);
  for (int y = 0; y < height && !*translucent; ++y) {
    const uint8_t* pixel = frame->GetRow(y);
    for (int x = 0; x < width; ++x, pixel += 4) {
      if (pixel[3] != 255) {
        *translucent = true;
        break;
      }
    }
  }
  return frame;
}

std::unique_ptr<ImageInfo> Decode(Gdiplus::GpBitmap* bitmap) {
  UINT width = 0, height = 0;
  if (gp::GdipGetImageWidth(bitmap, &width) != Gdiplus::Ok ||
      gp::GdipGetImageHeight(bitmap, &height) != Gdiplus::Ok || width == 0 || height == 0 ||
      width > PixelImage::kMaxSide || height > PixelImage::kMaxSide) {
    return nullptr;
  }
  GUID dimension = kTimeDimension;
  const UINT frames = CountFrames(bitmap, &dimension);
  auto info = std::make_unique<ImageInfo>();
  std::vector<int> delays;
  if (frames > 1 && !ReadFrameDelays(bitmap, frames, &delays)) return nullptr;
  bool translucent = false;
  for (UINT i = 0; i < frames; ++i) {
    if (frames > 1 && gp::GdipImageSelectActiveFrame(bitmap, &dimension, i) != Gdiplus::Ok) {
      return nullptr;
    }
    std::shared_ptr<PixelImage> frame =
        ReadFrame(bitmap, static_cast<int>(width), static_cast<int>(height), &translucent);
    if (!frame) return nullptr;
    info->AddFrame(std::move(frame));
  }
  info->SetSize(static_cast<int>(width), static_cast<int>(height));
  info->SetHasAlpha(translucent);
  if (frames > 1) info->SetFrameDelays(std::move(delays));
  return info;
}

}  // namespace

std::unique_ptr<ImageInfo> DecodeImage(std::string_view bytes) {
  if (bytes.empty() || !EnsureGdiplus()) return nullptr;
  // A movable global block the stream frees when it is released.
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD, bytes.size());
  if (!block) return nullptr;
  void* memory = GlobalLock(block);
  if (!memory) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(memory, bytes.data(), bytes.size());
  GlobalUnlock(block);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
    GlobalFree(block);
    return nullptr;
  }
  Gdiplus::GpBitmap* raw = nullptr;
  const bool created = gp::GdipCreateBitmapFromStream(stream, &raw) == Gdiplus::Ok;
  BitmapPtr bitmap(created ? raw : nullptr);
  std::unique_ptr<ImageInfo> info = bitmap ? Decode(bitmap.get()) : nullptr;
  // The picture may read from the stream until it is disposed of.
  bitmap.reset();
  stream->Release();
  return info;
}

std::unique_ptr<ImageInfo> DecodeImageFile(const std::wstring& path) {
  if (path.empty() || !EnsureGdiplus()) return nullptr;
  Gdiplus::GpBitmap* raw = nullptr;
  if (gp::GdipCreateBitmapFromFile(path.c_str(), &raw) != Gdiplus::Ok) return nullptr;
  BitmapPtr bitmap(raw);
  return Decode(bitmap.get());
}

}  // namespace ui
