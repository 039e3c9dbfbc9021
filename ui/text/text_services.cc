#include "ui/text/text_services.h"

#include <algorithm>
#include <climits>

#include "base/string_util.h"
#include "ui/native/key_codes.h"
#include "ui/render/render.h"
#include "ui/text/word_breaker.h"

namespace ui {

TextServices::TextServices(TextHost* host) : host_(host), layouts_(CreateParagraphLayoutFactory()) {
  paras_.push_back(Paragraph());
  model_.SetChangeListener(
      [this](int pos, int removed, int inserted) { OnModelChange(pos, removed, inserted); });
  ReadOptions();
  client_ = host_->TxGetClientRect();
}

TextServices::~TextServices() {
  for (Paragraph& para : paras_) DropLayout(para);
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
  const NativeFont* font = host_->TxGetFont();
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
  const size_t fresh_count = fresh.size();
  if (fresh_count == old_count) {
    std::move(fresh.begin(), fresh.end(), paras_.begin() + static_cast<ptrdiff_t>(first));
  } else {
    paras_.erase(paras_.begin() + static_cast<ptrdiff_t>(first),
                 paras_.begin() + static_cast<ptrdiff_t>(last + 1));
    paras_.insert(paras_.begin() + static_cast<ptrdiff_t>(first),
                  std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    // Layout cache indexes after the span moved.
    const ptrdiff_t shift = static_cast<ptrdiff_t>(fresh_count) - static_cast<ptrdiff_t>(old_count);
    for (size_t& index : layout_order_) {
      if (index > last) index = static_cast<size_t>(static_cast<ptrdiff_t>(index) + shift);
    }
    dirty_shape_ = true;
  }
  for (size_t i = first + fresh_count; i < paras_.size(); ++i) paras_[i].start += delta;
  // Heights of the new paragraphs decide whether the lines below move.
  int new_height = 0;
  // A typed edit touches a paragraph or two, drawn next; a loaded text is
  // measured and let go, not held as thousands of layouts.
  const bool keep = fresh_count <= 4;
  for (size_t i = first; i < first + fresh_count; ++i) {
    Measure(i, keep);
    new_height += paras_[i].height;
  }
  if (!heights_known || new_height != old_height) dirty_shape_ = true;
  tops_valid_ = std::min(tops_valid_, first);
  dirty_first_ = std::min(dirty_first_, first);
  dirty_last_ = std::max(dirty_last_, first + fresh_count - 1);

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

ParagraphLayout* TextServices::GetLayout(size_t index) {
  Paragraph& para = paras_[index];
  if (para.layout) return para.layout.get();
  const std::wstring& text = model_.GetText();
  const std::wstring_view own = std::wstring_view(text).substr(static_cast<size_t>(para.start),
                                                               static_cast<size_t>(para.length));
  std::wstring shown = model_.IsPassword()
                           ? std::wstring(nbase::CharCount(own), TextModel::kPasswordMask)
                           : std::wstring(own);
  // The composition sits at the caret inside its paragraph.
  const int caret = model_.GetSelection().caret;
  int preedit_at = -1;
  if (!preedit_.empty() && caret >= para.start && caret <= para.start + para.length) {
    preedit_at = ShownFromModel(para, caret - para.start);
    shown.insert(static_cast<size_t>(preedit_at), preedit_);
  }
  ParagraphStyle style;
  style.font = font_;
  style.wrap_width = WrapWidth();
  style.align = para_format_.align;
  const bool has_runs = !runs_.empty() && !model_.IsPassword();
  if (has_runs || preedit_at >= 0 || default_format_.underline || default_format_.bold ||
      default_format_.italic) {
    style.base = default_format_;
    style.base.mask &= CharFormat::kBold | CharFormat::kItalic | CharFormat::kUnderline;
    const int plen = static_cast<int>(preedit_.size());
    auto shifted = [&](int offset) {
      return preedit_at >= 0 && offset >= preedit_at ? offset + plen : offset;
    };
    if (has_runs) {
      for (const FormatRun& run : runs_) {
        const int s = std::max(run.start, para.start) - para.start;
        const int e = std::min(run.end, para.start + para.length) - para.start;
        if (e <= s) continue;
        style.runs.push_back(ParagraphStyle::Run{shifted(s), shifted(e), run.format});
      }
    }
    if (preedit_at >= 0) {
      style.composition_start = preedit_at;
      style.composition_end = preedit_at + plen;
    }
  }
  para.layout = layouts_->Create(shown, style);
  ++layout_count_;
  peak_layout_count_ = std::max(peak_layout_count_, layout_count_);
  layout_order_.push_back(index);
  return para.layout.get();
}

void TextServices::DropLayout(Paragraph& para) {
  if (!para.layout) return;
  para.layout.reset();
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
  const CSize size = GetLayout(index)->GetSize();
  para.height = size.cy;
  para.width = size.cx;
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

int TextServices::ShownFromModel(const Paragraph& para, int offset) const {
  if (!model_.IsPassword()) return offset;
  return static_cast<int>(
      nbase::CharCount(std::wstring_view(model_.GetText())
                           .substr(static_cast<size_t>(para.start), static_cast<size_t>(offset))));
}

int TextServices::ModelFromShown(const Paragraph& para, int shown) const {
  if (!model_.IsPassword()) return shown;
  const std::wstring_view own =
      std::wstring_view(model_.GetText())
          .substr(static_cast<size_t>(para.start), static_cast<size_t>(para.length));
  return static_cast<int>(nbase::UnitsForChars(own, static_cast<size_t>(std::max(shown, 0))));
}

int TextServices::LayoutIndex(size_t index, int offset) const {
  const Paragraph& para = paras_[index];
  const int clamped = std::clamp(offset, 0, para.length);
  int shifted = ShownFromModel(para, clamped);
  if (!preedit_.empty() && model_.GetSelection().caret - para.start <= clamped &&
      model_.GetSelection().caret >= para.start) {
    shifted += static_cast<int>(preedit_.size());
  }
  return shifted;
}

int TextServices::OffsetFromLayoutIndex(size_t index, int layout_index) const {
  int offset = layout_index;
  const Paragraph& para = paras_[index];
  if (!preedit_.empty()) {
    const int at = model_.GetSelection().caret - para.start;
    const int plen = static_cast<int>(preedit_.size());
    if (at >= 0 && at <= para.length) {
      const int shown_at = ShownFromModel(para, at);
      if (offset > shown_at) offset = std::max(shown_at, offset - plen);
    }
  }
  return para.start + std::clamp(ModelFromShown(para, offset), 0, para.length);
}

int TextServices::PrevChar(int pos) const {
  return static_cast<int>(
      nbase::PrevCharBoundary(model_.GetText(), static_cast<size_t>(std::max(pos, 0))));
}

int TextServices::NextChar(int pos) const {
  return static_cast<int>(
      nbase::NextCharBoundary(model_.GetText(), static_cast<size_t>(std::max(pos, 0))));
}

UiRect TextServices::CharRect(int pos) {
  const size_t index = ParagraphAt(pos);
  ParagraphLayout* layout = GetLayout(index);
  int at = LayoutIndex(index, pos - paras_[index].start);
  if (!preedit_.empty() && pos == model_.GetSelection().caret) {
    // The caret sits at the composition's own cursor.
    at += preedit_cursor_ - static_cast<int>(preedit_.size());
  }
  const UiRect caret = layout->GetCaretRect(at);
  const int x = caret.left + AlignOffset(paras_[index]);
  const int y = ParaTop(index) + caret.top;
  return UiRect(x, y, x + 1, y + std::max(caret.GetHeight(), 1));
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
  const ParagraphHit hit =
      GetLayout(index)->HitTest(x - AlignOffset(paras_[index]), y - ParaTop(index));
  return OffsetFromLayoutIndex(index, hit.index + hit.trailing);
}

int TextServices::LineStart(int pos) {
  const size_t index = ParagraphAt(pos);
  ParagraphLayout* layout = GetLayout(index);
  const int line = layout->GetLineOfIndex(LayoutIndex(index, pos - paras_[index].start));
  return OffsetFromLayoutIndex(index, layout->GetLine(line).start);
}

int TextServices::LineEnd(int pos) {
  const size_t index = ParagraphAt(pos);
  ParagraphLayout* layout = GetLayout(index);
  const int line = layout->GetLineOfIndex(LayoutIndex(index, pos - paras_[index].start));
  if (line + 1 >= layout->GetLineCount()) return paras_[index].start + paras_[index].length;
  // The end of a wrapped line is just before the next line's first character.
  const int next = OffsetFromLayoutIndex(index, layout->GetLine(line + 1).start);
  return std::max(PrevChar(next), LineStart(pos));
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
        SetCaret(ctrl ? WordStartBefore(caret) : PrevChar(caret), shift);
      }
      break;
    case kVkRight:
      if (!sel.IsEmpty() && !shift) {
        SetCaret(sel.Max(), false);
      } else {
        SetCaret(ctrl ? WordEndAfter(caret) : NextChar(caret), shift);
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
  // A character beyond the basic plane may come as its two UTF-16 units (as
  // Windows sends it): the first waits for the second.
  const wchar_t high = pending_high_surrogate_;
  pending_high_surrogate_ = 0;
  if (nbase::IsHighSurrogate(c)) {
    pending_high_surrogate_ = c;
    return true;
  }
  std::wstring typed;
  if (high != 0 && nbase::IsLowSurrogate(c)) {
    nbase::AppendCodePoint(0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) +
                               (static_cast<char32_t>(c) - 0xDC00),
                           &typed);
  } else {
    if (c == L'\r') c = L'\n';
    if (c < 0x20 && c != L'\t' && c != L'\n') return false;
    if (c == 0x7F) return false;
    if (c == L'\n' && !model_.IsMultiLine()) return false;
    typed.push_back(c);
  }
  model_.Edit(typed, EditKind::kTyping);
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
  const ParagraphHit hit =
      GetLayout(index)->HitTest(p.x - AlignOffset(paras_[index]), p.y - ParaTop(index));
  if (!hit.inside) return false;
  if (offset) *offset = OffsetFromLayoutIndex(index, hit.index);
  return true;
}

// ---- Rich text and composition ----------------------------------------------

void TextServices::SetCharFormat(int first, int last, const CharFormat& format) {
  const int length = model_.GetLength();
  // A run covers whole characters: an end inside one takes all of it.
  first = static_cast<int>(nbase::AlignToCharBoundary(
      model_.GetText(), static_cast<size_t>(std::clamp(first, 0, length))));
  last = std::clamp(last < 0 ? length : last, first, length);
  if (nbase::AlignToCharBoundary(model_.GetText(), static_cast<size_t>(last)) !=
      static_cast<size_t>(last)) {
    last = NextChar(last);
  }
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
  preedit_cursor_ = static_cast<int>(nbase::AlignToCharBoundary(
      preedit_, static_cast<size_t>(std::clamp(cursor, 0, static_cast<int>(preedit_.size())))));
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

void TextServices::Draw(IRenderContext* context, const UiRect& update) {
  UiRect area = client_;
  if (!area.Intersect(update)) return;
  AutoClip clip(context, area);
  const size_t first = ParagraphAtY(area.top - client_.top + scroll_y_);
  const size_t last = ParagraphAtY(area.bottom - client_.top + scroll_y_);
  const TextRange sel = model_.GetSelection();
  const bool show_sel = !sel.IsEmpty() && (focused_ || !hide_selection_);
  for (size_t i = first; i <= last && i < paras_.size(); ++i) {
    const ParagraphLayout* layout = GetLayout(i);
    const Paragraph& para = paras_[i];
    const int x = client_.left - scroll_x_ + AlignOffset(para);
    const int y = client_.top - scroll_y_ + ParaTop(i);
    const int s = std::max(sel.Min(), para.start);
    const int e = std::min(sel.Max(), para.start + para.length);
    ParagraphSelection selection;
    const bool selected = show_sel && s <= e && (s != e || sel.Max() > para.start + para.length);
    if (selected) {
      selection.start = LayoutIndex(i, s - para.start);
      selection.end = LayoutIndex(i, e - para.start);
      selection.line_break = sel.Max() > para.start + para.length;
      selection.background = kSelectionColor;
      selection.text_color = kSelectedTextColor;
    }
    layout->Draw(context, x, y, default_format_.color, selected ? &selection : nullptr);
  }
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
  std::vector<Paragraph> saved_paras = std::move(paras_);
  paras_.clear();
  paras_.reserve(saved_paras.size());
  for (const Paragraph& p : saved_paras)
    paras_.push_back(Paragraph{p.start, p.length, -1, 0, nullptr});
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
