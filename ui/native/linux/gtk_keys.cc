#include "ui/native/linux/gtk_keys.h"

#include <gdk/gdkkeysyms.h>

namespace ui {

namespace {

struct KeyPair {
  uint32_t keyval;
  int vk;
};

// Keys whose code does not follow from a range. Keypad keys without NumLock
// report the navigation codes, as the system does.
constexpr KeyPair kKeys[] = {
    {GDK_KEY_BackSpace, kVkBack},
    {GDK_KEY_Tab, kVkTab},
    {GDK_KEY_ISO_Left_Tab, kVkTab},
    {GDK_KEY_KP_Tab, kVkTab},
    {GDK_KEY_Clear, kVkClear},
    {GDK_KEY_KP_Begin, kVkClear},
    {GDK_KEY_Return, kVkReturn},
    {GDK_KEY_KP_Enter, kVkReturn},
    {GDK_KEY_ISO_Enter, kVkReturn},
    {GDK_KEY_Shift_L, kVkShift},
    {GDK_KEY_Shift_R, kVkShift},
    {GDK_KEY_Control_L, kVkControl},
    {GDK_KEY_Control_R, kVkControl},
    {GDK_KEY_Alt_L, kVkMenu},
    {GDK_KEY_Alt_R, kVkMenu},
    {GDK_KEY_Meta_L, kVkMenu},
    {GDK_KEY_Meta_R, kVkMenu},
    {GDK_KEY_ISO_Level3_Shift, kVkMenu},
    {GDK_KEY_Pause, kVkPause},
    {GDK_KEY_Break, kVkPause},
    {GDK_KEY_Caps_Lock, kVkCapital},
    {GDK_KEY_Escape, kVkEscape},
    {GDK_KEY_space, kVkSpace},
    {GDK_KEY_KP_Space, kVkSpace},
    {GDK_KEY_Page_Up, kVkPrior},
    {GDK_KEY_KP_Page_Up, kVkPrior},
    {GDK_KEY_Page_Down, kVkNext},
    {GDK_KEY_KP_Page_Down, kVkNext},
    {GDK_KEY_End, kVkEnd},
    {GDK_KEY_KP_End, kVkEnd},
    {GDK_KEY_Home, kVkHome},
    {GDK_KEY_KP_Home, kVkHome},
    {GDK_KEY_Left, kVkLeft},
    {GDK_KEY_KP_Left, kVkLeft},
    {GDK_KEY_Up, kVkUp},
    {GDK_KEY_KP_Up, kVkUp},
    {GDK_KEY_Right, kVkRight},
    {GDK_KEY_KP_Right, kVkRight},
    {GDK_KEY_Down, kVkDown},
    {GDK_KEY_KP_Down, kVkDown},
    {GDK_KEY_Print, kVkSnapshot},
    {GDK_KEY_Sys_Req, kVkSnapshot},
    {GDK_KEY_Insert, kVkInsert},
    {GDK_KEY_KP_Insert, kVkInsert},
    {GDK_KEY_Delete, kVkDelete},
    {GDK_KEY_KP_Delete, kVkDelete},
    {GDK_KEY_Help, kVkHelp},
    {GDK_KEY_Super_L, kVkLWin},
    {GDK_KEY_Super_R, kVkRWin},
    {GDK_KEY_Hyper_L, kVkLWin},
    {GDK_KEY_Hyper_R, kVkRWin},
    {GDK_KEY_Menu, kVkApps},
    {GDK_KEY_KP_Multiply, kVkMultiply},
    {GDK_KEY_KP_Add, kVkAdd},
    {GDK_KEY_KP_Separator, kVkSeparator},
    {GDK_KEY_KP_Subtract, kVkSubtract},
    {GDK_KEY_KP_Decimal, kVkDecimal},
    {GDK_KEY_KP_Divide, kVkDivide},
    {GDK_KEY_Num_Lock, kVkNumLock},
    {GDK_KEY_Scroll_Lock, kVkScroll},
    // Punctuation of the US layout, both levels.
    {GDK_KEY_semicolon, kVkOem1},
    {GDK_KEY_colon, kVkOem1},
    {GDK_KEY_equal, kVkOemPlus},
    {GDK_KEY_plus, kVkOemPlus},
    {GDK_KEY_comma, kVkOemComma},
    {GDK_KEY_less, kVkOemComma},
    {GDK_KEY_minus, kVkOemMinus},
    {GDK_KEY_underscore, kVkOemMinus},
    {GDK_KEY_period, kVkOemPeriod},
    {GDK_KEY_greater, kVkOemPeriod},
    {GDK_KEY_slash, kVkOem2},
    {GDK_KEY_question, kVkOem2},
    {GDK_KEY_grave, kVkOem3},
    {GDK_KEY_asciitilde, kVkOem3},
    {GDK_KEY_dead_grave, kVkOem3},
    {GDK_KEY_bracketleft, kVkOem4},
    {GDK_KEY_braceleft, kVkOem4},
    {GDK_KEY_backslash, kVkOem5},
    {GDK_KEY_bar, kVkOem5},
    {GDK_KEY_bracketright, kVkOem6},
    {GDK_KEY_braceright, kVkOem6},
    {GDK_KEY_apostrophe, kVkOem7},
    {GDK_KEY_quotedbl, kVkOem7},
    {GDK_KEY_dead_acute, kVkOem7},
    // Shifted digits of the US layout.
    {GDK_KEY_parenright, kVk0 + 0},
    {GDK_KEY_exclam, kVk0 + 1},
    {GDK_KEY_at, kVk0 + 2},
    {GDK_KEY_numbersign, kVk0 + 3},
    {GDK_KEY_dollar, kVk0 + 4},
    {GDK_KEY_percent, kVk0 + 5},
    {GDK_KEY_asciicircum, kVk0 + 6},
    {GDK_KEY_ampersand, kVk0 + 7},
    {GDK_KEY_asterisk, kVk0 + 8},
    {GDK_KEY_parenleft, kVk0 + 9},
};

}  // namespace

int VirtualKeyFromGdkKeyval(uint32_t keyval) {
  if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z)
    return kVkA + static_cast<int>(keyval - GDK_KEY_a);
  if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z)
    return kVkA + static_cast<int>(keyval - GDK_KEY_A);
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9)
    return kVk0 + static_cast<int>(keyval - GDK_KEY_0);
  if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) {
    return kVkNumpad0 + static_cast<int>(keyval - GDK_KEY_KP_0);
  }
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) {
    return kVkF1 + static_cast<int>(keyval - GDK_KEY_F1);
  }
  for (const KeyPair& pair : kKeys) {
    if (pair.keyval == keyval) return pair.vk;
  }
  return 0;
}

}  // namespace ui
