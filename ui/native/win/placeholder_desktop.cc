// Placeholder until the Win32 native window lands: links only.
#include "ui/native/desktop.h"
#include "ui/native/native_window.h"

namespace ui {

std::unique_ptr<NativeWindow> CreateDesktopWindow() {
  return nullptr;
}

UiRect GetPrimaryWorkArea() {
  return UiRect();
}

}  // namespace ui
