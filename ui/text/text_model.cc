#include "ui/text/text_model.h"

#include <algorithm>

#include "base/build_config.h"
#include "base/string_util.h"

namespace ui {

namespace {

// The index itself when it lies on a character boundary, else the start of
// the character it splits.
int Align(const std::wstring& text, int index) {
  return static_cast<int>(nbase::AlignToCharBoundary(text, static_cast<size_t>(index)));
}

// At most `room` units of `text`, never half a character.
void CutToRoom(std::wstring* text, int room) {
  if (static_cast<int>(text->size()) > room) {
    text->resize(nbase::TruncateAtCharBoundary(*text, static_cast<size_t>(room)));
  }
}

}  // namespace

void TextModel::SetSelection(TextRange range) {
  const int length = GetLength();
  range.anchor = Align(text_, std::clamp(range.anchor, 0, length));
  range.caret = Align(text_, std::clamp(range.caret, 0, length));
  selection_ = range;
  step_open_ = false;
}

std::wstring TextModel::Sanitize(std::wstring_view input) const {
  // A copied line usually ends in a line break; it must not leave a blank.
  while (!multi_line_ && !input.empty() && (input.back() == L'\n' || input.back() == L'\r')) {
    input.remove_suffix(1);
  }
  std::wstring out;
  out.reserve(input.size());
  for (size_t i = 0; i < input.size(); ++i) {
    wchar_t c = input[i];
    if (c == L'\r' || c == L'\n') {
      if (c == L'\r' && i + 1 < input.size() && input[i + 1] == L'\n') ++i;
      c = L'\n';
    }
    if (c == 0) continue;
    // Where wide strings are UTF-16 a surrogate pair is one character: both
    // units stay (no digit is one).
    if (nbase::kWideIsUtf16 && nbase::IsHighSurrogate(c) && i + 1 < input.size() &&
        nbase::IsLowSurrogate(input[i + 1])) {
      if (!number_) out.append(input.substr(i, 2));
      ++i;
      continue;
    }
    if (!IsValidCodePoint(c)) c = 0xFFFD;
    if (number_ && (c < L'0' || c > L'9')) continue;
    if (c == L'\n' && !multi_line_) c = L' ';
    out.push_back(c);
  }
  return out;
}

bool TextModel::Edit(std::wstring_view input, EditKind kind) {
  if (read_only_) return false;
  std::wstring text = Sanitize(input);
  const int start = selection_.Min();
  const int count = selection_.Max() - start;
  CutToRoom(&text, std::max(0, max_length_ - (GetLength() - count)));
  if (text.empty() && count == 0) return false;
  const int end = start + static_cast<int>(text.size());
  return Replace(start, count, text, TextRange(end, end), kind, true);
}

bool TextModel::DeleteBackward(std::optional<int> boundary) {
  if (read_only_) return false;
  if (!selection_.IsEmpty()) return Edit(L"", EditKind::kOther);
  const int caret = selection_.caret;
  const int previous = static_cast<int>(nbase::PrevCharBoundary(text_, static_cast<size_t>(caret)));
  const int from = Align(text_, std::clamp(boundary.value_or(previous), 0, caret));
  if (from == caret) return false;
  return Replace(from, caret - from, L"", TextRange(from, from), EditKind::kBackspace, true);
}

bool TextModel::DeleteForward(std::optional<int> boundary) {
  if (read_only_) return false;
  if (!selection_.IsEmpty()) return Edit(L"", EditKind::kOther);
  const int caret = selection_.caret;
  const int next = static_cast<int>(nbase::NextCharBoundary(text_, static_cast<size_t>(caret)));
  int to = std::clamp(boundary.value_or(next), caret, GetLength());
  // A boundary inside a character takes all of it.
  if (Align(text_, to) != to) to = static_cast<int>(nbase::NextCharBoundary(text_, to));
  if (to == caret) return false;
  return Replace(caret, to - caret, L"", TextRange(caret, caret), EditKind::kDelete, true);
}

bool TextModel::ReplaceSelectionNoUndo(std::wstring_view input) {
  std::wstring text = Sanitize(input);
  const int start = selection_.Min();
  const int count = selection_.Max() - start;
  CutToRoom(&text, std::max(0, max_length_ - (GetLength() - count)));
  const int end = start + static_cast<int>(text.size());
  return Replace(start, count, text, TextRange(end, end), EditKind::kOther, false);
}

bool TextModel::SetText(std::wstring_view input) {
  SelectAll();
  return ReplaceSelectionNoUndo(input);
}

bool TextModel::Replace(int pos, int count, std::wstring_view text, const TextRange& after,
                        EditKind kind, bool undoable) {
  const TextRange before = selection_;
  std::wstring removed = text_.substr(static_cast<size_t>(pos), static_cast<size_t>(count));
  if (removed == text) {
    selection_ = after;
    step_open_ = false;
    return false;
  }
  Apply(pos, count, text);
  selection_ = after;
  if (!undoable) {
    ClearHistory();
    return true;
  }
  redo_.clear();
  UndoRecord* top = undo_.empty() ? nullptr : &undo_.back();
  bool joined = false;
  if (step_open_ && top && top->kind == kind) {
    if (kind == EditKind::kTyping && count == 0 &&
        pos == top->pos + static_cast<int>(top->inserted.size())) {
      top->inserted.append(text);
      joined = true;
    } else if (kind == EditKind::kBackspace && text.empty() && pos + count == top->pos &&
               top->inserted.empty()) {
      top->removed.insert(0, removed);
      top->pos = pos;
      joined = true;
    } else if (kind == EditKind::kDelete && text.empty() && pos == top->pos &&
               top->inserted.empty()) {
      top->removed.append(removed);
      joined = true;
    }
    if (joined) top->after = after;
  }
  if (!joined) {
    undo_.push_back(UndoRecord{pos, std::move(removed), std::wstring(text), before, after, kind});
    if (undo_.size() > kUndoLimit) undo_.pop_front();
  }
  step_open_ = kind != EditKind::kOther;
  return true;
}

void TextModel::Apply(int pos, int count, std::wstring_view text) {
  text_.replace(static_cast<size_t>(pos), static_cast<size_t>(count), text);
  if (listener_) listener_(pos, count, static_cast<int>(text.size()));
}

bool TextModel::Undo() {
  if (!CanUndo()) return false;
  UndoRecord record = std::move(undo_.back());
  undo_.pop_back();
  Apply(record.pos, static_cast<int>(record.inserted.size()), record.removed);
  selection_ = record.before;
  step_open_ = false;
  redo_.push_back(std::move(record));
  return true;
}

bool TextModel::Redo() {
  if (!CanRedo()) return false;
  UndoRecord record = std::move(redo_.back());
  redo_.pop_back();
  Apply(record.pos, static_cast<int>(record.removed.size()), record.inserted);
  selection_ = record.after;
  step_open_ = false;
  undo_.push_back(std::move(record));
  return true;
}

void TextModel::ClearHistory() {
  undo_.clear();
  redo_.clear();
  step_open_ = false;
}

std::wstring TextModel::GetDisplayText() const {
  if (password_) return std::wstring(nbase::CharCount(text_), kPasswordMask);
  return text_;
}

std::wstring TextModel::GetSelectedText() const {
  return text_.substr(static_cast<size_t>(selection_.Min()),
                      static_cast<size_t>(selection_.Max() - selection_.Min()));
}

std::optional<std::wstring> TextModel::GetCopyableText() const {
  if (password_) return std::nullopt;
  return GetSelectedText();
}

}  // namespace ui
