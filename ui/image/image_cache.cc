#include "ui/image/image_cache.h"

#include "ui/image/image_decoder.h"

namespace ui {

ImageCache::ImageCache(size_t retain_bytes)
    : entries_(std::make_shared<Entries>()), retain_budget_(retain_bytes) {}

std::shared_ptr<ImageInfo> ImageCache::GetImage(const std::wstring& key,
                                                const ArchiveReader& archive) {
  auto found = entries_->find(key);
  if (found != entries_->end()) {
    if (std::shared_ptr<ImageInfo> live = found->second.image.lock()) {
      if (found->second.retained) recent_.splice(recent_.begin(), recent_, found->second.position);
      return live;
    }
  }

  std::unique_ptr<ImageInfo> decoded;
  if (archive) {
    if (std::optional<std::string> bytes = archive(key)) decoded = DecodeImage(*bytes);
  }
  if (!decoded) decoded = DecodeImageFile(key);
  return Adopt(key, std::move(decoded));
}

std::shared_ptr<ImageInfo> ImageCache::Adopt(const std::wstring& key,
                                             std::unique_ptr<ImageInfo> decoded) {
  if (!decoded) return nullptr;
  auto found = entries_->find(key);
  if (found != entries_->end()) {
    if (std::shared_ptr<ImageInfo> live = found->second.image.lock()) return live;
  }
  decoded->SetPath(key);
  decoded->SetCached(true);
  std::weak_ptr<Entries> weak_entries = entries_;
  std::shared_ptr<ImageInfo> shared(decoded.release(), [weak_entries](ImageInfo* info) {
    if (info->IsCached() && !info->GetPath().empty()) {
      if (std::shared_ptr<Entries> entries = weak_entries.lock()) {
        auto it = entries->find(info->GetPath());
        // A newer decode may have taken the key over; leave that one alone.
        if (it != entries->end() && it->second.image.expired()) entries->erase(it);
      }
    }
    delete info;
  });
  Entry& entry = (*entries_)[key];
  // An expired entry is never retained: the list would have kept it alive.
  entry.image = shared;
  Retain(&entry, shared);
  return shared;
}

void ImageCache::Retain(Entry* entry, std::shared_ptr<ImageInfo> image) {
  const size_t bytes = image->GetByteSize();
  // A picture above the whole budget would only push out everything else.
  if (bytes > retain_budget_) return;
  recent_.push_front(std::move(image));
  entry->retained = true;
  entry->position = recent_.begin();
  retained_bytes_ += bytes;
  EvictOverBudget();
}

void ImageCache::EvictOverBudget() {
  while (retained_bytes_ > retain_budget_) {
    std::shared_ptr<ImageInfo> oldest = std::move(recent_.back());
    recent_.pop_back();
    retained_bytes_ -= oldest->GetByteSize();
    auto it = entries_->find(oldest->GetPath());
    if (it != entries_->end()) it->second.retained = false;
    // Dropping the last reference here runs the deleter, which erases the
    // entry; `it` is not used after this.
    oldest.reset();
  }
}

bool ImageCache::Contains(const std::wstring& key) const {
  auto it = entries_->find(key);
  return it != entries_->end() && !it->second.image.expired();
}

}  // namespace ui
