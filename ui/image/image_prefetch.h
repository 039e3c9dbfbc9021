#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/image/image.h"

namespace ui {

// Pictures decoded on a thread of their own while the UI thread goes on
// building the window that shows them; the skin's loader takes a picture from
// here on its first use instead of decoding it then. Keys are the loader's
// (normalised skin paths). Call from the UI thread.
void PrefetchImages(std::vector<std::pair<std::wstring, std::string>> encoded);
// The picture prefetched under `key`, waiting while it is still being
// decoded; null when there is none (or it did not decode). Each is taken once.
std::unique_ptr<ImageInfo> TakePrefetchedImage(const std::wstring& key);
// Drops what was not taken, once the thread is done with it.
void DiscardPrefetchedImages();

// Prefetches every PNG picture of the skin archive whose path starts with
// `folder` (an archive path); nothing without an archive. Returns how many.
size_t PrefetchArchiveImages(const std::wstring& folder);

}  // namespace ui
