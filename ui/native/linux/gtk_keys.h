#pragma once

// Key codes the controls expect (the Windows virtual-key numbering), made
// from GDK key values.

#include <cstdint>

#include "ui/native/key_codes.h"

namespace ui {

// The virtual-key code of a GDK key value; 0 for keys without one. Shift,
// Control and Alt report the side-neutral codes, as key messages do.
int VirtualKeyFromGdkKeyval(uint32_t keyval);

}  // namespace ui
