#include "ui/text/text_services.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>

#include "base/string_util.h"
#include "ui/native/key_codes.h"
#include "ui/render/linux/render_cairo.h"
#include "ui/text/word_breaker.h"

namespace ui {

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

}  // namespace

TextServices::TextServices(TextHost* host) : host_(host) {
  pango_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(pango_, options);
  cairo_font_options_destroy(options);
  paras_.push_back(Paragraph());
  model_.SetChangeListener(
      [this](int pos, int removed, int inserted) { OnModelChange(pos, removed, inserted); });
  ReadOptions();
  client_ = host_->TxGetClientRect();
}

TextServices::~TextServices() {
  for (Paragraph& para : paras_) DropLayout(para);
  g_object_unref(pango_);
}

void TextServices::ReadOptions() {
  const uint32_t bits = host_->TxGetPropertyBits(UINT32_MAX);
  model_.SetMultiLine(bits & kTxtBitMultiLine);
  model_.SetReadOnly(bits & kTxtBitReadOnly);
  model_.SetPassword(bits & kTxtBitUsePassword);
  model_.SetNumber(bits & kTxtBitNumber);
  model_.SetMaxLength(host_->TxGetMaxLength());
  rich_ = bits & kTxtBitRichText;
  hide_selection_ = bits & kTxtBitHideSelection;
  const bool wrap = (bits & kTxtBitWordWrap) && (bits & kTxtBitMultiLine);
  const CharFormat& format = host_->TxGetCharFormat();
  const PangoFontDescription* font = host_->TxGetFont();
  const ParaFormat& para = host_->TxGetParaFormat();
  const bool relayout = wrap != word_wrap_ || !(format == default_format_) || font != font_ ||
                        para.align != para_format_.align;
  word_wrap_ = wrap;
  default_format_ = format;
  font_ = font;
  para_format_ = para;
  if (relayout) {
    for (Paragraph& p : paras_) {
      DropLayout(p);
      p.height = -1;
    }
    tops_valid_ = 0;
    max_width_dirty_ = true;
  }
}

void TextServices::OnPropertyBitsChange(uint32_t mask) {
  (void)mask;
  const UiRect client = host_->TxGetClientRect();
  const bool width_changed = client.GetWidth() != client_.GetWidth();
  client_ = client;
  ReadOptions();
  if (width_changed && word_wrap_) {
    for (Paragraph& p : paras_) {
      DropLayout(p);
      p.height = -1;
    }
    tops_valid_ = 0;
    max_width_dirty_ = true;
  }
  ClampScroll();
  UpdateScrollBars();
  UpdateCaret();
  InvalidateAll();
}

// ---- Text operations ------------------------------------------------------

void TextServices::SetText(const std::wstring& text) {
  model_.SetText(text);
  runs_.clear();
  Finish();
}

void TextServices::SetSelection(int first, int last) {
  if (first == 0 && last == -1) {
    model_.SelectAll();
  } else if (first < 0) {
    const int end = model_.GetSelection().Max();
    model_.SetSelection(TextRange(end, end));
  } else {
    model_.SetSelection(TextRange(first, last < 0 ? model_.GetLength() : last));
  }
  goal_x_ = -1;
  Finish();
}

void TextServices::ReplaceSelection(const std::wstring& text, bool can_undo) {
  if (can_undo) {
    model_.Edit(text);
  } else {
    model_.ReplaceSelectionNoUndo(text);
  }
  Finish();
}

bool TextServices::Undo() {
  const bool done = model_.Undo();
  Finish();
  return done;
}

bool TextServices::Redo() {
  const bool done = model_.Redo();
  Finish();
  return done;
}

bool TextServices::Copy() {
  Clipboard* clipboard = host_->TxGetClipboard();
  const auto text = model_.GetCopyableText();
  if (!clipboard || !text || text->empty()) return false;
  return clipboard->SetText(ClipboardKind::kClipboard, *text);
}

bool TextServices::Cut() {
  if (model_.IsReadOnly() || !Copy()) return false;
  model_.Edit(L"");
  Finish();
  return true;
}

bool TextServices::Paste(ClipboardKind kind) {
  Clipboard* clipboard = host_->TxGetClipboard();
  if (!clipboard || model_.IsReadOnly()) return false;
  const auto text = clipboard->GetText(kind);
  if (!text) return false;
  const bool changed = model_.Edit(*text);
  Finish();
  return changed;
}

// ---- Model changes and layout bookkeeping -----------------------------------

