// Paragraph layouts on Pango, drawn with Cairo into the Cairo back end's
// render contexts.

#include <pango/pangocairo.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "ui/render/linux/render_cairo.h"
#include "ui/resource/linux/pango_font.h"
#include "ui/text/paragraph_layout.h"

namespace ui {

// On this target an index is a code point offset; Pango counts bytes.
static_assert(sizeof(wchar_t) == 4, "wide strings hold code points here");

namespace {

int Pixels(int pango_units) {
  return PANGO_PIXELS_CEIL(pango_units);
}

void SetSource(cairo_t* cr, uint32_t argb) {
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                        (argb & 0xFF) / 255.0, ((argb >> 24) & 0xFF) / 255.0);
}

void InsertAttr(PangoAttrList* list, PangoAttribute* attr, int start, int end) {
  attr->start_index = static_cast<guint>(start);
  attr->end_index = static_cast<guint>(end);
  pango_attr_list_insert(list, attr);
}

void AddFormatAttrs(PangoAttrList* list, const CharFormat& f, int start, int end) {
  if (f.mask & CharFormat::kColor) {
    InsertAttr(list,
               pango_attr_foreground_new(static_cast<guint16>(((f.color >> 16) & 0xFF) * 257),
                                         static_cast<guint16>(((f.color >> 8) & 0xFF) * 257),
                                         static_cast<guint16>((f.color & 0xFF) * 257)),
               start, end);
  }
  if ((f.mask & CharFormat::kFace) && !f.face.empty()) {
    InsertAttr(list, pango_attr_family_new(f.face.c_str()), start, end);
  }
  if ((f.mask & CharFormat::kSize) && f.size > 0) {
    InsertAttr(list, pango_attr_size_new_absolute(f.size * PANGO_SCALE), start, end);
  }
  if (f.mask & CharFormat::kBold) {
    InsertAttr(list, pango_attr_weight_new(f.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL), start,
               end);
  }
  if (f.mask & CharFormat::kItalic) {
    InsertAttr(list, pango_attr_style_new(f.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL),
               start, end);
  }
  if (f.mask & CharFormat::kUnderline) {
    InsertAttr(
        list, pango_attr_underline_new(f.underline ? PANGO_UNDERLINE_SINGLE : PANGO_UNDERLINE_NONE),
        start, end);
  }
}

// Code point offsets of `utf8` to byte offsets, one more entry than points.
std::vector<int> ByteOffsets(const std::string& utf8) {
  std::vector<int> out;
  out.reserve(utf8.size() + 1);
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) out.push_back(static_cast<int>(i));
  }
  out.push_back(static_cast<int>(utf8.size()));
  return out;
}

class PangoParagraphLayout : public ParagraphLayout {
 public:
  explicit PangoParagraphLayout(PangoLayout* layout) : layout_(layout) {}
  ~PangoParagraphLayout() override { g_object_unref(layout_); }
  PangoParagraphLayout(const PangoParagraphLayout&) = delete;
  PangoParagraphLayout& operator=(const PangoParagraphLayout&) = delete;

  CSize GetSize() const override {
    PangoRectangle logical;
    pango_layout_get_extents(layout_, nullptr, &logical);
    return CSize(Pixels(logical.width), Pixels(logical.height));
  }

  int GetLineCount() const override { return pango_layout_get_line_count(layout_); }

  ParagraphLine GetLine(int line) const override {
    ParagraphLine out;
    PangoLayoutIter* iter = pango_layout_get_iter(layout_);
    for (int i = 0; i < line && pango_layout_iter_next_line(iter);) ++i;
    PangoLayoutLine* l = pango_layout_iter_get_line_readonly(iter);
    PangoRectangle extents;
    pango_layout_iter_get_line_extents(iter, nullptr, &extents);
    const bool last = !pango_layout_iter_next_line(iter);
    const int end_byte =
        last ? static_cast<int>(std::strlen(Text())) : pango_layout_iter_get_index(iter);
    pango_layout_iter_free(iter);
    out.start = IndexOfByte(l->start_index);
    out.length = IndexOfByte(end_byte) - out.start;
    out.top = PANGO_PIXELS(extents.y);
    out.height = PANGO_PIXELS(extents.height);
    return out;
  }

  int GetLineOfIndex(int index) const override {
    int line = 0, x = 0;
    pango_layout_index_to_line_x(layout_, ByteOfIndex(index), FALSE, &line, &x);
    return line;
  }

  ParagraphHit HitTest(int x, int y) const override {
    int byte = 0, trailing = 0;
    ParagraphHit hit;
    hit.inside =
        pango_layout_xy_to_index(layout_, x * PANGO_SCALE, y * PANGO_SCALE, &byte, &trailing);
    hit.index = IndexOfByte(byte);
    // Pango counts the trailing characters of the cluster; they are whole
    // code points, so each is one index here.
    hit.trailing = trailing;
    return hit;
  }

  UiRect GetCaretRect(int index) const override {
    PangoRectangle strong;
    pango_layout_get_cursor_pos(layout_, ByteOfIndex(index), &strong, nullptr);
    const int x = PANGO_PIXELS(strong.x);
    const int y = PANGO_PIXELS(strong.y);
    return UiRect(x, y, x + 1, y + Pixels(strong.height));
  }

