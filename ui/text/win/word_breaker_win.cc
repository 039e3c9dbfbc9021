// Word boundaries from the system's character types (GetStringTypeW). A word
// is a run of letters and digits with the marks and format characters inside
// it, so a run of ideographs is one word and punctuation, symbols (emoji
// among them), blanks and controls lie between words: the same words the
// Linux build finds. Kana are cut from what surrounds them (a word end
// without a new start), as a reader of Japanese expects.

#include <windows.h>

#include <vector>

#include "ui/text/word_breaker.h"

namespace ui {

namespace {

enum class Kind { kOther, kLetter, kNumber, kExtend };

bool IsHiragana(char32_t c) {
  return c >= 0x3040 && c <= 0x309F;
}

bool IsKatakana(char32_t c) {
  return (c >= 0x30A0 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF) ||
         (c >= 0xFF66 && c <= 0xFF9F);
}

bool IsKana(char32_t c) {
  return IsHiragana(c) || IsKatakana(c);
}

// Whether a word is cut between two of its letters: where kana meet
// characters of another kind.
bool KanaCut(char32_t last, char32_t c) {
  if (!IsKana(last) && !IsKana(c)) return false;
  return (IsHiragana(last) && !IsHiragana(c)) ||
         (IsKatakana(last) && !IsKatakana(c) && !IsHiragana(c)) || IsKana(last) != IsKana(c);
}

// Characters beyond the basic plane have no entry in the character-type
// tables: they are classed by their planes' contents.
Kind SupplementaryKind(char32_t c) {
  if (c >= 0x20000 && c <= 0x3FFFF) return Kind::kLetter;  // ideographs
  if (c >= 0xE0000 && c <= 0xE0FFF) return Kind::kExtend;  // tags, variation selectors
  if (c >= 0x1F000 && c <= 0x1FFFF) return Kind::kOther;   // emoji and other symbols
  if (c >= 0x1D000 && c <= 0x1D3FF) return Kind::kOther;   // musical and other symbols
  if (c >= 0xF0000) return Kind::kOther;                   // private use
  return Kind::kLetter;                                    // historic and other scripts
}

Kind BasicKind(wchar_t c, WORD type1, WORD type3) {
  if (type1 & C1_ALPHA) return Kind::kLetter;
  if (type1 & C1_DIGIT) return Kind::kNumber;
  if (type3 & C3_NONSPACING) return Kind::kExtend;
  // Format characters (joiners, the soft hyphen) belong to the word around
  // them; the C0 and C1 controls end it.
  const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
  if ((type1 & C1_CNTRL) && !control) return Kind::kExtend;
  return Kind::kOther;
}

}  // namespace

WordAttrs AnalyseWords(std::wstring_view text) {
  WordAttrs out;
  const size_t n = text.size();
  out.word_start.assign(n + 1, false);
  out.word_end.assign(n + 1, false);
  if (n == 0) return out;
  std::vector<WORD> type1(n), type3(n);
  const int count = static_cast<int>(n);
  if (!GetStringTypeW(CT_CTYPE1, text.data(), count, type1.data()) ||
      !GetStringTypeW(CT_CTYPE3, text.data(), count, type3.data())) {
    type1.assign(n, 0);
    type3.assign(n, 0);
  }
  bool in_word = false;
  char32_t last_letter = 0;
  for (size_t i = 0; i < n;) {
    const wchar_t unit = text[i];
    size_t units = 1;
    char32_t c = unit;
    Kind kind;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      units = 2;
      kind = SupplementaryKind(c);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      kind = Kind::kOther;  // a lone surrogate
    } else {
      kind = BasicKind(unit, type1[i], type3[i]);
    }
    if (in_word) {
      switch (kind) {
        case Kind::kExtend:
          break;
        case Kind::kLetter:
          if (KanaCut(last_letter, c)) out.word_end[i] = true;
          last_letter = c;
          break;
        case Kind::kNumber:
          last_letter = c;
          break;
        case Kind::kOther:
          out.word_end[i] = true;
          in_word = false;
          break;
      }
    } else if (kind == Kind::kLetter || kind == Kind::kNumber) {
      out.word_start[i] = true;
      in_word = true;
      last_letter = c;
    }
    i += units;
  }
  if (in_word) out.word_end[n] = true;
  return out;
}

}  // namespace ui