void TextServices::OnModelChange(int pos, int removed, int inserted) {
  text_changed_ = true;
  const size_t first = ParagraphAt(pos);
  const size_t last = ParagraphAt(pos + removed);
  const int span_start = paras_[first].start;
  const int old_end = paras_[last].start + paras_[last].length;
  const int delta = inserted - removed;
  const int new_end = old_end + delta;
  // Split the new span at its line breaks.
  const std::wstring& text = model_.GetText();
  std::vector<Paragraph> fresh;
  int start = span_start;
  for (int i = span_start; i < new_end; ++i) {
    if (text[static_cast<size_t>(i)] == L'\n') {
      fresh.push_back(Paragraph{start, i - start, -1, 0, nullptr});
      start = i + 1;
    }
  }
  fresh.push_back(Paragraph{start, new_end - start, -1, 0, nullptr});
  int old_height = 0;
  bool heights_known = true;
  for (size_t i = first; i <= last; ++i) {
    if (paras_[i].height < 0) heights_known = false;
    // The widest line may be going away.
    if (paras_[i].width >= max_width_) max_width_dirty_ = true;
    old_height += std::max(paras_[i].height, 0);
    DropLayout(paras_[i]);
  }
  const size_t old_count = last - first + 1;
  if (fresh.size() == old_count) {
    std::copy(fresh.begin(), fresh.end(), paras_.begin() + static_cast<ptrdiff_t>(first));
  } else {
    paras_.erase(paras_.begin() + static_cast<ptrdiff_t>(first),
                 paras_.begin() + static_cast<ptrdiff_t>(last + 1));
    paras_.insert(paras_.begin() + static_cast<ptrdiff_t>(first), fresh.begin(), fresh.end());
    // Layout cache indexes after the span moved.
    const ptrdiff_t shift =
        static_cast<ptrdiff_t>(fresh.size()) - static_cast<ptrdiff_t>(old_count);
    for (size_t& index : layout_order_) {
      if (index > last) index = static_cast<size_t>(static_cast<ptrdiff_t>(index) + shift);
    }
    dirty_shape_ = true;
  }
  for (size_t i = first + fresh.size(); i < paras_.size(); ++i) paras_[i].start += delta;
  // Heights of the new paragraphs decide whether the lines below move.
  int new_height = 0;
  // A typed edit touches a paragraph or two, drawn next; a loaded text is
  // measured and let go, not held as thousands of layouts.
  const bool keep = fresh.size() <= 4;
  for (size_t i = first; i < first + fresh.size(); ++i) {
    Measure(i, keep);
    new_height += paras_[i].height;
  }
  if (!heights_known || new_height != old_height) dirty_shape_ = true;
  tops_valid_ = std::min(tops_valid_, first);
  dirty_first_ = std::min(dirty_first_, first);
  dirty_last_ = std::max(dirty_last_, first + fresh.size() - 1);

  // Formats follow the text: runs after the edit move, runs over it shrink,
  // and text typed inside or at the end of a run takes its format.
  for (FormatRun& run : runs_) {
    auto move = [&](int p, bool is_end) {
      if (p < pos || (p == pos && !is_end)) return p;
      if (p >= pos + removed) return p + delta;
      return pos + (is_end ? inserted : 0);
    };
    run.start = move(run.start, false);
    run.end = move(run.end, true);
  }
  std::erase_if(runs_, [](const FormatRun& r) { return r.end <= r.start; });
}

void TextServices::Finish(bool scroll_to_caret) {
  if (dirty_first_ != SIZE_MAX) {
    if (dirty_shape_) {
      UiRect rect = client_;
      const int top = client_.top - scroll_y_ + ParaTop(dirty_first_);
      rect.top = std::max(rect.top, top);
      Invalidate(rect);
    } else {
      InvalidateParagraphs(dirty_first_, dirty_last_);
    }
    dirty_first_ = SIZE_MAX;
    dirty_last_ = 0;
    dirty_shape_ = false;
  }
  if (scroll_to_caret) ScrollToCaret();
  UpdateScrollBars();
  UpdateCaret();
  // The selection shows in the whole area; cheap enough for a field.
  if (!model_.GetSelection().IsEmpty() || !text_changed_) InvalidateAll();
  TrimLayoutCache();
  // The change notice goes last: its handler may delete the host.
  if (!(model_.GetSelection() == notified_selection_)) {
    notified_selection_ = model_.GetSelection();
    host_->TxNotify(kNotifySelChange, nullptr);
  }
  if (text_changed_) {
    text_changed_ = false;
    host_->TxNotify(kNotifyChange, nullptr);
  }
}

size_t TextServices::ParagraphAt(int pos) const {
  auto it = std::upper_bound(paras_.begin(), paras_.end(), pos,
                             [](int p, const Paragraph& para) { return p < para.start; });
  return it == paras_.begin() ? 0 : static_cast<size_t>(it - paras_.begin() - 1);
}

int TextServices::WrapWidth() const {
  // Before the control has a size there is nothing to wrap at: laying a long
  // text out a pixel wide would cost a line per character.
  return word_wrap_ && client_.GetWidth() > 0 ? client_.GetWidth() : -1;
}

