// Placeholder until the DirectWrite word breaking lands: links only.
#include "ui/text/word_breaker.h"

namespace ui {

WordAttrs AnalyseWords(std::wstring_view text) {
  WordAttrs attrs;
  attrs.word_start.assign(text.size() + 1, false);
  attrs.word_end.assign(text.size() + 1, false);
  return attrs;
}

}  // namespace ui
