#include "ui/image/image_prefetch.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "ui/image/image_decoder.h"

namespace ui {

namespace {

struct Prefetched {
  std::string encoded;  // freed once decoded
  std::unique_ptr<ImageInfo> decoded;
  bool done = false;
};

// Shared by the UI thread and the decoding thread, which may outlive a
// discard (it is never joined: a process ending at once must not wait).
struct Batch {
  std::mutex lock;
  std::condition_variable decoded;
  std::map<std::wstring, Prefetched> pictures;
};

std::shared_ptr<Batch>& Current() {
  static auto* batch = new std::shared_ptr<Batch>();  // used until the process ends
  return *batch;
}

void DecodeAll(const std::shared_ptr<Batch>& batch, std::vector<std::wstring> keys) {
  for (const std::wstring& key : keys) {
    std::string encoded;
    {
      std::lock_guard<std::mutex> hold(batch->lock);
      auto it = batch->pictures.find(key);
      if (it == batch->pictures.end()) continue;  // discarded
      encoded.swap(it->second.encoded);
    }
    std::unique_ptr<ImageInfo> decoded = DecodeImage(encoded);
    std::lock_guard<std::mutex> hold(batch->lock);
    auto it = batch->pictures.find(key);
    if (it == batch->pictures.end()) continue;
    it->second.decoded = std::move(decoded);
    it->second.done = true;
    batch->decoded.notify_all();
  }
}

}  // namespace

void PrefetchImages(std::vector<std::pair<std::wstring, std::string>> encoded) {
  DiscardPrefetchedImages();
  if (encoded.empty()) return;
  auto batch = std::make_shared<Batch>();
  std::vector<std::wstring> keys;
  for (auto& [key, bytes] : encoded) {
    keys.push_back(key);
    batch->pictures[key].encoded = std::move(bytes);
  }
  try {
    std::thread(DecodeAll, batch, std::move(keys)).detach();
  } catch (const std::system_error&) {
    return;  // no thread: the loader decodes them as it always did
  }
  Current() = std::move(batch);
}

std::unique_ptr<ImageInfo> TakePrefetchedImage(const std::wstring& key) {
  const std::shared_ptr<Batch> batch = Current();
  if (!batch) return nullptr;
  std::unique_lock<std::mutex> hold(batch->lock);
  auto it = batch->pictures.find(key);
  if (it == batch->pictures.end()) return nullptr;
  batch->decoded.wait(hold, [&] { return it->second.done; });
  std::unique_ptr<ImageInfo> image = std::move(it->second.decoded);
  batch->pictures.erase(it);
  return image;
}

void DiscardPrefetchedImages() {
  std::shared_ptr<Batch> batch = std::move(Current());
  if (!batch) return;
  std::lock_guard<std::mutex> hold(batch->lock);
  batch->pictures.clear();
}

}  // namespace ui
