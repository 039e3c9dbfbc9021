#pragma once

namespace ui {

// Installs the target's accessibility bridge for the desktop windows made
// from now on, so that screen readers see their controls.
void UseDesktopAccessibility();

}  // namespace ui
