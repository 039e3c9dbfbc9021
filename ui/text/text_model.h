#pragma once

// The editing model of the text services: the text, the selection and the
// undo history. No layout and no toolkit: what the user may put into the
// field and how edits are undone is decided here alone.
//
// Offsets and lengths count wchar_t units (UTF-16 code units on Windows,
// code points on Linux), as the maximum length does; no offset, cut or
// delete ever falls inside a surrogate pair.

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ui {

// A selection: the anchor stays where it started, the caret moves. Both are
// offsets in [0, length].
struct TextRange {
  int anchor = 0;
  int caret = 0;
  constexpr TextRange() = default;
  constexpr TextRange(int a, int c) : anchor(a), caret(c) {}
  constexpr int Min() const { return anchor < caret ? anchor : caret; }
  constexpr int Max() const { return anchor < caret ? caret : anchor; }
  constexpr bool IsEmpty() const { return anchor == caret; }
  friend constexpr bool operator==(const TextRange&, const TextRange&) = default;
};

// What produced an edit; only runs of the same kind join one undo step.
enum class EditKind { kOther, kTyping, kBackspace, kDelete };

struct UndoRecord {
  int pos = 0;
  std::wstring removed;
  std::wstring inserted;
  TextRange before;
  TextRange after;
  EditKind kind = EditKind::kOther;
  friend bool operator==(const UndoRecord&, const UndoRecord&) = default;
};

class TextModel {
 public:
  // One mask character per character (code point) in password mode.
  static constexpr wchar_t kPasswordMask = 0x25CF;
  static constexpr size_t kUndoLimit = 100;
  static constexpr int kDefaultMaxLength = 32767;

  // Called after every change of the text: at `pos`, `removed` units were
  // replaced by `inserted` ones.
  using ChangeListener = std::function<void(int pos, int removed, int inserted)>;

  const std::wstring& GetText() const { return text_; }
  int GetLength() const { return static_cast<int>(text_.size()); }
  TextRange GetSelection() const { return selection_; }
  // Clamps both ends into the text (an end inside a character moves to its
  // start); ends any open typing step.
  void SetSelection(TextRange range);
  void SelectAll() { SetSelection(TextRange(0, GetLength())); }

  bool IsMultiLine() const { return multi_line_; }
  void SetMultiLine(bool value) { multi_line_ = value; }
  bool IsReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  bool IsPassword() const { return password_; }
  void SetPassword(bool value) { password_ = value; }
  bool IsNumber() const { return number_; }
  void SetNumber(bool value) { number_ = value; }
  int GetMaxLength() const { return max_length_; }
  // 0 or less means the default; the text already there is kept.
  void SetMaxLength(int value) { max_length_ = value > 0 ? value : kDefaultMaxLength; }
  void SetChangeListener(ChangeListener listener) { listener_ = std::move(listener); }

  // What the field accepts of `input`: NUL dropped, invalid code points
  // (lone surrogates, beyond U+10FFFF) become U+FFFD, line breaks become
  // "\n" (multi-line) or, in a single-line field, a blank (trailing ones
  // dropped); number mode keeps only the digits 0-9.
  std::wstring Sanitize(std::wstring_view input) const;

  // The user's edit: replaces the selection with the sanitised `input`, cut
  // to the room the maximum length leaves (whole characters only). Refused in read-only mode. Typed
  // characters, Backspaces and Deletes in a row join one undo step. True when
  // the text changed.
  bool Edit(std::wstring_view input, EditKind kind = EditKind::kOther);
  // Deletes one character (or the selection) before or after the caret, or
  // up to `boundary` when given (word deletes).
  bool DeleteBackward(std::optional<int> boundary = std::nullopt);
  bool DeleteForward(std::optional<int> boundary = std::nullopt);

  // The program's replacement of the selection (no undo, read-only allowed).
  // It cannot be undone, so the history is cleared. True when the text changed.
  bool ReplaceSelectionNoUndo(std::wstring_view input);
  // Replaces everything, caret at the end; history cleared.
  bool SetText(std::wstring_view input);

  bool CanUndo() const { return !undo_.empty() && !read_only_; }
  bool CanRedo() const { return !redo_.empty() && !read_only_; }
  bool Undo();
  bool Redo();
  void ClearHistory();
  const std::deque<UndoRecord>& GetUndoStack() const { return undo_; }
  const std::deque<UndoRecord>& GetRedoStack() const { return redo_; }

  // The text as shown: the mask repeated in password mode.
  std::wstring GetDisplayText() const;
  std::wstring GetSelectedText() const;
  // What copy and cut may put on the clipboard; nothing in password mode.
  std::optional<std::wstring> GetCopyableText() const;

 private:
  bool Replace(int pos, int count, std::wstring_view text, const TextRange& after, EditKind kind,
               bool undoable);
  void Apply(int pos, int count, std::wstring_view text);

  std::wstring text_;
  TextRange selection_;
  bool multi_line_ = true;
  bool read_only_ = false;
  bool password_ = false;
  bool number_ = false;
  int max_length_ = kDefaultMaxLength;
  // True while the top undo step may still grow.
  bool step_open_ = false;
  std::deque<UndoRecord> undo_;
  std::deque<UndoRecord> redo_;
  ChangeListener listener_;
};

// True for a code point a wide string may carry: not a surrogate, not
// beyond U+10FFFF.
constexpr bool IsValidCodePoint(wchar_t c) {
  const auto v = static_cast<unsigned long>(c);
  return v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF);
}

}  // namespace ui
