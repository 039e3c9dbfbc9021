#pragma once

// The box a window puts around its root when the shadow is attached: its
// padding is the shadow corner, its background the shadow image.

#include "ui/core/box.h"

namespace ui {

class ShadowBox : public Box {
 public:
  ShadowBox() = default;

  // Inside the padded area the root covers the shadow, but for its round
  // corners: paint only what reaches outside it or into a corner.
  void Paint(IRenderContext* context, const UiRect& paint_area) override;
};

}  // namespace ui
