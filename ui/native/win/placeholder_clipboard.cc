// Placeholder until the Win32 clipboard lands: links only.
#include "ui/native/clipboard.h"

namespace ui {

std::unique_ptr<Clipboard> CreateDesktopClipboard() {
  return nullptr;
}

}  // namespace ui
