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

inline constexpr int kVkBack = 0x08;
inline constexpr int kVkTab = 0x09;
inline constexpr int kVkReturn = 0x0D;
inline constexpr int kVkShift = 0x10;
inline constexpr int kVkControl = 0x11;
inline constexpr int kVkMenu = 0x12;
inline constexpr int kVkEscape = 0x1B;
inline constexpr int kVkPrior = 0x21;
inline constexpr int kVkNext = 0x22;
inline constexpr int kVkEnd = 0x23;
inline constexpr int kVkHome = 0x24;
inline constexpr int kVkLeft = 0x25;
inline constexpr int kVkUp = 0x26;
inline constexpr int kVkRight = 0x27;
inline constexpr int kVkDown = 0x28;
inline constexpr int kVkInsert = 0x2D;
inline constexpr int kVkDelete = 0x2E;
// Letters are their upper-case ASCII codes ('A' to 'Z').

inline constexpr intptr_t kKeyStateShift = 0x1;
inline constexpr intptr_t kKeyStateControl = 0x2;
inline constexpr intptr_t kKeyStateAlt = 0x4;

inline constexpr uintptr_t kMouseStateShift = 0x4;
inline constexpr uintptr_t kMouseStateControl = 0x8;

}  // namespace ui
