// Placeholder until the GDI+ back end is merged: links the text layout's
// tests, which draw nothing without it.

#include "ui/render/render.h"

namespace ui {

std::unique_ptr<IRenderFactory> CreateRenderFactory() {
  return nullptr;
}

AutoClip::AutoClip(IRenderContext* context, const UiRect&, bool)
    : context_(context), clipped_(false) {}
AutoClip::AutoClip(IRenderContext* context, const UiRect&, int, int, bool)
    : context_(context), clipped_(false) {}
AutoClip::~AutoClip() = default;

}  // namespace ui
