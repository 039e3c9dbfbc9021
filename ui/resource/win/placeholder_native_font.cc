// Placeholder until the GDI fonts are merged: links the text layout's tests.
// It makes no font, so paragraphs use the UI families.

#include <windows.h>

#include "ui/resource/native_font.h"

namespace ui {

const LOGFONTW* LogFontOf(const NativeFont*) {
  return nullptr;
}

}  // namespace ui