PangoLayout* TextServices::GetLayout(size_t index) {
  Paragraph& para = paras_[index];
  if (para.layout) return para.layout;
  const std::wstring& text = model_.GetText();
  std::wstring shown =
      model_.IsPassword()
          ? std::wstring(static_cast<size_t>(para.length), TextModel::kPasswordMask)
          : text.substr(static_cast<size_t>(para.start), static_cast<size_t>(para.length));
  // The composition sits at the caret inside its paragraph.
  const int caret = model_.GetSelection().caret;
  int preedit_at = -1;
  if (!preedit_.empty() && caret >= para.start && caret <= para.start + para.length) {
    preedit_at = caret - para.start;
    shown.insert(static_cast<size_t>(preedit_at), preedit_);
  }
  const std::string utf8 = nbase::WideToUTF8(shown);
  PangoLayout* layout = pango_layout_new(pango_);
  pango_layout_set_font_description(layout, font_ ? font_ : DefaultFontDescription());
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  if (WrapWidth() > 0) {
    pango_layout_set_width(layout, WrapWidth() * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout, para_format_.align == TextAlign::kCenter ? PANGO_ALIGN_CENTER
                                       : para_format_.align == TextAlign::kRight
                                           ? PANGO_ALIGN_RIGHT
                                           : PANGO_ALIGN_LEFT);
  }
  PangoAttrList* attrs = pango_attr_list_new();
  const bool has_runs = !runs_.empty() && !model_.IsPassword();
  if (has_runs || preedit_at >= 0 || default_format_.underline || default_format_.bold ||
      default_format_.italic) {
    const std::vector<int> bytes = ByteOffsets(utf8);
    const int end_byte = static_cast<int>(utf8.size());
    CharFormat base = default_format_;
    base.mask &= CharFormat::kBold | CharFormat::kItalic | CharFormat::kUnderline;
    if (base.mask) AddFormatAttrs(attrs, base, 0, end_byte);
    const int plen = static_cast<int>(preedit_.size());
    auto byte_of = [&](int offset) {
      int shifted = offset;
      if (preedit_at >= 0 && offset >= preedit_at) shifted += plen;
      return bytes[static_cast<size_t>(std::clamp(shifted, 0, static_cast<int>(bytes.size()) - 1))];
    };
    if (has_runs) {
      for (const FormatRun& run : runs_) {
        const int s = std::max(run.start, para.start) - para.start;
        const int e = std::min(run.end, para.start + para.length) - para.start;
        if (e <= s) continue;
        AddFormatAttrs(attrs, run.format, byte_of(s), byte_of(e));
      }
    }
    if (preedit_at >= 0) {
      const int s = bytes[static_cast<size_t>(preedit_at)];
      const int e = bytes[static_cast<size_t>(preedit_at + plen)];
      InsertAttr(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), s, e);
    }
  }
  pango_layout_set_attributes(layout, attrs);
  pango_attr_list_unref(attrs);
  para.layout = layout;
  ++layout_count_;
  peak_layout_count_ = std::max(peak_layout_count_, layout_count_);
  layout_order_.push_back(index);
  return layout;
}

void TextServices::DropLayout(Paragraph& para) {
  if (!para.layout) return;
  g_object_unref(para.layout);
  para.layout = nullptr;
  --layout_count_;
}

void TextServices::TrimLayoutCache() {
  if (layout_count_ <= kLayoutCacheLimit) {
    // Entries whose layout was dropped elsewhere are forgotten lazily.
    // Entries of dropped layouts, and repeats of a paragraph laid out again
    // (typing in it), are forgotten once they pile up.
    if (layout_order_.size() > 4 * kLayoutCacheLimit) {
      std::sort(layout_order_.begin(), layout_order_.end());
      layout_order_.erase(std::unique(layout_order_.begin(), layout_order_.end()),
                          layout_order_.end());
      std::erase_if(layout_order_,
                    [this](size_t i) { return i >= paras_.size() || !paras_[i].layout; });
    }
    return;
  }
  const size_t first_visible = ParagraphAtY(scroll_y_);
  const size_t last_visible = ParagraphAtY(scroll_y_ + client_.GetHeight());
  std::vector<size_t> kept;
  std::sort(layout_order_.begin(), layout_order_.end());
  layout_order_.erase(std::unique(layout_order_.begin(), layout_order_.end()), layout_order_.end());
  for (size_t index : layout_order_) {
    if (index >= paras_.size() || !paras_[index].layout) continue;
    if (layout_count_ > kLayoutCacheLimit / 2 && (index < first_visible || index > last_visible)) {
      DropLayout(paras_[index]);
    } else {
      kept.push_back(index);
    }
  }
  layout_order_ = std::move(kept);
}

void TextServices::Measure(size_t index, bool keep) {
  Paragraph& para = paras_[index];
  if (para.height >= 0) return;
  const bool had_layout = para.layout != nullptr;
  PangoLayout* layout = GetLayout(index);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  para.height = Pixels(logical.height);
  para.width = Pixels(logical.width);
  max_width_ = std::max(max_width_, para.width);
  if (!had_layout && !keep && layout_count_ > kLayoutCacheLimit / 2) {
    // Measuring a long text keeps only the numbers.
    DropLayout(para);
  }
}

void TextServices::MeasureAll() {
  for (size_t i = 0; i < paras_.size(); ++i) Measure(i);
}

