#pragma once

// The font a paragraph asks DirectWrite for: the font table entry's family,
// size, weight and slant (the GDI font the render back end made), or the UI
// families at 12 pixels without one.

#include <string>

namespace ui {
class NativeFont;
}

namespace ui::dwrite {

struct FontRequest {
  // Comma-separated, in order of preference.
  std::wstring families;
  float size = 12;  // pixels
  int weight = 400;
  bool italic = false;
};

FontRequest RequestOf(const NativeFont* font);

}  // namespace ui::dwrite
