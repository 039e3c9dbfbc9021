// The frozen table of name letters and digits against GLib's classification
// it was made from.

#include <glib.h>
#include <gtest/gtest.h>

#include "ui/core/name_chars.h"

namespace ui {
namespace {

TEST(NameCharsTest, TheTableClassifiesEveryCodePointAsGLibDoes) {
  int differences = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      EXPECT_FALSE(IsNameLetterOrDigit(cp));
      continue;
    }
    const bool glib = g_unichar_isalnum(static_cast<gunichar>(cp));
    if (IsNameLetterOrDigit(cp) != glib && ++differences <= 10) {
      ADD_FAILURE() << "U+" << std::hex << static_cast<uint32_t>(cp)
                    << " differs from GLib: run scripts/gen-name-chars";
    }
  }
  EXPECT_EQ(differences, 0);
  EXPECT_FALSE(IsNameLetterOrDigit(0x110000));
}

}  // namespace
}  // namespace ui
