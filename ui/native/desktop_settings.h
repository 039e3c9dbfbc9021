#pragma once

// Desktop preferences the controls follow, read from the desktop's settings
// when a display is open.

namespace ui {

struct CaretBlinkSettings {
  bool blink = true;
  int interval_ms = 500;   // one phase, shown or hidden
  int timeout_ms = 10000;  // blinking stops after this long without input
};

// The desktop's cursor blink settings (GTK's cycle time split into two
// phases; GetCaretBlinkTime on Windows); the defaults above without a
// display.
CaretBlinkSettings ReadCaretBlinkSettings();

}  // namespace ui
