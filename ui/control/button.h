#pragma once

// A push button: a label that sends a click (kind 41) when pressed and
// released inside it, or on space or return while it has the focus.

#include "ui/control/label.h"

namespace ui {

template <typename Base>
class ButtonTemplate : public LabelTemplate<Base> {
 public:
  ButtonTemplate();

  // Control.
  void Activate() override;
  void HandleEvent(EventArgs& event) override;
  bool IsKeyboardFocusable() const override { return true; }
  void GetAccessibleInfo(AccessibleInfo* info) const override;
};

extern template class ButtonTemplate<Control>;
extern template class ButtonTemplate<Box>;

using Button = ButtonTemplate<Control>;
using ButtonBox = ButtonTemplate<Box>;

}  // namespace ui
