#pragma once

// Small helpers the layouts share with the scrolled box.

#include <string>

#include "ui/geometry/geometry.h"

namespace ui {

class Control;

namespace layout_helpers {

// Insets scale side by side, as margins do.
UiRect ScaledSides(UiRect sides);
int ParseInt(const std::wstring& value);
bool IsFlowChild(const Control* c);

}  // namespace layout_helpers

}  // namespace ui