void TextServices::UpdateTops() {
  if (tops_.size() != paras_.size() + 1) {
    tops_.resize(paras_.size() + 1);
    tops_valid_ = std::min(tops_valid_, paras_.size());
  }
  if (tops_valid_ == 0) tops_[0] = 0;
  for (size_t i = tops_valid_; i < paras_.size(); ++i) {
    Measure(i);
    tops_[i + 1] = tops_[i] + paras_[i].height;
  }
  tops_valid_ = paras_.size();
}

int TextServices::ParaTop(size_t index) {
  UpdateTops();
  return tops_[std::min(index, paras_.size())];
}

int TextServices::ContentHeight() {
  return ParaTop(paras_.size());
}

size_t TextServices::ParagraphAtY(int y) {
  UpdateTops();
  auto it = std::upper_bound(tops_.begin(), tops_.end() - 1, y);
  const size_t index = it == tops_.begin() ? 0 : static_cast<size_t>(it - tops_.begin() - 1);
  return std::min(index, paras_.size() - 1);
}

CSize TextServices::GetContentSize() {
  UpdateTops();
  if (max_width_dirty_) {
    max_width_ = 0;
    for (const Paragraph& para : paras_) max_width_ = std::max(max_width_, para.width);
    max_width_dirty_ = false;
  }
  return CSize(max_width_, ContentHeight());
}

int TextServices::AlignOffset(const Paragraph& para) const {
  if (word_wrap_) return 0;
  const int room = client_.GetWidth() - para.width;
  if (room <= 0) return 0;
  switch (para_format_.align) {
    case TextAlign::kCenter:
      return room / 2;
    case TextAlign::kRight:
      return room;
    case TextAlign::kLeft:
      break;
  }
  return 0;
}

int TextServices::LayoutIndex(size_t index, int offset) {
  PangoLayout* layout = GetLayout(index);
  const char* text = pango_layout_get_text(layout);
  const Paragraph& para = paras_[index];
  int shifted = std::clamp(offset, 0, para.length);
  if (!preedit_.empty() && model_.GetSelection().caret - para.start <= shifted &&
      model_.GetSelection().caret >= para.start) {
    shifted += static_cast<int>(preedit_.size());
  }
  return static_cast<int>(g_utf8_offset_to_pointer(text, shifted) - text);
}

int TextServices::OffsetFromLayoutIndex(size_t index, int byte_index, int trailing) {
  PangoLayout* layout = GetLayout(index);
  const char* text = pango_layout_get_text(layout);
  int offset = static_cast<int>(g_utf8_pointer_to_offset(text, text + byte_index));
  if (trailing > 0) offset += trailing;
  const Paragraph& para = paras_[index];
  if (!preedit_.empty()) {
    const int at = model_.GetSelection().caret - para.start;
    const int plen = static_cast<int>(preedit_.size());
    if (at >= 0 && at <= para.length && offset > at) offset = std::max(at, offset - plen);
  }
  return para.start + std::clamp(offset, 0, para.length);
}

UiRect TextServices::CharRect(int pos) {
  const size_t index = ParagraphAt(pos);
  PangoLayout* layout = GetLayout(index);
  int byte = LayoutIndex(index, pos - paras_[index].start);
  if (!preedit_.empty() && pos == model_.GetSelection().caret) {
    // The caret sits at the composition's own cursor.
    const char* text = pango_layout_get_text(layout);
    const int base = static_cast<int>(g_utf8_pointer_to_offset(text, text + byte) -
                                      static_cast<long>(preedit_.size()));
    byte = static_cast<int>(g_utf8_offset_to_pointer(text, base + preedit_cursor_) - text);
  }
  PangoRectangle strong;
  pango_layout_get_cursor_pos(layout, byte, &strong, nullptr);
  const int x = PANGO_PIXELS(strong.x) + AlignOffset(paras_[index]);
  const int y = ParaTop(index) + PANGO_PIXELS(strong.y);
  return UiRect(x, y, x + 1, y + std::max(Pixels(strong.height), 1));
}

int TextServices::OffsetAtContent(int x, int y) {
  if (y < 0) return 0;
  if (y >= ContentHeight()) {
    if (paras_.size() == 1 && !model_.IsMultiLine())
      y = 0;
    else
      return model_.GetLength();
  }
  const size_t index = ParagraphAtY(y);
  PangoLayout* layout = GetLayout(index);
  int byte = 0, trailing = 0;
  pango_layout_xy_to_index(layout, (x - AlignOffset(paras_[index])) * PANGO_SCALE,
                           (y - ParaTop(index)) * PANGO_SCALE, &byte, &trailing);
  return OffsetFromLayoutIndex(index, byte, trailing);
}

int TextServices::LineStart(int pos) {
  const size_t index = ParagraphAt(pos);
  PangoLayout* layout = GetLayout(index);
  int line = 0, x = 0;
  pango_layout_index_to_line_x(layout, LayoutIndex(index, pos - paras_[index].start), FALSE, &line,
                               &x);
  PangoLayoutLine* l = pango_layout_get_line_readonly(layout, line);
  return l ? OffsetFromLayoutIndex(index, l->start_index, 0) : paras_[index].start;
}

