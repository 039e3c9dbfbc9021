// Placeholder until the Windows accessibility bridge lands: no bridge.

#include "ui/host/desktop_accessibility.h"

namespace ui {

void UseDesktopAccessibility() {}

}  // namespace ui
