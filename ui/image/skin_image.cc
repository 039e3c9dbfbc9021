// Ties images to the global resource manager: DPI scaling of "dest" and the
// skin's image cache.
#include "ui/image/image.h"
#include "ui/image/image_cache.h"
#include "ui/image/image_prefetch.h"
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
    const std::wstring key = SkinResources::NormalizeImagePath(path);
    if (!cache->Contains(key)) {
      if (std::unique_ptr<ImageInfo> ready = TakePrefetchedImage(key)) {
        return cache->Adopt(key, std::move(ready));
      }
    }
    return cache->GetImage(key, ReadFromArchive);
  };
}

size_t PrefetchArchiveImages(const std::vector<std::wstring>& folders,
                             const PrefetchRunner& runner) {
  std::vector<std::pair<std::wstring, std::string>> encoded;
  for (const std::wstring& folder : folders) {
    for (std::wstring& path : SkinResources::ListArchiveEntries(folder)) {
      if (!path.ends_with(L".png")) continue;
      if (std::optional<std::string> bytes = SkinResources::ReadArchiveEntry(path)) {
        encoded.emplace_back(std::move(path), std::move(*bytes));
      }
    }
  }
  const size_t count = encoded.size();
  PrefetchImages(std::move(encoded), runner);
  return count;
}

}  // namespace ui
