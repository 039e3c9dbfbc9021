#include "ui/render/win/gdi_pixels.h"

namespace ui {

namespace {

class DibData : public PixelImage::BackendData {
 public:
  explicit DibData(HBITMAP bitmap) : bitmap_(bitmap) {}
  ~DibData() override { DropOwnDc(); }
  DibData(const DibData&) = delete;
  DibData& operator=(const DibData&) = delete;

  HBITMAP bitmap() const { return bitmap_; }

  HDC Dc() {
    if (host_dc_) return host_dc_;
    if (!own_dc_) {
      own_dc_ = CreateCompatibleDC(nullptr);
      if (own_dc_) own_previous_ = SelectObject(own_dc_, bitmap_);
    }
    return own_dc_;
  }

  bool Join(HDC dc, HGDIOBJ* previous) {
    DropOwnDc();
    HGDIOBJ displaced = SelectObject(dc, bitmap_);
    if (!displaced || displaced == HGDI_ERROR) return false;
    *previous = displaced;
    host_dc_ = dc;
    return true;
  }
  void Leave(HGDIOBJ previous) {
    if (host_dc_) SelectObject(host_dc_, previous);
    host_dc_ = nullptr;
  }

 private:
  void DropOwnDc() {
    if (!own_dc_) return;
    SelectObject(own_dc_, own_previous_);
    DeleteDC(own_dc_);
    own_dc_ = nullptr;
  }

  HBITMAP bitmap_;
  HDC host_dc_ = nullptr;
  HDC own_dc_ = nullptr;
  HGDIOBJ own_previous_ = nullptr;
};

DibData* DibOf(const PixelImage& image) {
  return dynamic_cast<DibData*>(image.GetBackendData());
}

}  // namespace

std::shared_ptr<PixelImage> CreateDibPixelImage(int width, int height) {
  if (width <= 0 || height <= 0 || width > PixelImage::kMaxSide || height > PixelImage::kMaxSide) {
    return nullptr;
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * 4 * static_cast<DWORD>(height);
  void* bits = nullptr;
  // A new section's pages come zeroed: the pixels are already cleared.
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  std::shared_ptr<PixelImage> image = PixelImage::Wrap(
      static_cast<uint8_t*>(bits), width, height, width * 4, [bitmap] { DeleteObject(bitmap); });
  if (!image) {
    DeleteObject(bitmap);
    return nullptr;
  }
  image->SetBackendData(std::make_unique<DibData>(bitmap));
  return image;
}

HBITMAP DibSectionOf(const PixelImage& image) {
  DibData* dib = DibOf(image);
  return dib ? dib->bitmap() : nullptr;
}

HDC DibDcOf(const PixelImage& image, POINT* origin) {
  DibData* dib = DibOf(image);
  HDC dc = dib ? dib->Dc() : nullptr;
  if (origin) {
    *origin = POINT{0, 0};
    if (dc) GetWindowOrgEx(dc, origin);
  }
  return dc;
}

bool JoinDc(const PixelImage& image, HDC dc, HGDIOBJ* previous) {
  DibData* dib = DibOf(image);
  return dib && dc && dib->Join(dc, previous);
}

void LeaveDc(const PixelImage& image, HGDIOBJ previous) {
  if (DibData* dib = DibOf(image)) dib->Leave(previous);
}

}  // namespace ui
