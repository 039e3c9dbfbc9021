#include <windows.h>

#include "ui/native/desktop_settings.h"

namespace ui {

CaretBlinkSettings ReadCaretBlinkSettings() {
  CaretBlinkSettings out;
  // One phase, as the system counts it; INFINITE means the caret never blinks.
  const UINT time = ::GetCaretBlinkTime();
  if (time == INFINITE) {
    out.blink = false;
  } else if (time > 0) {
    out.interval_ms = static_cast<int>(time);
  }
  return out;
}

}  // namespace ui
