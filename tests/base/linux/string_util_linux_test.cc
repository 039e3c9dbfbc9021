#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/string_util.h"

namespace {

using nbase::StringPrintf;

TEST(StringUtilLinuxTest, FileSystemBytesRoundTripWhateverTheirEncoding) {
  // Latin-1 "café", a cut-short sequence, an overlong "/", an encoded
  // surrogate and bytes that begin nothing, around valid UTF-8 and ASCII.
  const std::vector<std::string> names = {
      "caf\xE9",      "\xE4\xB8/x",       "a\xC0\xAF", "\xED\xA0\x80",
      "\x80\xFF\xFE", "\xE4\xB8\xAD\xE6", "plain",     "",
  };
  for (const std::string& name : names) {
    const std::wstring wide = nbase::NativePathToWide(name);
    EXPECT_EQ(nbase::WideToNativePath(wide), name) << name;
    // Shown as text, an undecodable byte is a replacement character.
    EXPECT_EQ(nbase::WideToUTF8(wide).find_first_of("\xE9\xFF"), std::string::npos);
  }
  EXPECT_EQ(nbase::NativePathToWide("caf\xE9"),
            (std::wstring{L'c', L'a', L'f', static_cast<wchar_t>(0xDCE9)}));
  EXPECT_EQ(nbase::WideToUTF8(nbase::NativePathToWide("caf\xE9")), "caf\xEF\xBF\xBD");
  // Valid UTF-8 decodes as usual, and other lone surrogates are not bytes.
  EXPECT_EQ(nbase::NativePathToWide("\xE4\xB8\xAD"), nbase::UTF8ToWide("\xE4\xB8\xAD"));
  EXPECT_EQ(nbase::WideToNativePath(std::wstring{static_cast<wchar_t>(0xD800)}), "\xEF\xBF\xBD");
}

TEST(StringUtilLinuxTest, PrintfOfUnconvertibleNarrowTextIsEmpty) {
  // Non-ASCII bytes through %s cannot be converted in the C locale.
  EXPECT_EQ(StringPrintf(L"%s", "\xE4\xB8\xAD"), L"");
}

}  // namespace
