#include "base/string_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using nbase::StringPrintf;

TEST(StringUtilTest, Utf8AndWideRoundTrip) {
  const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";  // a é 中 😀 z
  std::wstring wide = nbase::UTF8ToWide(text);
  EXPECT_EQ(wide, (std::wstring{L'a', 0xE9, 0x4E2D, 0x1F600, L'z'}));
  EXPECT_EQ(nbase::WideToUTF8(wide), text);
  EXPECT_EQ(nbase::UTF8ToWide(""), L"");
  EXPECT_EQ(nbase::WideToUTF8(L""), "");
}

// ASCII runs are widened sixteen bytes at a time; a multi-byte or invalid
// sequence at any offset of such a block must still decode exactly.
TEST(StringUtilTest, DecodesAtEveryOffsetOfTheFastAsciiPath) {
  const wchar_t kBad = 0xFFFD;
  for (size_t at = 0; at < 40; ++at) {
    const std::string ascii(at, 'x');
    const std::string text = ascii + "\xE4\xB8\xAD" + ascii + "\xFF" + "0123456789abcdefg";
    std::wstring expected(at, L'x');
    expected += static_cast<wchar_t>(0x4E2D);
    expected += std::wstring(at, L'x');
    expected += kBad;
    expected += L"0123456789abcdefg";
    EXPECT_EQ(nbase::UTF8ToWide(text), expected) << at;
    // The buffer form writes the same and never more characters than bytes.
    std::wstring buffer(text.size() + 1, L'#');
    const size_t written = nbase::UTF8ToWideInto(text, buffer.data());
    EXPECT_EQ(buffer.substr(0, written), expected) << at;
    EXPECT_EQ(buffer.substr(written), std::wstring(text.size() + 1 - written, L'#')) << at;
    EXPECT_EQ(nbase::WideToNativePath(nbase::NativePathToWide(text)), text) << at;
  }
}

TEST(StringUtilTest, InvalidUtf8BecomesReplacementCharacters) {
  const wchar_t kBad = 0xFFFD;
  EXPECT_EQ(nbase::UTF8ToWide("a\xFF"
                              "b"),
            (std::wstring{L'a', kBad, L'b'}));
  EXPECT_EQ(nbase::UTF8ToWide("\xC0\xAF"), (std::wstring{kBad}));          // overlong "/"
  EXPECT_EQ(nbase::UTF8ToWide("\xED\xA0\x80"), (std::wstring{kBad}));      // surrogate
  EXPECT_EQ(nbase::UTF8ToWide("\xF4\x90\x80\x80"), (std::wstring{kBad}));  // above U+10FFFF
  EXPECT_EQ(nbase::UTF8ToWide("\xE4\xB8"), (std::wstring{kBad}));          // cut short
  EXPECT_EQ(nbase::UTF8ToWide("\xE4\xB8x"), (std::wstring{kBad, L'x'}));   // x is kept
}