int TextServices::LineEnd(int pos) {
  const size_t index = ParagraphAt(pos);
  PangoLayout* layout = GetLayout(index);
  int line = 0, x = 0;
  pango_layout_index_to_line_x(layout, LayoutIndex(index, pos - paras_[index].start), FALSE, &line,
                               &x);
  if (line + 1 >= pango_layout_get_line_count(layout)) {
    return paras_[index].start + paras_[index].length;
  }
  PangoLayoutLine* next = pango_layout_get_line_readonly(layout, line + 1);
  // The end of a wrapped line is just before the next line's first character.
  return std::max(OffsetFromLayoutIndex(index, next->start_index, 0) - 1, LineStart(pos));
}

int TextServices::MoveVertically(int pos, int dy) {
  const UiRect rect = CharRect(pos);
  if (goal_x_ < 0) goal_x_ = rect.left;
  const int y = dy < 0 ? rect.top + dy : rect.bottom - 1 + dy;
  if (y < 0) return 0;
  if (y >= ContentHeight()) return model_.GetLength();
  return OffsetAtContent(goal_x_, y);
}

// ---- Caret, scrolling, invalidation -----------------------------------------

void TextServices::ScrollToCaret() {
  const UiRect caret = CharRect(model_.GetSelection().caret);
  const int width = client_.GetWidth();
  const int height = client_.GetHeight();
  if (caret.top < scroll_y_) scroll_y_ = caret.top;
  if (caret.bottom > scroll_y_ + height) scroll_y_ = caret.bottom - height;
  if (caret.left < scroll_x_) scroll_x_ = std::max(0, caret.left - width / 4);
  if (caret.right > scroll_x_ + width) scroll_x_ = caret.right - width + width / 4;
  ClampScroll();
}

void TextServices::ClampScroll() {
  const CSize content = GetContentSize();
  scroll_y_ = std::clamp(scroll_y_, 0, std::max(0, content.cy - client_.GetHeight()));
  const int max_x = word_wrap_ ? 0 : std::max(0, content.cx + 1 - client_.GetWidth());
  scroll_x_ = std::clamp(scroll_x_, 0, max_x);
}

void TextServices::UpdateScrollBars() {
  const CSize content = GetContentSize();
  const uint32_t bars = host_->TxGetScrollBars();
  if (bars & (kScrollVertical | kScrollAutoVertical)) {
    host_->TxSetScrollRange(true, 0, content.cy);
    host_->TxSetScrollPos(true, scroll_y_);
  }
  if (bars & (kScrollHorizontal | kScrollAutoHorizontal)) {
    host_->TxSetScrollRange(false, 0, word_wrap_ ? 0 : content.cx + 1);
    host_->TxSetScrollPos(false, scroll_x_);
  }
}

UiRect TextServices::GetCaretRect() {
  UiRect rect = CharRect(model_.GetSelection().caret);
  rect.Offset(client_.left - scroll_x_, client_.top - scroll_y_);
  return rect;
}

void TextServices::UpdateCaret() {
  const UiRect rect = GetCaretRect();
  const CSize size(1, rect.GetHeight());
  if (!(size == caret_size_)) {
    caret_size_ = size;
    host_->TxCreateCaret(size.cx, size.cy);
  }
  host_->TxSetCaretPos(rect.left, rect.top);
}

void TextServices::Invalidate(const UiRect& rect) {
  UiRect clipped = rect;
  if (!clipped.Intersect(client_)) return;
  last_invalid_ = clipped;
  host_->TxInvalidateRect(&clipped);
}

void TextServices::InvalidateAll() {
  last_invalid_ = client_;
  host_->TxInvalidateRect(nullptr);
}

void TextServices::InvalidateParagraphs(size_t first, size_t last) {
  const int top = client_.top - scroll_y_ + ParaTop(first);
  const int bottom = client_.top - scroll_y_ + ParaTop(last + 1);
  Invalidate(UiRect(client_.left, top, client_.right, bottom));
}

CPoint TextServices::ToContent(CPoint p) {
  return CPoint(p.x - client_.left + scroll_x_, p.y - client_.top + scroll_y_);
}

void TextServices::OnScroll(bool vertical, int code, int pos) {
  const int line = std::max(caret_size_.cy, 1);
  int& value = vertical ? scroll_y_ : scroll_x_;
  const int page = vertical ? client_.GetHeight() : client_.GetWidth();
  switch (code) {
    case kScrollLineUp:
      value -= line;
      break;
    case kScrollLineDown:
      value += line;
      break;
    case kScrollPageUp:
      value -= page;
      break;
    case kScrollPageDown:
      value += page;
      break;
    case kScrollThumbPosition:
      value = pos;
      break;
    case kScrollTop:
      value = 0;
      break;
    case kScrollBottom:
      value = INT_MAX / 2;
      break;
    default:
      return;
  }
  ClampScroll();
  UpdateScrollBars();
  UpdateCaret();
  InvalidateAll();
}

