#pragma once

// Fonts of the font table as GDI fonts: the LOGFONT the text is drawn and
// measured with (GDI+ makes its font from it), and the HFONT made from it.

#include <windows.h>

#include "ui/resource/native_font.h"

namespace ui {

class GdiNativeFont : public NativeFont {
 public:
  // Takes ownership of `font`, made from `logfont`.
  GdiNativeFont(HFONT font, const LOGFONTW& logfont) : font_(font), logfont_(logfont) {}
  ~GdiNativeFont() override;
  GdiNativeFont(const GdiNativeFont&) = delete;
  GdiNativeFont& operator=(const GdiNativeFont&) = delete;

  HFONT font() const { return font_; }
  // The face is a family the system has.
  const LOGFONTW& logfont() const { return logfont_; }

 private:
  HFONT font_;
  LOGFONTW logfont_;
};

// The LOGFONT of a font made by CreateNativeFont, or null.
const LOGFONTW* LogFontOf(const NativeFont* font);

// Used where a font index has no entry in the font table: the UI families at
// 12 pixels.
const GdiNativeFont& DefaultGdiFont();

// The first family of a comma-separated list that the system has, or empty.
std::wstring FirstInstalledFamily(const std::wstring& families);

}  // namespace ui
