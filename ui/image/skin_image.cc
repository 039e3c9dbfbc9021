// Ties images to the global resource manager: DPI scaling of "dest" and the
// skin's image cache.
#include "ui/image/image.h"
#include "ui/image/image_cache.h"
#include "ui/resource/skin_resources.h"

namespace ui {

namespace {

void ScaleDestByDpi(UiRect* rect) {
  SkinResources::ScaleRectangle(*rect);
}

std::optional<std::string> ReadFromArchive(const std::wstring& key) {
  if (!SkinResources::IsUseZip()) return std::nullopt;
  return SkinResources::ReadArchiveEntry(key);
}

}  // namespace

void ImageAttribute::ModifyAttribute(std::wstring_view text) {
  ModifyAttribute(text, ScaleDestByDpi);
}

void Image::SetImageString(std::wstring_view text) {
  SetImageString(text, ScaleDestByDpi);
}

std::function<std::shared_ptr<ImageInfo>(const std::wstring&)> MakeSkinImageLoader() {
  auto cache = std::make_shared<ImageCache>(kSkinImageRetainBytes);
  return [cache](const std::wstring& path) {
    // Normalising twice is harmless; the key must be normal whoever calls.
    return cache->GetImage(SkinResources::NormalizeImagePath(path), ReadFromArchive);
  };
}

}  // namespace ui