// ---- Input -------------------------------------------------------------------

void TextServices::SetCaret(int pos, bool extend) {
  const TextRange sel = model_.GetSelection();
  model_.SetSelection(TextRange(extend ? sel.anchor : pos, pos));
}

int TextServices::WordStartBefore(int pos) const {
  return model_.IsPassword() ? 0 : PrevWordStart(model_.GetText(), pos);
}

int TextServices::WordEndAfter(int pos) const {
  return model_.IsPassword() ? model_.GetLength() : NextWordEnd(model_.GetText(), pos);
}

bool TextServices::OnKeyDown(int key, uint32_t mods) {
  const bool shift = mods & kModShift;
  const bool ctrl = mods & kModControl;
  const TextRange sel = model_.GetSelection();
  const int caret = sel.caret;
  bool keep_goal = false;
  switch (key) {
    case kVkLeft:
      if (!sel.IsEmpty() && !shift) {
        SetCaret(sel.Min(), false);
      } else {
        SetCaret(ctrl ? WordStartBefore(caret) : std::max(caret - 1, 0), shift);
      }
      break;
    case kVkRight:
      if (!sel.IsEmpty() && !shift) {
        SetCaret(sel.Max(), false);
      } else {
        SetCaret(ctrl ? WordEndAfter(caret) : std::min(caret + 1, model_.GetLength()), shift);
      }
      break;
    case kVkUp:
    case kVkDown:
    case kVkPrior:
    case kVkNext: {
      if (!model_.IsMultiLine()) {
        if (key == kVkUp || key == kVkPrior)
          SetCaret(0, shift);
        else
          SetCaret(model_.GetLength(), shift);
        break;
      }
      const int line = std::max(caret_size_.cy, 1);
      const bool page = key == kVkPrior || key == kVkNext;
      const int step = page ? std::max(client_.GetHeight() - line, line) : 1;
      const int dy = (key == kVkUp || key == kVkPrior) ? -step : step;
      SetCaret(MoveVertically(caret, dy), shift);
      if (page) {
        scroll_y_ += dy < 0 ? -client_.GetHeight() : client_.GetHeight();
        ClampScroll();
        InvalidateAll();
      }
      keep_goal = true;
      break;
    }
    case kVkHome:
      SetCaret(ctrl ? 0 : LineStart(caret), shift);
      break;
    case kVkEnd:
      SetCaret(ctrl ? model_.GetLength() : LineEnd(caret), shift);
      break;
    case kVkBack:
      if (ctrl && sel.IsEmpty()) {
        model_.DeleteBackward(WordStartBefore(caret));
      } else {
        model_.DeleteBackward();
      }
      break;
    case kVkDelete:
      if (shift) return Cut();
      if (ctrl && sel.IsEmpty()) {
        model_.DeleteForward(WordEndAfter(caret));
      } else {
        model_.DeleteForward();
      }
      break;
    case kVkInsert:
      if (ctrl) return Copy();
      if (shift) return Paste();
      return false;
    default:
      if (!ctrl) return false;
      switch (key) {
        case 'A':
          model_.SelectAll();
          break;
        case 'C':
          return Copy();
        case 'X':
          return Cut();
        case 'V':
          return Paste();
        case 'Z':
          return shift ? Redo() : Undo();
        case 'Y':
          return Redo();
        default:
          return false;
      }
  }
  if (!keep_goal) goal_x_ = -1;
  Finish();
  return true;
}

bool TextServices::OnChar(wchar_t c) {
  if (c == L'\r') c = L'\n';
  if (c < 0x20 && c != L'\t' && c != L'\n') return false;
  if (c == 0x7F) return false;
  if (c == L'\n' && !model_.IsMultiLine()) return false;
  const wchar_t typed[1] = {c};
  model_.Edit(std::wstring_view(typed, 1), EditKind::kTyping);
  goal_x_ = -1;
  Finish();
  return true;
}

void TextServices::OnButtonDown(CPoint point, uint32_t mods, int clicks) {
  const CPoint p = ToContent(point);
  const int pos = OffsetAtContent(p.x, p.y);
  const std::wstring& text = model_.GetText();
  drag_clicks_ = clicks;
  host_->TxSetFocus();
  if (clicks >= 3) {
    const size_t index = ParagraphAt(pos);
    drag_origin_ = TextRange(paras_[index].start, paras_[index].start + paras_[index].length);
  } else if (clicks == 2) {
    int start = 0, end = model_.GetLength();
    // A password's words would tell its shape: the whole field is one word.
    if (!model_.IsPassword()) WordAt(text, pos, &start, &end);
    drag_origin_ = TextRange(start, end);
  } else {
    drag_origin_ = TextRange(pos, pos);
  }
  if (clicks == 1 && (mods & kModShift)) {
    SetCaret(pos, true);
    drag_origin_ = TextRange(model_.GetSelection().anchor, model_.GetSelection().anchor);
  } else {
    model_.SetSelection(drag_origin_);
  }
  dragging_ = true;
  drag_point_ = point;
  host_->TxSetCapture(true);
  goal_x_ = -1;
  Finish();
}

