#include "ui/render/render.h"
#include "ui/render/win/render_gdiplus.h"

namespace ui {

const PixelImage* ContextPixels(IRenderContext* context) {
  return context ? context->GetPixelImage() : nullptr;
}

HDC ContextDc(IRenderContext* context, CSize* size) {
  auto* gdiplus = dynamic_cast<RenderContext_GdiPlus*>(context);
  if (!gdiplus || !gdiplus->GetPixelImage()) return nullptr;
  *size = CSize(gdiplus->GetWidth(), gdiplus->GetHeight());
  return gdiplus->GetHDC();
}

}  // namespace ui
