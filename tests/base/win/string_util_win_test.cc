#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/string_util.h"

namespace {

std::wstring Units(std::initializer_list<unsigned> units) {
  std::wstring out;
  for (unsigned unit : units) out.push_back(static_cast<wchar_t>(unit));
  return out;
}

// Windows names are UTF-16 and may hold unpaired surrogates; their narrow
// form keeps those as three-byte sequences, so any name survives the trip.
TEST(StringUtilWinTest, NativePathsKeepUnpairedSurrogates) {
  const std::vector<std::wstring> names = {
      Units({'a', 0xD800, 'b'}),          // lone high
      Units({0xDC00}),                    // lone low
      Units({0xDE00, 0xD83D}),            // reversed pair
      Units({0xD83D, 0xDE00, 0xD800}),    // pair, then a lone high at the end
      Units({0x4E2D, 0x6587, '.', 'x'}),  // plain text
      L"",
  };
  for (const std::wstring& name : names) {
    const std::string narrow = nbase::WideToNativePath(name);
    EXPECT_EQ(nbase::NativePathToWide(narrow), name) << narrow;
  }
  EXPECT_EQ(nbase::WideToNativePath(Units({'a', 0xD800, 'b'})),
            "a\xED\xA0\x80"
            "b");
  // A pair is one character, written as its four-byte form.
  EXPECT_EQ(nbase::WideToNativePath(Units({0xD83D, 0xDE00})), "\xF0\x9F\x98\x80");
  // As text, a lone surrogate is a replacement character.
  EXPECT_EQ(nbase::WideToUTF8(Units({'a', 0xD800, 'b'})),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(nbase::UTF8ToWide("\xED\xA0\x80"), Units({0xFFFD}));
  // Bytes that are no UTF-8 at all cannot come from a Windows name.
  EXPECT_EQ(nbase::NativePathToWide("caf\xE9"), Units({'c', 'a', 'f', 0xFFFD}));
}

TEST(StringUtilWinTest, CharsetNamesFindTheirCodePages) {
  std::wstring out;
  // "中文" in GBK under its other names, and code pages named by number.
  for (const char* name : {"gbk", "GB2312", "CP936", "windows-936"}) {
    ASSERT_TRUE(nbase::MBCSToWide("\xD6\xD0\xCE\xC4", name, &out)) << name;
    EXPECT_EQ(out, Units({0x4E2D, 0x6587})) << name;
  }
  ASSERT_TRUE(nbase::MBCSToWide("caf\xE9", "ISO-8859-1", &out));
  EXPECT_EQ(out, L"caf\u00E9");
  ASSERT_TRUE(nbase::MBCSToWide("\x80", "windows-1252", &out));
  EXPECT_EQ(out, L"\u20AC");
  ASSERT_TRUE(nbase::MBCSToWide("\xF0\x9F\x98\x80", "utf-8", &out));
  EXPECT_EQ(out, Units({0xD83D, 0xDE00}));
  ASSERT_TRUE(nbase::MBCSToWide("", "GBK", &out));
  EXPECT_TRUE(out.empty());

  out = L"stale";
  for (const char* name : {"", "CP", "CPx", "CP99999999", "no-such-charset"}) {
    EXPECT_FALSE(nbase::MBCSToWide("abc", name, &out)) << name;
    EXPECT_TRUE(out.empty()) << name;
  }
  EXPECT_FALSE(nbase::MBCSToWide("abc", nullptr, &out));
  // A lead byte without its trail byte is not GBK.
  EXPECT_FALSE(nbase::MBCSToWide("\xD6", "GBK", &out));
}

TEST(StringUtilWinTest, PrintfFollowsTheIsoMeaningOfItsConversions) {
  // %s is narrow and %ls wide, as on every other C library; the count bounds
  // the buffer however long the text.
  EXPECT_EQ(nbase::StringPrintf(L"%s|%ls|%c|%lc", "ab", L"cd", 'e', L'f'), L"ab|cd|e|f");
  EXPECT_EQ(nbase::StringPrintf(L"%5.1f|%lld|%x", 2.5, 1LL << 40, 255u), L"  2.5|1099511627776|ff");
  // Narrow text is converted in the C locale, byte by byte.
  EXPECT_EQ(nbase::StringPrintf(L"%s", "\xE4\xB8\xAD"), L"\u00E4\u00B8\u00AD");
}

}  // namespace
