#include "ui/core/shadow_box.h"

#include <algorithm>

namespace ui {

void ShadowBox::Paint(IRenderContext* context, const UiRect& paint_area) {
  const UiRect inner = GetPaddingPos();
  bool inside = paint_area.left >= inner.left && paint_area.top >= inner.top &&
                paint_area.right <= inner.right && paint_area.bottom <= inner.bottom;
  // A root with round corners leaves the shadow showing in them.
  CSize round;
  for (size_t i = 0; i < GetCount(); ++i) {
    const CSize r = GetItemAt(i)->GetBorderRound();
    round = CSize(std::max(round.cx, r.cx), std::max(round.cy, r.cy));
  }
  if (inside && round.cx > 0 && round.cy > 0) {
    const UiRect corners[] = {
        UiRect(inner.left, inner.top, inner.left + round.cx, inner.top + round.cy),
        UiRect(inner.right - round.cx, inner.top, inner.right, inner.top + round.cy),
        UiRect(inner.left, inner.bottom - round.cy, inner.left + round.cx, inner.bottom),
        UiRect(inner.right - round.cx, inner.bottom - round.cy, inner.right, inner.bottom)};
    for (const UiRect& corner : corners) {
      UiRect meet = corner;
      if (meet.Intersect(paint_area)) inside = false;
    }
  }
  if (!inside) Box::Paint(context, paint_area);
}

}  // namespace ui
