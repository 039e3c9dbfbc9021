// Placeholder until the window-timer tick source lands: links only.
#include "ui/animation/tick_source.h"

namespace ui {

std::unique_ptr<TickSource> CreateTickSource() {
  return nullptr;
}

}  // namespace ui
