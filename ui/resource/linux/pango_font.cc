#include "ui/resource/linux/pango_font.h"

#include <algorithm>
#include <cmath>

#include "base/string_util.h"
#include "ui/resource/skin_resources.h"

namespace ui {

std::unique_ptr<NativeFont> CreateNativeFont(const NativeFontSpec& wanted) {
  const std::string family = nbase::WideToUTF8(wanted.families);
  PangoFontDescription* desc = pango_font_description_new();
  if (!family.empty()) pango_font_description_set_family(desc, family.c_str());
  // Pango refuses negative sizes and keeps its size in int.
  const double magnitude = std::min(std::fabs(static_cast<double>(wanted.pixel_size)),
                                    static_cast<double>(G_MAXINT / PANGO_SCALE));
  pango_font_description_set_absolute_size(desc, magnitude * PANGO_SCALE);
  // Weight 0 means "no preference", which is the regular weight.
  pango_font_description_set_weight(
      desc, static_cast<PangoWeight>(wanted.weight == 0 ? PANGO_WEIGHT_NORMAL
                                                        : std::clamp(wanted.weight, 100, 1000)));
  pango_font_description_set_style(desc, wanted.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  return std::make_unique<PangoNativeFont>(desc);
}

const PangoFontDescription* PangoFontOf(const NativeFont* font) {
  auto* pango = dynamic_cast<const PangoNativeFont*>(font);
  return pango ? pango->desc() : nullptr;
}

const PangoFontDescription* DefaultFontDescription() {
  static PangoFontDescription* desc = [] {
    PangoFontDescription* d =
        pango_font_description_from_string(SkinResources::kSystemFontFamilies);
    pango_font_description_set_absolute_size(d, 12 * PANGO_SCALE);
    return d;
  }();
  return desc;
}

}  // namespace ui
