// Word boundaries from Pango's break algorithm.

#include "ui/text/word_breaker.h"

#include <pango/pango.h>

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

}  // namespace ui
