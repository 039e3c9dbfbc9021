#include "ui/core/name_chars.h"

#include <algorithm>
#include <iterator>

namespace ui {

namespace {

struct Range {
  char32_t first;
  char32_t last;
};

constexpr Range kLettersAndDigits[] = {
#include "ui/core/name_chars_table.inc"
};

}  // namespace

bool IsNameLetterOrDigit(char32_t code_point) {
  // The last range that starts at or before the code point.
  const Range* after =
      std::upper_bound(std::begin(kLettersAndDigits), std::end(kLettersAndDigits), code_point,
                       [](char32_t cp, const Range& range) { return cp < range.first; });
  return after != std::begin(kLettersAndDigits) && code_point <= (after - 1)->last;
}

}  // namespace ui
