#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/image/image.h"

namespace ui {

// Runs the decoding elsewhere (a worker's queue); false when it cannot.
using PrefetchRunner = std::function<bool(std::function<void()>)>;

// Pictures decoded by `runner` (or, without one or when it refuses, on a
// thread of their own) while the UI thread goes on building the window that
// shows them; the skin's loader takes a picture from here on its first use
// instead of decoding it then. Keys are the loader's (normalised skin paths).
// Call from the UI thread.
void PrefetchImages(std::vector<std::pair<std::wstring, std::string>> encoded,
                    const PrefetchRunner& runner = {});
// The picture prefetched under `key`: waits while it is being decoded, and
// decodes it here if the decoding has not reached it; null when there is none
// (or it did not decode). Each is taken once.
std::unique_ptr<ImageInfo> TakePrefetchedImage(const std::wstring& key);
// Drops what was not taken, once the thread is done with it.
void DiscardPrefetchedImages();

// Prefetches every PNG picture of the skin archive whose path starts with one
// of `folders` (archive paths), in that order; nothing without an archive.
// Returns how many.
size_t PrefetchArchiveImages(const std::vector<std::wstring>& folders,
                             const PrefetchRunner& runner = {});

}  // namespace ui
