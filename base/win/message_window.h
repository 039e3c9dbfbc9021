#pragma once

#include <windows.h>

namespace nbase {

// The module this code is linked into (the program, for a static library).
HINSTANCE GetModuleOfThisCode();

// A message-only window of the class `class_name` (registered on first use,
// served by `window_proc`) whose user data is `owner`; null when the system
// refuses one.
HWND CreateMessageWindow(const wchar_t* class_name, WNDPROC window_proc, void* owner);

}  // namespace nbase
