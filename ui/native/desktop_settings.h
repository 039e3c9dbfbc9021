#pragma once

// Desktop preferences the controls follow, read from GTK's settings when a
// display is open.

namespace ui {

struct CaretBlinkSettings {
  bool blink = true;
  int interval_ms = 500;   // one phase, shown or hidden
  int timeout_ms = 10000;  // blinking stops after this long without input
};

// GTK's cursor blink settings (its cycle time split into two phases); the
// defaults above without a display.
CaretBlinkSettings ReadCaretBlinkSettings();

}  // namespace ui
