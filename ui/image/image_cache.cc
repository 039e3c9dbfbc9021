#include "ui/image/image_cache.h"

#include "ui/image/image_decoder.h"

namespace ui {

ImageCache::ImageCache() : entries_(std::make_shared<Entries>()) {}

std::shared_ptr<ImageInfo> ImageCache::GetImage(const std::wstring& key,
                                                const ArchiveReader& archive) {
  auto found = entries_->find(key);
  if (found != entries_->end()) {
    if (std::shared_ptr<ImageInfo> live = found->second.lock()) return live;
  }

  std::unique_ptr<ImageInfo> decoded;
  if (archive) {
    if (std::optional<std::string> bytes = archive(key)) decoded = DecodeImage(*bytes);
  }
  if (!decoded) decoded = DecodeImageFile(key);
  if (!decoded) return nullptr;

  decoded->SetPath(key);
  decoded->SetCached(true);
  std::weak_ptr<Entries> weak_entries = entries_;
  std::shared_ptr<ImageInfo> shared(decoded.release(), [weak_entries](ImageInfo* info) {
    if (info->IsCached() && !info->GetPath().empty()) {
      if (std::shared_ptr<Entries> entries = weak_entries.lock()) {
        auto it = entries->find(info->GetPath());
        // A newer decode may have taken the key over; leave that one alone.
        if (it != entries->end() && it->second.expired()) entries->erase(it);
      }
    }
    delete info;
  });
  (*entries_)[key] = shared;
  return shared;
}

bool ImageCache::Contains(const std::wstring& key) const {
  auto it = entries_->find(key);
  return it != entries_->end() && !it->second.expired();
}

}  // namespace ui
