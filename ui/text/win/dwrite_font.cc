#include "ui/text/win/dwrite_font.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "base/string_util.h"
#include "ui/resource/skin_resources.h"
#include "ui/resource/win/gdi_font.h"

namespace ui::dwrite {

FontRequest RequestOf(const NativeFont* font) {
  FontRequest request;
  request.families = nbase::UTF8ToWide(SkinResources::kSystemFontFamilies);
  const LOGFONTW* logfont = font ? LogFontOf(font) : nullptr;
  if (!logfont) return request;
  if (logfont->lfFaceName[0]) request.families = logfont->lfFaceName;
  // A character height; a cell height (positive) is taken as the size too.
  if (logfont->lfHeight != 0) {
    request.size = static_cast<float>(
        std::min(std::llabs(static_cast<long long>(logfont->lfHeight)), 0x7FFFLL));
  }
  if (logfont->lfWeight != FW_DONTCARE) request.weight = std::clamp<int>(logfont->lfWeight, 1, 999);
  request.italic = logfont->lfItalic != 0;
  return request;
}

}  // namespace ui::dwrite
