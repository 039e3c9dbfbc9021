#include <windows.h>

#include "ui/native/desktop.h"
#include "ui/native/win/win_window.h"

namespace ui {

std::unique_ptr<NativeWindow> CreateDesktopWindow() {
  return std::make_unique<WinNativeWindow>();
}

UiRect GetPrimaryWorkArea() {
  RECT work;
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) return UiRect();
  return UiRect(work.left, work.top, work.right, work.bottom);
}

}  // namespace ui
