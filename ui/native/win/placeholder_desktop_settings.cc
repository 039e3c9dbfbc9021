// Placeholder until the Win32 desktop settings land: links only.
#include "ui/native/desktop_settings.h"

namespace ui {

CaretBlinkSettings ReadCaretBlinkSettings() {
  return CaretBlinkSettings();
}

}  // namespace ui