  void Draw(IRenderContext* context, int x, int y, uint32_t color,
            const ParagraphSelection* selection) const override {
    auto* cairo_context = dynamic_cast<RenderContextCairo*>(context);
    if (!cairo_context) return;
    cairo_t* cr = cairo_context->cairo();
    SetSource(cr, color);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout_);
    if (!selection) return;
    // The highlight, then the text again in the selected colour inside it.
    const int sb = ByteOfIndex(selection->start);
    const int eb = ByteOfIndex(selection->end);
    cairo_save(cr);
    cairo_new_path(cr);
    PangoLayoutIter* iter = pango_layout_get_iter(layout_);
    do {
      PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
      PangoRectangle extents;
      pango_layout_iter_get_line_extents(iter, nullptr, &extents);
      int* ranges = nullptr;
      int count = 0;
      pango_layout_line_get_x_ranges(line, sb, eb, &ranges, &count);
      for (int r = 0; r < count; ++r) {
        const double left = x + PANGO_PIXELS(ranges[2 * r]);
        double width = PANGO_PIXELS(ranges[2 * r + 1] - ranges[2 * r]);
        cairo_rectangle(cr, left, y + PANGO_PIXELS(extents.y), std::max(width, 0.0),
                        PANGO_PIXELS(extents.height));
      }
      g_free(ranges);
      if (selection->line_break && pango_layout_iter_at_last_line(iter)) {
        PangoRectangle logical;
        pango_layout_line_get_pixel_extents(line, nullptr, &logical);
        cairo_rectangle(cr, x + logical.x + logical.width, y + PANGO_PIXELS(extents.y), 4,
                        PANGO_PIXELS(extents.height));
      }
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    cairo_clip_preserve(cr);
    SetSource(cr, selection->background);
    cairo_fill(cr);
    SetSource(cr, selection->text_color);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout_);
    cairo_restore(cr);
  }

 private:
  const char* Text() const { return pango_layout_get_text(layout_); }
  int ByteOfIndex(int index) const {
    const char* text = Text();
    return static_cast<int>(g_utf8_offset_to_pointer(text, index) - text);
  }
  int IndexOfByte(int byte) const {
    const char* text = Text();
    return static_cast<int>(g_utf8_pointer_to_offset(text, text + byte));
  }

  PangoLayout* layout_;
};

class PangoParagraphLayoutFactory : public ParagraphLayoutFactory {
 public:
  PangoParagraphLayoutFactory()
      : pango_(pango_font_map_create_context(pango_cairo_font_map_get_default())) {
    // Grey antialiasing, as the render context draws its text.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(pango_, options);
    cairo_font_options_destroy(options);
  }
  ~PangoParagraphLayoutFactory() override { g_object_unref(pango_); }
  PangoParagraphLayoutFactory(const PangoParagraphLayoutFactory&) = delete;
  PangoParagraphLayoutFactory& operator=(const PangoParagraphLayoutFactory&) = delete;

  std::unique_ptr<ParagraphLayout> Create(std::wstring_view text,
                                          const ParagraphStyle& style) override {
    const std::string utf8 = nbase::WideToUTF8(text);
    PangoLayout* layout = pango_layout_new(pango_);
    const PangoFontDescription* desc = PangoFontOf(style.font);
    pango_layout_set_font_description(layout, desc ? desc : DefaultFontDescription());
    pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
    if (style.wrap_width > 0) {
      pango_layout_set_width(layout, style.wrap_width * PANGO_SCALE);
      pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
      pango_layout_set_alignment(layout, style.align == TextAlign::kCenter  ? PANGO_ALIGN_CENTER
                                         : style.align == TextAlign::kRight ? PANGO_ALIGN_RIGHT
                                                                            : PANGO_ALIGN_LEFT);
    }
    PangoAttrList* attrs = pango_attr_list_new();
    const bool composing = style.composition_end > style.composition_start;
    if (style.base.mask || !style.runs.empty() || composing) {
      const std::vector<int> bytes = ByteOffsets(utf8);
      auto byte_of = [&bytes](int index) {
        return bytes[static_cast<size_t>(std::clamp(index, 0, static_cast<int>(bytes.size()) - 1))];
      };
      if (style.base.mask) AddFormatAttrs(attrs, style.base, 0, static_cast<int>(utf8.size()));
      for (const ParagraphStyle::Run& run : style.runs) {
        AddFormatAttrs(attrs, run.format, byte_of(run.start), byte_of(run.end));
      }
      if (composing) {
        InsertAttr(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE),
                   byte_of(style.composition_start), byte_of(style.composition_end));
      }
    }
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
    return std::make_unique<PangoParagraphLayout>(layout);
  }

 private:
  PangoContext* pango_;
};

}  // namespace

std::unique_ptr<ParagraphLayoutFactory> CreateParagraphLayoutFactory() {
  return std::make_unique<PangoParagraphLayoutFactory>();
}

// Pango's default font map belongs to the thread that asks for it.
void PrepareParagraphLayouts() {}

}  // namespace ui
