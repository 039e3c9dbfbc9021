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
  std::string encoded;  // given to whoever decodes it
  std::unique_ptr<ImageInfo> decoded;
  bool started = false;
  bool done = false;
};

// Shared by the UI thread and the decoding thread or task, which may outlive
// a discard (it is never joined: a process ending at once must not wait).
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
      // Discarded, or taken by the UI thread before the decoding reached it.
      if (it == batch->pictures.end() || it->second.started) continue;
      it->second.started = true;
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

void PrefetchImages(std::vector<std::pair<std::wstring, std::string>> encoded,
                    const PrefetchRunner& runner) {
  DiscardPrefetchedImages();
  if (encoded.empty()) return;
  auto batch = std::make_shared<Batch>();
  std::vector<std::wstring> keys;
  for (auto& [key, bytes] : encoded) {
    keys.push_back(key);
    batch->pictures[key].encoded = std::move(bytes);
  }
  Current() = batch;
  // A worker's queue spares a thread (under Wine its stack stays resident
  // after it ends). Should the task never run, the UI thread decodes each
  // picture itself when it asks for it.
  if (runner && runner([batch, keys] { DecodeAll(batch, keys); })) return;
  try {
    std::thread(DecodeAll, batch, std::move(keys)).detach();
  } catch (const std::system_error&) {
    Current().reset();  // no thread: the loader decodes them as it always did
  }
}

std::unique_ptr<ImageInfo> TakePrefetchedImage(const std::wstring& key) {
  const std::shared_ptr<Batch> batch = Current();
  if (!batch) return nullptr;
  std::unique_lock<std::mutex> hold(batch->lock);
  auto it = batch->pictures.find(key);
  if (it == batch->pictures.end()) return nullptr;
  if (!it->second.started) {
    // Not reached yet: decoding it here beats waiting for the rest before it.
    std::string encoded = std::move(it->second.encoded);
    batch->pictures.erase(it);
    hold.unlock();
    return DecodeImage(encoded);
  }
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
