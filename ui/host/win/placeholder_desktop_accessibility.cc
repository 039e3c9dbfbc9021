#include "ui/host/desktop_accessibility.h"

namespace ui {

// Until the Windows accessibility provider lands.
void UseDesktopAccessibility() {}

}  // namespace ui
