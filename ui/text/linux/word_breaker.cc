#include "ui/text/word_breaker.h"

#include <pango/pango.h>

#include <algorithm>
#include <string>

#include "base/string_util.h"

namespace ui {

WordAttrs AnalyseWords(std::wstring_view text) {
  WordAttrs out;
  const size_t n = text.size();
  out.word_start.assign(n + 1, false);
  out.word_end.assign(n + 1, false);
  if (n == 0) return out;
  const std::string utf8 = nbase::WideToUTF8(text);
  std::vector<PangoLogAttr> attrs(n + 1);
  pango_get_log_attrs(utf8.data(), static_cast<int>(utf8.size()), -1,
                      pango_language_from_string("zh-cn"), attrs.data(),
                      static_cast<int>(attrs.size()));
  for (size_t i = 0; i <= n; ++i) {
    out.word_start[i] = attrs[i].is_word_start;
    out.word_end[i] = attrs[i].is_word_end;
  }
  return out;
}

namespace {

// [lo, hi) of the line holding `pos` widened by one line on each side.
void SearchWindow(std::wstring_view text, int pos, int* lo, int* hi) {
  const int n = static_cast<int>(text.size());
  int a = std::clamp(pos, 0, n);
  for (int breaks = 0; a > 0; --a) {
    if (text[static_cast<size_t>(a - 1)] == L'\n' && ++breaks == 2) break;
  }
  int b = std::clamp(pos, 0, n);
  for (int breaks = 0; b < n; ++b) {
    if (text[static_cast<size_t>(b)] == L'\n' && ++breaks == 2) break;
  }
  *lo = a;
  *hi = b;
}

}  // namespace

int PrevWordStart(std::wstring_view text, int pos) {
  int lo = 0, hi = 0;
  SearchWindow(text, pos, &lo, &hi);
  const WordAttrs attrs =
      AnalyseWords(text.substr(static_cast<size_t>(lo), static_cast<size_t>(hi - lo)));
  for (int i = std::clamp(pos, lo, hi) - 1; i > lo; --i) {
    if (attrs.word_start[static_cast<size_t>(i - lo)]) return i;
  }
  return lo;
}

int NextWordEnd(std::wstring_view text, int pos) {
  int lo = 0, hi = 0;
  SearchWindow(text, pos, &lo, &hi);
  const WordAttrs attrs =
      AnalyseWords(text.substr(static_cast<size_t>(lo), static_cast<size_t>(hi - lo)));
  for (int i = std::clamp(pos, lo, hi) + 1; i < hi; ++i) {
    if (attrs.word_end[static_cast<size_t>(i - lo)]) return i;
  }
  return hi;
}

void WordAt(std::wstring_view text, int pos, int* start, int* end) {
  int lo = 0, hi = 0;
  SearchWindow(text, pos, &lo, &hi);
  const WordAttrs attrs =
      AnalyseWords(text.substr(static_cast<size_t>(lo), static_cast<size_t>(hi - lo)));
  auto at = [&](const std::vector<bool>& v, int i) { return v[static_cast<size_t>(i - lo)]; };
  pos = std::clamp(pos, lo, hi);
  // Inside a word: from its start to its end. A word counts as holding pos
  // when a start lies at or before pos with no end in between.
  int s = pos;
  while (s > lo && !at(attrs.word_start, s) && !at(attrs.word_end, s)) --s;
  if (at(attrs.word_start, s) && s < hi) {
    int e = s + 1;
    while (e < hi && !at(attrs.word_end, e)) ++e;
    if (e > pos || (e == pos && pos == hi)) {
      *start = s;
      *end = e;
      return;
    }
  }
  // Between words: the run of other characters up to the next word start.
  s = pos;
  while (s > lo && !at(attrs.word_end, s) && !at(attrs.word_start, s)) --s;
  int e = pos + 1 <= hi ? pos + 1 : hi;
  while (e < hi && !at(attrs.word_start, e)) ++e;
  *start = s;
  *end = std::max(e, s);
}

}  // namespace ui
