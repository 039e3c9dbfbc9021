// The desktop's resolution: the monitor nearest the screen's top-left corner,
// as the process sees it (96 unless the process is DPI aware).

#include <windows.h>

#include "ui/resource/skin_resources.h"

namespace ui {

int SkinResources::GetSystemDPI() {
  // Looked up by name: older systems lack them.
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  using MonitorDpi = BOOL(WINAPI*)(HMONITOR, UINT, UINT*, UINT*);
  using SystemDpi = UINT(WINAPI*)();
  if (user32) {
    if (auto monitor_dpi = reinterpret_cast<MonitorDpi>(
            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForMonitorInternal")))) {
      HMONITOR monitor = MonitorFromPoint(POINT{1, 1}, MONITOR_DEFAULTTONEAREST);
      UINT x = 0, y = 0;
      // 0: the effective DPI, what the desktop's scale setting gives.
      if (monitor && monitor_dpi(monitor, 0, &x, &y) && x > 0) {
        return static_cast<int>(x);
      }
    }
    if (auto system_dpi = reinterpret_cast<SystemDpi>(
            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForSystem")))) {
      if (UINT dpi = system_dpi(); dpi > 0) return static_cast<int>(dpi);
    }
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace ui