void TextServices::OnMouseMove(CPoint point) {
  if (!dragging_) return;
  drag_point_ = point;
  const CPoint p = ToContent(point);
  const int pos = OffsetAtContent(p.x, p.y);
  if (drag_clicks_ == 1) {
    model_.SetSelection(TextRange(drag_origin_.anchor, pos));
  } else {
    // Word and line drags grow by whole units from the first one.
    int start = pos, end = pos;
    if (drag_clicks_ == 2) {
      WordAt(model_.GetText(), pos, &start, &end);
    } else {
      const size_t index = ParagraphAt(pos);
      start = paras_[index].start;
      end = start + paras_[index].length;
    }
    if (start < drag_origin_.Min()) {
      model_.SetSelection(TextRange(drag_origin_.Max(), start));
    } else if (end > drag_origin_.Max()) {
      model_.SetSelection(TextRange(drag_origin_.Min(), end));
    } else {
      model_.SetSelection(drag_origin_);
    }
  }
  const bool outside = !client_.IsPointIn(point);
  if (outside && !auto_scroll_timer_) {
    auto_scroll_timer_ = true;
    host_->TxSetTimer(kAutoScrollTimerId, kAutoScrollIntervalMs);
  } else if (!outside && auto_scroll_timer_) {
    auto_scroll_timer_ = false;
    host_->TxKillTimer(kAutoScrollTimerId);
  }
  Finish();
}

void TextServices::OnButtonUp(CPoint point) {
  (void)point;
  if (!dragging_) return;
  dragging_ = false;
  host_->TxSetCapture(false);
  if (auto_scroll_timer_) {
    auto_scroll_timer_ = false;
    host_->TxKillTimer(kAutoScrollTimerId);
  }
  Clipboard* clipboard = host_->TxGetClipboard();
  const auto text = model_.GetCopyableText();
  if (clipboard && text && !text->empty()) clipboard->SetText(ClipboardKind::kPrimary, *text);
}

void TextServices::OnMiddleClick(CPoint point) {
  const CPoint p = ToContent(point);
  const int pos = OffsetAtContent(p.x, p.y);
  model_.SetSelection(TextRange(pos, pos));
  if (!Paste(ClipboardKind::kPrimary)) Finish();
}

void TextServices::OnTimer(int id) {
  if (id != kAutoScrollTimerId || !dragging_) return;
  const int line = std::max(caret_size_.cy, 1);
  if (drag_point_.y < client_.top) scroll_y_ -= line;
  if (drag_point_.y >= client_.bottom) scroll_y_ += line;
  if (drag_point_.x < client_.left) scroll_x_ -= line;
  if (drag_point_.x >= client_.right) scroll_x_ += line;
  ClampScroll();
  InvalidateAll();
  OnMouseMove(drag_point_);
  // Keep the scroll the drag produced; the caret follows the pointer.
  UpdateScrollBars();
}

void TextServices::OnSetFocus() {
  focused_ = true;
  UpdateCaret();
  InvalidateAll();
}

void TextServices::OnKillFocus() {
  focused_ = false;
  if (dragging_) OnButtonUp(drag_point_);
  InvalidateAll();
}

void TextServices::OnSetCursor(CPoint point) {
  (void)point;
  host_->TxSetCursor(TextCursor::kIBeam);
}

int TextServices::HitTest(CPoint point) {
  const CPoint p = ToContent(point);
  return OffsetAtContent(p.x, p.y);
}

bool TextServices::IsOnText(CPoint point, int* offset) {
  const CPoint p = ToContent(point);
  if (p.y < 0 || p.y >= ContentHeight()) return false;
  const size_t index = ParagraphAtY(p.y);
  PangoLayout* layout = GetLayout(index);
  int byte = 0, trailing = 0;
  const bool inside =
      pango_layout_xy_to_index(layout, (p.x - AlignOffset(paras_[index])) * PANGO_SCALE,
                               (p.y - ParaTop(index)) * PANGO_SCALE, &byte, &trailing);
  if (!inside) return false;
  if (offset) *offset = OffsetFromLayoutIndex(index, byte, 0);
  return true;
}

// ---- Rich text and composition ----------------------------------------------

void TextServices::SetCharFormat(int first, int last, const CharFormat& format) {
  const int length = model_.GetLength();
  first = std::clamp(first, 0, length);
  last = std::clamp(last < 0 ? length : last, first, length);
  if (first == last || format.mask == 0) return;
  runs_.push_back(FormatRun{first, last, format});
  const size_t a = ParagraphAt(first);
  const size_t b = ParagraphAt(last);
  for (size_t i = a; i <= b; ++i) {
    DropLayout(paras_[i]);
    paras_[i].height = -1;
  }
  tops_valid_ = std::min(tops_valid_, a);
  max_width_dirty_ = true;
  InvalidateAll();
  UpdateScrollBars();
  UpdateCaret();
}

