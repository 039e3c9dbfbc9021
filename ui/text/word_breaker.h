#pragma once

// Word boundaries by the platform's text engine (Pango's break algorithm on
// Linux, CJK included: each ideograph run is cut as it cuts it). Positions
// are wchar_t offsets; a boundary never falls inside a surrogate pair.

#include <string_view>
#include <vector>

namespace ui {

struct WordAttrs {
  // Indexed by wchar_t offset, one more entry than the text has.
  std::vector<bool> word_start;
  std::vector<bool> word_end;
};

// Analyses `text` whole.
WordAttrs AnalyseWords(std::wstring_view text);

// The word start before `pos` and the word end after it. The search looks no
// further than the line before and the line after the one holding `pos`;
// without a boundary there it stops at that line's edge (or the text's).
int PrevWordStart(std::wstring_view text, int pos);
int NextWordEnd(std::wstring_view text, int pos);

// The word around `pos` for a double click: [start, end). Between words it
// is the run of non-word characters there.
void WordAt(std::wstring_view text, int pos, int* start, int* end);

}  // namespace ui
