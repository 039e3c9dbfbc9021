#pragma once

// The desktop the windows go on: facts about the display that code above the
// native windows asks for.

#include <memory>

#include "ui/geometry/geometry.h"

namespace ui {

class NativeWindow;

// A window on the desktop (GTK on Linux, Win32 on Windows), not yet created.
std::unique_ptr<NativeWindow> CreateDesktopWindow();

// The primary monitor's work area (without panels and task bars) in desktop
// pixels; empty when no display is open.
UiRect GetPrimaryWorkArea();

}  // namespace ui
