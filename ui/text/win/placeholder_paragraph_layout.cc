// Placeholder until the DirectWrite paragraph layout lands: links only.
#include "ui/text/paragraph_layout.h"

namespace ui {

std::unique_ptr<ParagraphLayoutFactory> CreateParagraphLayoutFactory() {
  return nullptr;
}

}  // namespace ui
