#pragma once

// Fonts of the font table as Pango font descriptions.

#include <pango/pango.h>

#include "ui/resource/native_font.h"

namespace ui {

class PangoNativeFont : public NativeFont {
 public:
  explicit PangoNativeFont(PangoFontDescription* desc) : desc_(desc) {}
  ~PangoNativeFont() override { pango_font_description_free(desc_); }
  PangoNativeFont(const PangoNativeFont&) = delete;
  PangoNativeFont& operator=(const PangoNativeFont&) = delete;

  const PangoFontDescription* desc() const { return desc_; }

 private:
  PangoFontDescription* desc_;
};

// The description of a font made by CreateNativeFont, or null.
const PangoFontDescription* PangoFontOf(const NativeFont* font);

// Used where a font index has no entry in the font table, or a text field
// names no font.
const PangoFontDescription* DefaultFontDescription();

}  // namespace ui
