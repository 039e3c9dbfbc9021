#pragma once

// Virtual-key codes of key messages (w_param of kKeyDown and kKeyUp), and
// where the modifiers travel: key and wheel messages carry the held modifiers
// in l_param (kKeyStateShift, kKeyStateControl, kKeyStateAlt); button and move
// messages in w_param as kMouseStateShift and kMouseStateControl. kChar carries one typed
// code point (Enter as 13, Tab as 9); it is not sent for keys pressed with
// Control or Alt, whose key down alone acts (Ctrl+Enter breaks a line in a
// multi-line field that does not want the return message).

#include <cstdint>

namespace ui {

// Letters are their upper-case ASCII codes (kVkA + 0..25), digits kVk0 + 0..9.
enum VirtualKey : int {
  kVkBack = 0x08,
  kVkTab = 0x09,
  kVkClear = 0x0C,
  kVkReturn = 0x0D,
  kVkShift = 0x10,
  kVkControl = 0x11,
  kVkMenu = 0x12,
  kVkPause = 0x13,
  kVkCapital = 0x14,
  kVkEscape = 0x1B,
  kVkSpace = 0x20,
  kVkPrior = 0x21,
  kVkNext = 0x22,
  kVkEnd = 0x23,
  kVkHome = 0x24,
  kVkLeft = 0x25,
  kVkUp = 0x26,
  kVkRight = 0x27,
  kVkDown = 0x28,
  kVkSnapshot = 0x2C,
  kVkInsert = 0x2D,
  kVkDelete = 0x2E,
  kVkHelp = 0x2F,
  kVk0 = 0x30,
  kVkA = 0x41,
  kVkLWin = 0x5B,
  kVkRWin = 0x5C,
  kVkApps = 0x5D,
  kVkNumpad0 = 0x60,
  kVkMultiply = 0x6A,
  kVkAdd = 0x6B,
  kVkSeparator = 0x6C,
  kVkSubtract = 0x6D,
  kVkDecimal = 0x6E,
  kVkDivide = 0x6F,
  kVkF1 = 0x70,
  kVkF24 = 0x87,
  kVkNumLock = 0x90,
  kVkScroll = 0x91,
  kVkLShift = 0xA0,
  kVkRShift = 0xA1,
  kVkLControl = 0xA2,
  kVkRControl = 0xA3,
  kVkLMenu = 0xA4,
  kVkRMenu = 0xA5,
  kVkOem1 = 0xBA,       // ;:
  kVkOemPlus = 0xBB,    // =+
  kVkOemComma = 0xBC,   // ,<
  kVkOemMinus = 0xBD,   // -_
  kVkOemPeriod = 0xBE,  // .>
  kVkOem2 = 0xBF,       // /?
  kVkOem3 = 0xC0,       // `~
  kVkOem4 = 0xDB,       // [{
  kVkOem5 = 0xDC,       // \|
  kVkOem6 = 0xDD,       // ]}
  kVkOem7 = 0xDE,       // '"
  kVkOem102 = 0xE2,     // <> of the 102-key layout
};

inline constexpr intptr_t kKeyStateShift = 0x1;
inline constexpr intptr_t kKeyStateControl = 0x2;
inline constexpr intptr_t kKeyStateAlt = 0x4;

inline constexpr uintptr_t kMouseStateLeftButton = 0x1;
inline constexpr uintptr_t kMouseStateRightButton = 0x2;
inline constexpr uintptr_t kMouseStateShift = 0x4;
inline constexpr uintptr_t kMouseStateControl = 0x8;

}  // namespace ui
