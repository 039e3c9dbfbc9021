#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ui/image/image.h"

namespace ui {

// Decoded pictures by key. Entries are weak: the cache never keeps a picture
// alive, so every holder shares one decode and the last one to let go frees
// it; the next request then decodes again. Failed decodes are not cached.
// UI thread only.
class ImageCache {
 public:
  // The bytes stored under a key in the skin archive, or nothing.
  using ArchiveReader = std::function<std::optional<std::string>(const std::wstring& key)>;

  ImageCache();
  ImageCache(const ImageCache&) = delete;
  ImageCache& operator=(const ImageCache&) = delete;

  // The key is used as given. Tries the archive first (when a reader is
  // given), then the file of that name on disk.
  std::shared_ptr<ImageInfo> GetImage(const std::wstring& key,
                                      const ArchiveReader& archive = ArchiveReader());

  // Whether a live picture is registered under the key.
  bool Contains(const std::wstring& key) const;
  size_t GetEntryCount() const { return entries_->size(); }

 private:
  using Entries = std::map<std::wstring, std::weak_ptr<ImageInfo>>;
  // Shared with the pictures' deleters, which may outlive the cache.
  std::shared_ptr<Entries> entries_;
};

// A loader for GlobalManager::SetImageLoader that owns a fresh cache: keys are
// normalised as skin paths, and while the skin is read from the archive the
// pictures come from there first.
std::function<std::shared_ptr<ImageInfo>(const std::wstring&)> MakeSkinImageLoader();

}  // namespace ui
