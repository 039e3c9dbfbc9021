#pragma once

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ui/image/image.h"

namespace ui {

// Decoded pictures by key. Every holder of a key shares one decode, and the
// map itself holds pictures only weakly. On top of that the cache may keep
// the most recently requested pictures alive up to a byte budget, so that a
// window built again after the last one closed does not decode its pictures
// anew; with a budget of 0 the last holder to let go frees a picture at once.
// Failed decodes are not cached. UI thread only.
class ImageCache {
 public:
  // The bytes stored under a key in the skin archive, or nothing.
  using ArchiveReader = std::function<std::optional<std::string>(const std::wstring& key)>;

  // `retain_bytes`: pixel memory of recently used pictures kept alive.
  explicit ImageCache(size_t retain_bytes = 0);
  ImageCache(const ImageCache&) = delete;
  ImageCache& operator=(const ImageCache&) = delete;

  // The key is used as given. Tries the archive first (when a reader is
  // given), then the file of that name on disk.
  std::shared_ptr<ImageInfo> GetImage(const std::wstring& key,
                                      const ArchiveReader& archive = ArchiveReader());

  // Registers a picture decoded elsewhere under `key` and returns it shared,
  // as GetImage would have; a live picture under the key wins.
  std::shared_ptr<ImageInfo> Adopt(const std::wstring& key, std::unique_ptr<ImageInfo> decoded);

  // Whether a live picture is registered under the key.
  bool Contains(const std::wstring& key) const;
  size_t GetEntryCount() const { return entries_->size(); }
  // Pixel memory the cache itself keeps alive (at most the budget).
  size_t GetRetainedBytes() const { return retained_bytes_; }

 private:
  using Recent = std::list<std::shared_ptr<ImageInfo>>;
  struct Entry {
    std::weak_ptr<ImageInfo> image;
    bool retained = false;
    Recent::iterator position;  // in recent_, while retained
  };
  using Entries = std::map<std::wstring, Entry>;

  void Retain(Entry* entry, std::shared_ptr<ImageInfo> image);
  void EvictOverBudget();

  // Shared with the pictures' deleters, which may outlive the cache.
  std::shared_ptr<Entries> entries_;
  // Most recently requested first. Declared after the map, so it is released
  // first and the deleters still find their entries.
  Recent recent_;
  size_t retain_budget_;
  size_t retained_bytes_ = 0;
};

// Pixel memory the skin's loader keeps of recently used pictures: every
// picture of the installer's skins at 150 % fits several times over.
inline constexpr size_t kSkinImageRetainBytes = 8u * 1024 * 1024;

// A loader for GlobalManager::SetImageLoader that owns a fresh cache: keys are
// normalised as skin paths, and while the skin is read from the archive the
// pictures come from there first.
std::function<std::shared_ptr<ImageInfo>(const std::wstring&)> MakeSkinImageLoader();

}  // namespace ui
