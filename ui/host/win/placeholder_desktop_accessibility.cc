// Placeholder until the Windows accessibility bridge lands: links only.
#include "ui/host/desktop_accessibility.h"

namespace ui {

void UseDesktopAccessibility() {}

}  // namespace ui
