#pragma once

// The platform's form of a font table entry: what the text engines (Pango on
// Linux; GDI+ and DirectWrite on Windows) draw and measure with. The skin
// resources make one per entry and own it; painting code of the same target
// reads it back through that target's own accessor.

#include <memory>
#include <string>

namespace ui {

class NativeFont {
 public:
  virtual ~NativeFont() = default;
};

struct NativeFontSpec {
  // Comma-separated family list, the first family the system has wins
  // ("system" is already replaced by the UI family list).
  std::wstring families;
  // Character height in pixels, DPI scaling applied. A negative height names
  // a size too: its magnitude.
  int pixel_size = 0;
  // 0 means no preference (regular); otherwise 100..1000 (clamped).
  int weight = 0;
  bool italic = false;
};

// Never null: a face the system does not know still gives a usable font.
std::unique_ptr<NativeFont> CreateNativeFont(const NativeFontSpec& wanted);

}  // namespace ui
