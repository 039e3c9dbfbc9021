// PNG files of pixel images through GDI+'s PNG encoder.

#include "ui/render/win/gdiplus_headers.h"

#include <cwchar>
#include <vector>

#include "base/string_util.h"
#include "ui/render/pixel_image.h"
#include "ui/render/win/gdiplus_session.h"
#include "ui/render/win/render_gdiplus.h"

namespace ui {

namespace gp = Gdiplus::DllExports;

namespace {

bool FindPngEncoder(CLSID* clsid) {
  UINT count = 0, bytes = 0;
  if (gp::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
  std::vector<unsigned char> buffer(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (gp::GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

}  // namespace

bool WritePngFile(const PixelImage& image, const std::string& utf8_path) {
  if (utf8_path.empty() || !EnsureGdiplus()) return false;
  CLSID png;
  if (!FindPngEncoder(&png)) return false;
  Gdiplus::GpBitmap* bitmap = WrapInGdiplusBitmap(image);
  if (!bitmap) return false;
  // Written beside the file and renamed over it, so that a failed write
  // leaves the old file (or none) rather than half a picture.
  const std::wstring path = nbase::UTF8ToWide(utf8_path);
  const std::wstring partial = path + L".partial";
  bool ok = gp::GdipSaveImageToFile(bitmap, partial.c_str(), &png, nullptr) == Gdiplus::Ok;
  gp::GdipDisposeImage(bitmap);
  if (ok) ok = MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  if (!ok) DeleteFileW(partial.c_str());
  return ok;
}

}  // namespace ui
