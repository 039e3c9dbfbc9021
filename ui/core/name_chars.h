#pragma once

namespace ui {

// Whether a code point counts as a letter or digit in markup names: the same
// Unicode classification on every target, never the locale's.
bool IsNameLetterOrDigit(char32_t code_point);

}  // namespace ui
