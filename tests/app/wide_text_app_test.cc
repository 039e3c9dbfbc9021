// Text outside the Basic Multilingual Plane through the installer's own
// text handling: a surrogate pair (Windows) and a single code point (Linux)
// give the same bytes on the wire, and no cut splits a character. Shared by
// both targets.
#include <gtest/gtest.h>

#include "app/machine_info.h"
#include "app/package_download.h"
#include "app/package_run.h"
#include "app/statistics.h"

namespace {

// U+1F600 and U+2000B (CJK Extension B): two code units each in UTF-16.
const std::wstring kNonBmp = L"\U0001F600\U0002000B";
const std::string kNonBmpUtf8 = "\xF0\x9F\x98\x80\xF0\xA0\x80\x8B";

TEST(AppWideText, RecordsCarryFourByteSequences) {
  const std::wstring data = corvane::BuildDataText({{L"ClickSrc", kNonBmp}});
  EXPECT_EQ(data, L"{\"ClickSrc\":\"" + kNonBmp + L"\"}");
  // Base64 of {"ClickSrc":"😀𠀋"} in UTF-8: each character is one four-byte
  // sequence, not two three-byte halves.
  EXPECT_EQ(corvane::BuildRecordBody(data), "log=eyJDbGlja1NyYyI6IvCfmIDwoICLIn0=");
  // Escaping leaves the pair alone.
  EXPECT_EQ(corvane::JsonQuote(kNonBmp + L"\""), L"\"" + kNonBmp + L"\\\"\"");
}

TEST(AppWideText, ChannelsAndAddressesKeepWholeCharacters) {
  EXPECT_EQ(corvane::EscapeChannelForUrl(L"渠道" + kNonBmp),
            L"%E6%B8%A0%E9%81%93%F0%9F%98%80%F0%A0%80%8B");
  // A channel resource longer than 260 bytes is cut before a character
  // that would not fit whole.
  const std::string bytes = std::string(258, 'a') + kNonBmpUtf8;
  EXPECT_EQ(corvane::ChannelFromResourceBytes(bytes), std::wstring(258, L'a'));
  const std::string fits = std::string(256, 'a') + kNonBmpUtf8;
  EXPECT_EQ(corvane::ChannelFromResourceBytes(fits),
            std::wstring(256, L'a') + kNonBmp.substr(0, kNonBmp.size() / 2));
  EXPECT_EQ(corvane::TrimUrl(L" \n" + kNonBmp + L"\t "), kNonBmp);
}

}  // namespace
