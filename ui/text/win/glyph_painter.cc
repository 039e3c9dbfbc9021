#include "ui/text/win/glyph_painter.h"

#include <algorithm>

namespace ui::dwrite {

// {6D1B3A52-3C8E-4F0B-9C2E-5B7A1E4D8F10}: the effect's own identity, so that
// a drawing effect someone else set is never taken for one.
static const GUID kTextEffectId = {
    0x6d1b3a52, 0x3c8e, 0x4f0b, {0x9c, 0x2e, 0x5b, 0x7a, 0x1e, 0x4d, 0x8f, 0x10}};

HRESULT TextEffect::QueryInterface(REFIID riid, void** out) {
  if (riid == __uuidof(IUnknown) || riid == kTextEffectId) {
    *out = this;
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG TextEffect::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

TextEffect* EffectOf(IUnknown* effect) {
  void* out = nullptr;
  if (!effect || FAILED(effect->QueryInterface(kTextEffectId, &out))) return nullptr;
  auto* text_effect = static_cast<TextEffect*>(out);
  text_effect->Release();  // the layout holds it while it draws
  return text_effect;
}

namespace {

uint8_t Mul(unsigned a, unsigned b) {
  return static_cast<uint8_t>((a * b + 127) / 255);
}

// Hands each glyph run to a visitor; lives on the stack for one Draw.
class RunVisitor final : public IDWriteTextRenderer {
 public:
  explicit RunVisitor(const GlyphRunVisitor& visit) : visit_(visit) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDWritePixelSnapping) ||
        riid == __uuidof(IDWriteTextRenderer)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE IsPixelSnappingDisabled(void*, BOOL* disabled) override {
    *disabled = FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCurrentTransform(void*, DWRITE_MATRIX* transform) override {
    *transform = DWRITE_MATRIX{1, 0, 0, 1, 0, 0};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPixelsPerDip(void*, FLOAT* pixels) override {
    *pixels = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DrawGlyphRun(void*, FLOAT, FLOAT, DWRITE_MEASURING_MODE,
                                         const DWRITE_GLYPH_RUN* run,
                                         const DWRITE_GLYPH_RUN_DESCRIPTION* text,
                                         IUnknown* effect) override {
    if (run && text) visit_(*run, *text, effect);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DrawUnderline(void*, FLOAT, FLOAT, const DWRITE_UNDERLINE*,
                                          IUnknown*) override {
    return S_OK;  // the layouts draw their own, placed as their carets are
  }
  HRESULT STDMETHODCALLTYPE DrawStrikethrough(void*, FLOAT, FLOAT, const DWRITE_STRIKETHROUGH*,
                                              IUnknown*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DrawInlineObject(void*, FLOAT, FLOAT, IDWriteInlineObject*, BOOL, BOOL,
                                             IUnknown*) override {
    return S_OK;
  }

 private:
  const GlyphRunVisitor& visit_;
};

}  // namespace

void ForEachGlyphRun(IDWriteTextLayout* layout, const GlyphRunVisitor& visit) {
  RunVisitor visitor(visit);
  layout->Draw(nullptr, &visitor, 0, 0);
}

void GlyphPainter::AddGlyphs(const DWRITE_GLYPH_RUN& run, float x, float y, IUnknown* effect,
                             uint32_t color) {
  if (!context_ || run.glyphCount == 0) return;
  ComPtr<IDWriteGlyphRunAnalysis> analysis;
  DWRITE_TEXTURE_TYPE texture = DWRITE_TEXTURE_ALIASED_1x1;
  if (IDWriteFactory2* factory2 = context_->factory2()) {
    if (FAILED(factory2->CreateGlyphRunAnalysis(
            &run, nullptr, DWRITE_RENDERING_MODE_NATURAL_SYMMETRIC, DWRITE_MEASURING_MODE_NATURAL,
            DWRITE_GRID_FIT_MODE_DEFAULT, DWRITE_TEXT_ANTIALIAS_MODE_GRAYSCALE, x, y, &analysis))) {
      return;
    }
  } else {
    // Before Windows 8.1 anti-aliased coverage comes as three samples a
    // pixel; their mean is the pixel's.
    texture = DWRITE_TEXTURE_CLEARTYPE_3x1;
    if (FAILED(context_->factory()->CreateGlyphRunAnalysis(
            &run, 1, nullptr, DWRITE_RENDERING_MODE_NATURAL, DWRITE_MEASURING_MODE_NATURAL, x, y,
            &analysis))) {
      return;
    }
  }
  RECT r{};
  if (FAILED(analysis->GetAlphaTextureBounds(texture, &r)) || r.right <= r.left ||
      r.bottom <= r.top) {
    return;  // blanks
  }
  const size_t pixels = static_cast<size_t>(r.right - r.left) * (r.bottom - r.top);
  const size_t samples = texture == DWRITE_TEXTURE_CLEARTYPE_3x1 ? 3 : 1;
  std::vector<uint8_t> bytes(pixels * samples);
  if (FAILED(analysis->CreateAlphaTexture(texture, &r, bytes.data(),
                                          static_cast<UINT32>(bytes.size())))) {
    return;
  }
  if (samples == 3) {
    for (size_t i = 0; i < pixels; ++i) {
      bytes[i] = static_cast<uint8_t>((bytes[3 * i] + bytes[3 * i + 1] + bytes[3 * i + 2]) / 3);
    }
    bytes.resize(pixels);
  }
  Piece piece;
  piece.rect = UiRect(r.left, r.top, r.right, r.bottom);
  piece.coverage = std::move(bytes);
  TextEffect* text_effect = EffectOf(effect);
  piece.color = text_effect ? text_effect->color() : color;
  pieces_.push_back(std::move(piece));
}

void GlyphPainter::AddRect(const UiRect& rect, uint32_t color) {
  if (rect.IsRectEmpty()) return;
  Piece piece;
  piece.rect = rect;
  piece.color = color;
  pieces_.push_back(std::move(piece));
}

UiRect GlyphPainter::GetBounds() const {
  UiRect bounds;
  for (const Piece& piece : pieces_) bounds.Union(piece.rect);
  return bounds;
}

std::shared_ptr<PixelImage> GlyphPainter::Paint(const UiRect& bounds) const {
  return Compose(bounds, nullptr, nullptr);
}

std::shared_ptr<PixelImage> GlyphPainter::Paint(const UiRect& bounds,
                                                const std::vector<UiRect>& keep,
                                                uint32_t color) const {
  return Compose(bounds, &keep, &color);
}

std::shared_ptr<PixelImage> GlyphPainter::Compose(const UiRect& bounds,
                                                  const std::vector<UiRect>* keep,
                                                  const uint32_t* color) const {
  std::shared_ptr<PixelImage> image = PixelImage::Create(bounds.GetWidth(), bounds.GetHeight());
  if (!image) return nullptr;
  for (const Piece& piece : pieces_) {
    const uint32_t argb = color ? *color : piece.color;
    const unsigned alpha = argb >> 24;
    const unsigned red = (argb >> 16) & 0xFF, green = (argb >> 8) & 0xFF, blue = argb & 0xFF;
    UiRect area = piece.rect;
    if (!area.Intersect(bounds)) continue;
    for (int y = area.top; y < area.bottom; ++y) {
      uint8_t* row = image->GetRow(y - bounds.top);
      for (int x = area.left; x < area.right; ++x) {
        if (keep && std::none_of(keep->begin(), keep->end(), [x, y](const UiRect& r) {
              return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            })) {
          continue;
        }
        const unsigned coverage =
            piece.coverage.empty()
                ? 255
                : piece.coverage[static_cast<size_t>(y - piece.rect.top) * piece.rect.GetWidth() +
                                 (x - piece.rect.left)];
        const unsigned a = Mul(coverage, alpha);
        if (a == 0) continue;
        // Source over, premultiplied (bytes blue, green, red, alpha).
        uint8_t* p = row + static_cast<size_t>(x - bounds.left) * 4;
        const unsigned rest = 255 - a;
        p[0] = static_cast<uint8_t>(Mul(blue, a) + Mul(p[0], rest));
        p[1] = static_cast<uint8_t>(Mul(green, a) + Mul(p[1], rest));
        p[2] = static_cast<uint8_t>(Mul(red, a) + Mul(p[2], rest));
        p[3] = static_cast<uint8_t>(a + Mul(p[3], rest));
      }
    }
  }
  return image;
}

}  // namespace ui::dwrite
