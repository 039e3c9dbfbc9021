#pragma once

// The desktop the windows go on: facts about the display that code above the
// native windows asks for.

#include "ui/geometry/geometry.h"

namespace ui {

// The primary monitor's work area (without panels and task bars) in desktop
// pixels; empty when no display is open.
UiRect GetPrimaryWorkArea();

}  // namespace ui