TEST(StringUtilTest, UnencodableWideCharactersBecomeReplacement) {
  std::wstring bad{L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000)};
  EXPECT_EQ(nbase::WideToUTF8(bad), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(StringUtilTest, FileSystemBytesRoundTripWhateverTheirEncoding) {
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

TEST(StringUtilTest, ConvertsFromANamedCharset) {
  std::wstring out = L"stale";
  ASSERT_TRUE(nbase::MBCSToWide("\xD6\xD0\xCE\xC4", "GBK", &out));  // 中文
  EXPECT_EQ(out, (std::wstring{0x4E2D, 0x6587}));
  EXPECT_FALSE(nbase::MBCSToWide("abc", "NO-SUCH-CHARSET", &out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(nbase::MBCSToWide("\xFF\xFF", "UTF-8", &out));
  EXPECT_TRUE(out.empty());
}

TEST(StringUtilTest, PrintfFormatsAndGrowsPastTheFirstBuffer) {
  EXPECT_EQ(StringPrintf(L"%d-%ls-%s", 42, L"\u4E2D", "x"), L"42-\u4E2D-x");
  std::wstring long_text(5000, L'q');
  std::wstring result = StringPrintf(L"[%ls]", long_text.c_str());
  EXPECT_EQ(result.size(), 5002u);
  EXPECT_EQ(result.front(), L'[');
  EXPECT_EQ(result.back(), L']');
  // Exactly at the first buffer's edge (1023 characters plus terminator).
  std::wstring edge(1023, L'e');
  EXPECT_EQ(StringPrintf(L"%ls", edge.c_str()), edge);
  std::wstring over(1024, L'o');
  EXPECT_EQ(StringPrintf(L"%ls", over.c_str()), over);
}

TEST(StringUtilTest, PrintfOfUnconvertibleNarrowTextIsEmpty) {
  // Non-ASCII bytes through %s cannot be converted in the C locale.
  EXPECT_EQ(StringPrintf(L"%s", "\xE4\xB8\xAD"), L"");
}

TEST(StringUtilTest, TokenizeMergesSeparatorRunsAndDropsEmptyPieces) {
  EXPECT_EQ(nbase::StringTokenize(L",,a, b;;c,", L",; "),
            (std::vector<std::wstring>{L"a", L"b", L"c"}));
  EXPECT_EQ(nbase::StringTokenize(std::string("x|y"), std::string("|")),
            (std::vector<std::string>{"x", "y"}));
  EXPECT_TRUE(nbase::StringTokenize(L",,,", L",").empty());
  EXPECT_TRUE(nbase::StringTokenize(L"", L",").empty());
  EXPECT_EQ(nbase::StringTokenize(L"whole", L""), (std::vector<std::wstring>{L"whole"}));
}

TEST(StringUtilTest, ReplaceAllCountsAndDoesNotRescanReplacements) {
  std::wstring text = L"aaa";
  EXPECT_EQ(nbase::StringReplaceAll(L"a", L"aa", &text), 3u);
  EXPECT_EQ(text, L"aaaaaa");
  std::string narrow = "one two one";
  EXPECT_EQ(nbase::StringReplaceAll("one", "1", &narrow), 2u);
  EXPECT_EQ(narrow, "1 two 1");
  EXPECT_EQ(nbase::StringReplaceAll("", "x", &narrow), 0u);  // empty pattern: nothing
  EXPECT_EQ(narrow, "1 two 1");
  EXPECT_EQ(nbase::StringReplaceAll("two ", "", &narrow), 1u);
  EXPECT_EQ(narrow, "1 1");
}

TEST(StringUtilTest, NormalizesPathSeparators) {
  EXPECT_EQ(nbase::NormalizePathSeparators(L"skin\\\\basic\\basic.xml"), L"skin/basic/basic.xml");
  EXPECT_EQ(nbase::NormalizePathSeparators(std::string("a//b\\/c")), "a/b/c");
  EXPECT_EQ(nbase::NormalizePathSeparators(std::string("//root")), "/root");
  EXPECT_EQ(nbase::NormalizePathSeparators(std::string("")), "");
}

TEST(StringUtilTest, EqualsIgnoreAsciiCaseOnlyFoldsAscii) {
  EXPECT_TRUE(nbase::EqualsIgnoreAsciiCase(L"Basic.XML", L"basic.xml"));
  EXPECT_FALSE(nbase::EqualsIgnoreAsciiCase(L"basic", L"basics"));
  EXPECT_FALSE(nbase::EqualsIgnoreAsciiCase(L"\u00C9", L"\u00E9"));  // É vs é: not ASCII
  EXPECT_TRUE(nbase::EqualsIgnoreAsciiCase(L"", L""));
}

TEST(StringUtilTest, CharBoundariesNeverSplitASurrogatePair) {
  // U+1F600 and U+20000 (CJK Extension B) as the wide type holds them here.
  std::wstring text = L"a";
  nbase::AppendCodePoint(0x1F600, &text);
  text += L"\u4E2D";
  nbase::AppendCodePoint(0x20000, &text);
  const size_t emoji_units = sizeof(wchar_t) == 2 ? 2 : 1;
  ASSERT_EQ(text.size(), 2 + 2 * emoji_units);
  EXPECT_EQ(nbase::CharCount(text), 4u);
  EXPECT_EQ(nbase::CodePointAt(text, 1), U'\U0001F600');
  EXPECT_EQ(nbase::CodePointAt(text, 2 + emoji_units), U'\U00020000');
  EXPECT_EQ(nbase::NextCharBoundary(text, 1), 1 + emoji_units);
  EXPECT_EQ(nbase::PrevCharBoundary(text, 1 + emoji_units), 1u);
  EXPECT_EQ(nbase::NextCharBoundary(text, text.size()), text.size());
  EXPECT_EQ(nbase::PrevCharBoundary(text, 0), 0u);
  // A cut inside a pair moves back to its start.
  EXPECT_EQ(nbase::TruncateAtCharBoundary(text, 2), sizeof(wchar_t) == 2 ? 1u : 2u);
  EXPECT_EQ(nbase::UnitsForChars(text, 2), 1 + emoji_units);
  EXPECT_EQ(nbase::UnitsForChars(text, 10), text.size());
  EXPECT_EQ(nbase::WideToUTF8(text), "a\xF0\x9F\x98\x80\xE4\xB8\xAD\xF0\xA0\x80\x80");
  EXPECT_EQ(nbase::UTF8ToWide(nbase::WideToUTF8(text)), text);
}

TEST(StringUtilTest, LoneSurrogatesCountAsOneCharacterEach) {
  std::wstring text;
  text.push_back(static_cast<wchar_t>(0xDC80));
  text.push_back(static_cast<wchar_t>(0xD83D));
  EXPECT_EQ(nbase::CharCount(text), 2u);
  EXPECT_EQ(nbase::NextCharBoundary(text, 1), 2u);  // a high surrogate at the end stands alone
  EXPECT_EQ(nbase::AlignToCharBoundary(text, 1), 1u);
}

}  // namespace
