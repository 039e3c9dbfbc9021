#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ui/image/image.h"

namespace ui {

// Decodes a PNG, JPEG, GIF (every frame with its delay), BMP or ICO held in
// memory. Null when the bytes are not a picture the platform's decoder
// (gdk-pixbuf and libpng on Linux, GDI+ on Windows) can read.
std::unique_ptr<ImageInfo> DecodeImage(std::string_view bytes);

// The same for a file on disk; null when it cannot be read or decoded.
std::unique_ptr<ImageInfo> DecodeImageFile(const std::wstring& path);

}  // namespace ui
