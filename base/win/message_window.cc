#include "base/win/message_window.h"

namespace nbase {

HINSTANCE GetModuleOfThisCode() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&GetModuleOfThisCode), &module);
  return module;
}

HWND CreateMessageWindow(const wchar_t* class_name, WNDPROC window_proc, void* owner) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = GetModuleOfThisCode();
  window_class.lpszClassName = class_name;
  // Registered once per process; a repeat fails with ERROR_CLASS_ALREADY_EXISTS.
  ::RegisterClassExW(&window_class);
  HWND hwnd = ::CreateWindowExW(0, class_name, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleOfThisCode(), nullptr);
  if (hwnd) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
  return hwnd;
}

}  // namespace nbase
