#include "ui/core/shadow_box.h"

namespace ui {

void ShadowBox::Paint(IRenderContext* context, const UiRect& paint_area) {
  const UiRect inner = GetPaddingPos();
  const bool inside = paint_area.left >= inner.left && paint_area.top >= inner.top &&
                      paint_area.right <= inner.right && paint_area.bottom <= inner.bottom;
  if (!inside) Box::Paint(context, paint_area);
}

}  // namespace ui
