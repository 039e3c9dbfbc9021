#include "ui/render/render.h"

namespace ui {

const PixelImage* ContextPixels(IRenderContext* context) {
  return context ? context->GetPixelImage() : nullptr;
}

}  // namespace ui
