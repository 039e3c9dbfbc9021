// Random edit sequences on the text model against a plain reference that
// keeps whole-text snapshots for its undo history; text, selection and the
// history must agree after every step.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>

#include "ui/text/text_model.h"
#include "ui/text/word_breaker.h"

namespace ui {
namespace {

// Where wchar_t is UTF-16 a character beyond the basic plane is two units
// that nothing may split; where it holds code points there are no pairs.
constexpr bool kUtf16 = sizeof(wchar_t) == 2;

bool IsHighUnit(wchar_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowUnit(wchar_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}
// Whether `i` falls between the two units of one character.
bool SplitsPair(const std::wstring& t, size_t i) {
  return i > 0 && i < t.size() && IsHighUnit(t[i - 1]) && IsLowUnit(t[i]);
}
int PrevCharStart(const std::wstring& t, int i) {
  if (i <= 0) return 0;
  return SplitsPair(t, static_cast<size_t>(i - 1)) ? i - 2 : i - 1;
}
int NextCharEnd(const std::wstring& t, int i) {
  const int n = static_cast<int>(t.size());
  if (i >= n) return n;
  return SplitsPair(t, static_cast<size_t>(i + 1)) ? i + 2 : i + 1;
}
size_t Characters(const std::wstring& t) {
  size_t count = 0;
  for (size_t i = 0; i < t.size(); ++i) count += !SplitsPair(t, i);
  return count;
}

// The reference: the same rules, written the obvious way.
class ReferenceModel {
 public:
  struct Step {
    std::wstring text_before, text_after;
    TextRange sel_before, sel_after;
    EditKind kind;
  };

  std::wstring text;
  TextRange sel;
  bool multi_line = true, read_only = false, password = false, number = false;
  int max_length = TextModel::kDefaultMaxLength;
  bool open = false;
  std::deque<Step> undo, redo;

  std::wstring Clean(std::wstring in) const {
    // Line breaks first: CR LF, CR and LF are one break each.
    std::wstring unified;
    for (size_t i = 0; i < in.size(); ++i) {
      if (in[i] == L'\r') {
        unified += L'\n';
        if (i + 1 < in.size() && in[i + 1] == L'\n') ++i;
      } else {
        unified += in[i];
      }
    }
    if (!multi_line) {
      while (!unified.empty() && unified.back() == L'\n') unified.pop_back();
    }
    std::wstring out;
    for (size_t i = 0; i < unified.size(); ++i) {
      wchar_t c = unified[i];
      if (c == 0) continue;
      if (kUtf16 && IsHighUnit(c) && i + 1 < unified.size() && IsLowUnit(unified[i + 1])) {
        if (!number) out += unified.substr(i, 2);
        ++i;
        continue;
      }
      const long v = static_cast<long>(c);
      if (v < 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) c = 0xFFFD;
      if (number && !(c >= L'0' && c <= L'9')) continue;
      if (!multi_line && c == L'\n') c = L' ';
      out += c;
    }
    return out;
  }

  void Select(int a, int c) {
    const int n = static_cast<int>(text.size());
    auto place = [&](int x) {
      x = std::clamp(x, 0, n);
      return SplitsPair(text, static_cast<size_t>(x)) ? x - 1 : x;
    };
    sel = TextRange(place(a), place(c));
    open = false;
  }

  bool Change(const std::wstring& next, TextRange after, EditKind kind, bool undoable) {
    if (next == text) {
      sel = after;
      open = false;
      return false;
    }
    Step step{text, next, sel, after, kind};
    text = next;
    sel = after;
    if (!undoable) {
      undo.clear();
      redo.clear();
      open = false;
      return true;
    }
    redo.clear();
    if (open && !undo.empty() && undo.back().kind == kind) {
      undo.back().text_after = next;
      undo.back().sel_after = after;
    } else {
      undo.push_back(step);
      if (undo.size() > TextModel::kUndoLimit) undo.pop_front();
    }
    open = kind != EditKind::kOther;
    return true;
  }

  bool Edit(const std::wstring& input, EditKind kind, bool undoable = true) {
    if (read_only && undoable) return false;
    std::wstring ins = Clean(input);
    const int lo = sel.Min(), hi = sel.Max();
    const int room = max_length - (static_cast<int>(text.size()) - (hi - lo));
    if (static_cast<int>(ins.size()) > std::max(room, 0)) {
      const size_t keep = static_cast<size_t>(std::max(room, 0));
      ins.resize(SplitsPair(ins, keep) ? keep - 1 : keep);
    }
    if (ins.empty() && lo == hi && undoable) return false;
    const std::wstring next = text.substr(0, lo) + ins + text.substr(hi);
    const int end = lo + static_cast<int>(ins.size());
    return Change(next, TextRange(end, end), kind, undoable);
  }

  bool Erase(int from, int to, EditKind kind) {
    if (read_only) return false;
    if (!sel.IsEmpty()) return Edit(L"", EditKind::kOther);
    if (from == to) return false;
    return Change(text.substr(0, from) + text.substr(to), TextRange(from, from), kind, true);
  }

  bool Undo() {
    if (undo.empty() || read_only) return false;
    Step s = undo.back();
    undo.pop_back();
    text = s.text_before;
    sel = s.sel_before;
    open = false;
    redo.push_back(s);
    return true;
  }
  bool Redo() {
    if (redo.empty() || read_only) return false;
    Step s = redo.back();
    redo.pop_back();
    text = s.text_after;
    sel = s.sel_after;
    open = false;
    undo.push_back(s);
    return true;
  }
};

std::wstring RandomText(std::mt19937& rng, int max_len) {
  static const std::wstring kPieces[] = {L"a",  L"Z",  L" ",    L"7",  L"0", L"中", L"文",
                                         L"\n", L"\r", L"\r\n", L"\t", L"é", L"-",  L"!"};
  std::uniform_int_distribution<int> len(0, max_len);
  std::uniform_int_distribution<int> pick(0, 17);
  std::wstring out;
  for (int i = len(rng); i > 0; --i) {
    const int p = pick(rng);
    if (p < 14) {
      out += kPieces[p];
    } else if (p == 14) {
      out += wchar_t(0);
    } else if (p == 15) {
      out += static_cast<wchar_t>(0xD800);
    } else if (p == 16) {
      // Not a character: beyond U+10FFFF, or half of a pair.
      out += static_cast<wchar_t>(kUtf16 ? 0xDC00 : 0x110000);
    } else if (kUtf16) {
      out += static_cast<wchar_t>(0xD83D);
      out += static_cast<wchar_t>(0xDE00);
    } else {
      out += static_cast<wchar_t>(0x1F600);
    }
  }
  return out;
}

void ExpectSame(const TextModel& model, const ReferenceModel& ref, int step) {
  ASSERT_EQ(model.GetText(), ref.text) << "step " << step;
  ASSERT_EQ(model.GetSelection(), ref.sel) << "step " << step;
  ASSERT_EQ(model.GetUndoStack().size(), ref.undo.size()) << "step " << step;
  ASSERT_EQ(model.GetRedoStack().size(), ref.redo.size()) << "step " << step;
  for (size_t i = 0; i < ref.undo.size(); ++i) {
    const UndoRecord& r = model.GetUndoStack()[i];
    const auto& s = ref.undo[i];
    ASSERT_EQ(r.before, s.sel_before) << "step " << step << " record " << i;
    ASSERT_EQ(r.after, s.sel_after) << "step " << step << " record " << i;
    // The record's delta must turn the snapshot before into the one after.
    std::wstring rebuilt = s.text_before;
    ASSERT_LE(r.pos + r.removed.size(), rebuilt.size() + 0u);
    ASSERT_EQ(rebuilt.substr(r.pos, r.removed.size()), r.removed);
    rebuilt.replace(r.pos, r.removed.size(), r.inserted);
    ASSERT_EQ(rebuilt, s.text_after) << "step " << step << " record " << i;
  }
  if (model.IsPassword()) {
    ASSERT_FALSE(model.GetCopyableText().has_value());
    ASSERT_EQ(model.GetDisplayText(),
              std::wstring(Characters(model.GetText()), TextModel::kPasswordMask));
  }
}

TEST(TextModelRandomTest, ThousandsOfSequencesMatchTheReference) {
  std::mt19937 rng(20261209);
  int checked_steps = 0;
  for (int sequence = 0; sequence < 3000; ++sequence) {
    TextModel model;
    ReferenceModel ref;
    std::uniform_int_distribution<int> op(0, 19);
    for (int step = 0; step < 40; ++step, ++checked_steps) {
      const int n = model.GetLength();
      std::uniform_int_distribution<int> at(-2, n + 2);
      const TextRange sel = model.GetSelection();
      const int kind = op(rng);
      switch (kind) {
        case 0:
        case 1:
        case 2:
        case 3: {  // typing
          const std::wstring piece = RandomText(rng, 1);
          const std::wstring c = piece.substr(0, static_cast<size_t>(NextCharEnd(piece, 0)));
          if (c.empty()) break;
          EXPECT_EQ(model.Edit(c, EditKind::kTyping), ref.Edit(c, EditKind::kTyping));
          break;
        }
        case 4: {  // paste
          const std::wstring t = RandomText(rng, 12);
          EXPECT_EQ(model.Edit(t), ref.Edit(t, EditKind::kOther));
          break;
        }
        case 5:
        case 6: {  // Backspace, sometimes by word
          const bool word = op(rng) < 4;
          const int from = word ? PrevWordStart(ref.text, ref.sel.caret)
                                : PrevCharStart(ref.text, ref.sel.caret);
          EXPECT_EQ(word ? model.DeleteBackward(from) : model.DeleteBackward(),
                    ref.Erase(from, ref.sel.caret, EditKind::kBackspace));
          break;
        }
        case 7: {  // Delete, sometimes by word
          const bool word = op(rng) < 4;
          const int to =
              word ? NextWordEnd(ref.text, ref.sel.caret) : NextCharEnd(ref.text, ref.sel.caret);
          EXPECT_EQ(word ? model.DeleteForward(to) : model.DeleteForward(),
                    ref.Erase(ref.sel.caret, to, EditKind::kDelete));
          break;
        }
        case 8: {  // select
          const int a = at(rng), c = at(rng);
          model.SetSelection(TextRange(a, c));
          ref.Select(a, c);
          break;
        }
        case 9: {  // caret moves, shift sometimes extends
          const bool extend = op(rng) < 8;
          const int to = std::array<int, 4>{sel.caret - 1, sel.caret + 1, 0, n}[op(rng) % 4];
          const int anchor = extend ? sel.anchor : to;
          model.SetSelection(TextRange(anchor, to));
          ref.Select(anchor, to);
          break;
        }
        case 10:
        case 11:
          EXPECT_EQ(model.Undo(), ref.Undo());
          break;
        case 12:
          EXPECT_EQ(model.Redo(), ref.Redo());
          break;
        case 13: {  // the program's replacement
          const std::wstring t = RandomText(rng, 6);
          EXPECT_EQ(model.ReplaceSelectionNoUndo(t), ref.Edit(t, EditKind::kOther, false));
          break;
        }
        case 14: {
          std::uniform_int_distribution<int> limit(1, 30);
          const int value = op(rng) < 10 ? limit(rng) : 0;
          model.SetMaxLength(value);
          ref.max_length = value > 0 ? value : TextModel::kDefaultMaxLength;
          break;
        }
        case 15:
          model.SetPassword(!model.IsPassword());
          ref.password = model.IsPassword();
          break;
        case 16:
          model.SetNumber(!model.IsNumber());
          ref.number = model.IsNumber();
          break;
        case 17:
          model.SetReadOnly(op(rng) < 4);
          ref.read_only = model.IsReadOnly();
          break;
        case 18:
          model.SetMultiLine(!model.IsMultiLine());
          ref.multi_line = model.IsMultiLine();
          break;
        case 19: {  // typing runs that should join one step
          for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(model.Edit(L"x", EditKind::kTyping), ref.Edit(L"x", EditKind::kTyping));
          }
          break;
        }
      }
      ExpectSame(model, ref, step);
      // Edits never take the text past the limit (a lowered limit keeps what is there).
      const bool is_edit = kind <= 7 || kind == 13 || kind == 19;
      if (is_edit && model.GetLength() > n) {
        EXPECT_LE(model.GetLength(), model.GetMaxLength());
      }
      if (::testing::Test::HasFatalFailure()) {
        ADD_FAILURE() << "sequence " << sequence;
        return;
      }
    }
  }
  EXPECT_EQ(checked_steps, 3000 * 40);
}

TEST(TextModelTest, TypingJoinsOneUndoStepUntilTheCaretMoves) {
  TextModel model;
  for (wchar_t c : std::wstring(L"hello")) model.Edit(std::wstring(1, c), EditKind::kTyping);
  model.SetSelection(TextRange(0, 0));
  model.Edit(L">", EditKind::kTyping);
  ASSERT_EQ(model.GetUndoStack().size(), 2u);
  model.Undo();
  EXPECT_EQ(model.GetText(), L"hello");
  model.Undo();
  EXPECT_EQ(model.GetText(), L"");
  model.Redo();
  EXPECT_EQ(model.GetText(), L"hello");
  EXPECT_EQ(model.GetSelection(), TextRange(5, 5));
}

TEST(TextModelTest, LimitsAndFiltersHoldForHugeAndBrokenInput) {
  TextModel model;
  model.SetMultiLine(false);
  model.SetMaxLength(260);
  std::wstring huge(1 << 20, L'中');
  huge[5] = 0;
  huge[6] = static_cast<wchar_t>(0xDC00);
  EXPECT_TRUE(model.Edit(huge));
  EXPECT_EQ(model.GetLength(), 260);
  EXPECT_EQ(model.GetText()[5], static_cast<wchar_t>(0xFFFD));  // NUL dropped, surrogate replaced
  EXPECT_FALSE(model.Edit(L"more"));
  EXPECT_EQ(model.GetUndoStack().size(), 1u);

  TextModel single;
  single.SetMultiLine(false);
  single.Edit(L"C:\\Program Files\r\nCorvane\n\n");
  EXPECT_EQ(single.GetText(), L"C:\\Program Files Corvane");

  TextModel number;
  number.SetNumber(true);
  number.Edit(L"a12-3");
  EXPECT_EQ(number.GetText(), L"123");
  EXPECT_FALSE(number.Edit(L"x", EditKind::kTyping));

  TextModel readonly;
  readonly.SetText(L"keep");
  readonly.SetReadOnly(true);
  readonly.SelectAll();
  EXPECT_FALSE(readonly.Edit(L"gone"));
  EXPECT_FALSE(readonly.DeleteBackward());
  EXPECT_EQ(readonly.GetCopyableText(), std::optional<std::wstring>(L"keep"));
  EXPECT_TRUE(readonly.ReplaceSelectionNoUndo(L"program"));
  EXPECT_EQ(readonly.GetText(), L"program");
}

TEST(WordBreakerTest, LatinAndChineseWords) {
  const std::wstring text = L"hello world 中文输入法 end";
  EXPECT_EQ(NextWordEnd(text, 0), 5);
  EXPECT_EQ(NextWordEnd(text, 5), 11);
  EXPECT_EQ(PrevWordStart(text, 11), 6);
  EXPECT_EQ(PrevWordStart(text, static_cast<int>(text.size())), 18);
  int s = 0, e = 0;
  WordAt(text, 8, &s, &e);
  EXPECT_EQ(std::wstring(text.substr(s, e - s)), L"world");
  // Chinese is cut inside the run, not at the blanks only.
  const int cjk_end = NextWordEnd(text, 12);
  EXPECT_GT(cjk_end, 12);
  EXPECT_LE(cjk_end, 17);
  // Line breaks are boundaries.
  EXPECT_EQ(NextWordEnd(L"ab\ncd", 0), 2);
  EXPECT_EQ(PrevWordStart(L"ab\ncd", 5), 3);
}

}  // namespace
}  // namespace ui