CharFormat TextServices::GetCharFormatAt(int pos) {
  CharFormat out = default_format_;
  for (const FormatRun& run : runs_) {
    if (pos < run.start || pos >= run.end) continue;
    const CharFormat& f = run.format;
    if (f.mask & CharFormat::kColor) out.color = f.color;
    if (f.mask & CharFormat::kFace) out.face = f.face;
    if (f.mask & CharFormat::kSize) out.size = f.size;
    if (f.mask & CharFormat::kBold) out.bold = f.bold;
    if (f.mask & CharFormat::kItalic) out.italic = f.italic;
    if (f.mask & CharFormat::kUnderline) out.underline = f.underline;
    out.mask |= f.mask;
  }
  return out;
}

void TextServices::SetPreedit(const std::wstring& text, int cursor) {
  if (model_.IsReadOnly()) return;
  // Any selection is replaced by what the composition will commit.
  if (!model_.GetSelection().IsEmpty() && !text.empty()) model_.Edit(L"");
  std::wstring clean = model_.Sanitize(text);
  preedit_ = clean;
  preedit_cursor_ = std::clamp(cursor, 0, static_cast<int>(preedit_.size()));
  const size_t index = ParagraphAt(model_.GetSelection().caret);
  DropLayout(paras_[index]);
  paras_[index].height = -1;
  tops_valid_ = std::min(tops_valid_, index);
  max_width_dirty_ = true;
  Finish();
  InvalidateAll();
}

void TextServices::CommitComposition(const std::wstring& text) {
  SetPreedit(L"", 0);
  if (model_.IsReadOnly()) return;
  model_.Edit(text, EditKind::kOther);
  Finish();
}

// ---- Drawing and measuring ----------------------------------------------------

void TextServices::Draw(cairo_t* cr, const UiRect& update) {
  UiRect area = client_;
  if (!area.Intersect(update)) return;
  cairo_save(cr);
  cairo_rectangle(cr, area.left, area.top, area.GetWidth(), area.GetHeight());
  cairo_clip(cr);
  const size_t first = ParagraphAtY(area.top - client_.top + scroll_y_);
  const size_t last = ParagraphAtY(area.bottom - client_.top + scroll_y_);
  const TextRange sel = model_.GetSelection();
  const bool show_sel = !sel.IsEmpty() && (focused_ || !hide_selection_);
  for (size_t i = first; i <= last && i < paras_.size(); ++i) {
    PangoLayout* layout = GetLayout(i);
    const Paragraph& para = paras_[i];
    const double x = client_.left - scroll_x_ + AlignOffset(para);
    const double y = client_.top - scroll_y_ + ParaTop(i);
    SetSource(cr, default_format_.color);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    const int s = std::max(sel.Min(), para.start);
    const int e = std::min(sel.Max(), para.start + para.length);
    if (!show_sel || s > e || (s == e && sel.Max() <= para.start + para.length)) continue;
    // Selected lines: the highlight, then the text again in the selected colour.
    const int sb = LayoutIndex(i, s - para.start);
    const int eb = LayoutIndex(i, e - para.start);
    cairo_save(cr);
    cairo_new_path(cr);
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
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
      // A selected line break shows as a small block after the line.
      if (sel.Max() > para.start + para.length && pango_layout_iter_at_last_line(iter)) {
        PangoRectangle logical;
        pango_layout_line_get_pixel_extents(line, nullptr, &logical);
        cairo_rectangle(cr, x + logical.x + logical.width, y + PANGO_PIXELS(extents.y), 4,
                        PANGO_PIXELS(extents.height));
      }
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    cairo_clip_preserve(cr);
    SetSource(cr, kSelectionColor);
    cairo_fill(cr);
    SetSource(cr, kSelectedTextColor);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
  }
  cairo_restore(cr);
  TrimLayoutCache();
}

CSize TextServices::GetNaturalSize(int width) {
  if (!word_wrap_ || width <= 0 || width == client_.GetWidth()) {
    const CSize content = GetContentSize();
    return CSize(content.cx, std::max(content.cy, 1));
  }
  // Another width: measure with throw-away layouts.
  const UiRect saved = client_;
  const int saved_max_width = max_width_;
  const bool saved_max_dirty = max_width_dirty_;
  client_.right = client_.left + width;
  std::vector<Paragraph> saved_paras = paras_;
  for (Paragraph& p : paras_) {
    p.layout = nullptr;
    p.height = -1;
  }
  const size_t saved_count = layout_count_;
  const std::vector<size_t> saved_order = layout_order_;
  layout_count_ = 0;
  layout_order_.clear();
  int height = 0, wide = 0;
  for (size_t i = 0; i < paras_.size(); ++i) {
    Measure(i);
    height += paras_[i].height;
    wide = std::max(wide, paras_[i].width);
    DropLayout(paras_[i]);
  }
  paras_ = std::move(saved_paras);
  layout_count_ = saved_count;
  layout_order_ = saved_order;
  client_ = saved;
  max_width_ = saved_max_width;
  max_width_dirty_ = saved_max_dirty;
  return CSize(wide, std::max(height, 1));
}

}  // namespace ui
