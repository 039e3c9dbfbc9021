#include "app/machine_info.h"

#include <sys/wait.h>

#include <cstdlib>
#include <cwctype>

#include <glib.h>
#include <gtest/gtest.h>

#include "app/installer_constants.h"
#include "app/system/embedded_resource.h"
#include "tests/app/app_test_support.h"

namespace corvane {
namespace {

using app_test::ScopedUserEnvironment;

bool IsUpperHex32(const std::wstring& s) {
  if (s.size() != 32) return false;
  for (wchar_t c : s) {
    if (!((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'))) return false;
  }
  return true;
}

TEST(AppMachineInfoTest, Md5HexMatchesTheRfcSuite) {
  EXPECT_EQ(Md5Hex(L""), L"D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Md5Hex(L"abc"), L"900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Md5Hex(L"message digest"), L"F96B697D7CB7938D525A2F31AAF161D0");
  // Non-ASCII text is hashed as its UTF-8 bytes.
  gchar* expected = g_compute_checksum_for_string(G_CHECKSUM_MD5, "视频", -1);
  gchar* upper = g_ascii_strup(expected, -1);
  EXPECT_EQ(Md5Hex(L"视频"), std::wstring(upper, upper + 32));
  g_free(upper);
  g_free(expected);
}

TEST(AppMachineInfoTest, IdentifierIsCreatedOnceAndReused) {
  ScopedUserEnvironment env;
  ResetMachineInfoCachesForTesting();
  const std::wstring first = GetMachineId();
  EXPECT_TRUE(IsUpperHex32(first)) << std::string(first.begin(), first.end());
  EXPECT_EQ(ReadRegistryString(kAppInfoKey, L"UniqueId"), first);
  // A new process (simulated by dropping the cache) reads the stored value.
  ResetMachineInfoCachesForTesting();
  EXPECT_EQ(GetMachineId(), first);
  // Deleting the stored value makes the next start create a different one.
  ASSERT_EQ(std::remove((env.config_home() + "/corvane/AppInfo.ini").c_str()), 0);
  ResetMachineInfoCachesForTesting();
  const std::wstring second = GetMachineId();
  EXPECT_TRUE(IsUpperHex32(second));
  EXPECT_NE(second, first);
  ResetMachineInfoCachesForTesting();
}

TEST(AppMachineInfoTest, StoredIdentifierIsUsedVerbatim) {
  ScopedUserEnvironment env;
  ResetMachineInfoCachesForTesting();
  ASSERT_TRUE(WriteRegistryString(kAppInfoKey, L"UniqueId", L"not-hex but kept"));
  EXPECT_EQ(GetMachineId(), L"not-hex but kept");
  ResetMachineInfoCachesForTesting();
}

TEST(AppMachineInfoTest, VersionAndClock) {
  EXPECT_EQ(GetProgramVersion(), L"" CORVANE_VERSION);
  // 1601 to 1970 is 11644473600 seconds; the clock agrees with GLib's.
  const uint64_t now = NowMilliseconds();
  const uint64_t glib_now = static_cast<uint64_t>(g_get_real_time() / 1000) + 11644473600000ULL;
  EXPECT_LE(now > glib_now ? now - glib_now : glib_now - now, 5000u);
  EXPECT_EQ(std::stoull(NowMillisecondsText()) / 100000, NowMilliseconds() / 100000);
}

TEST(AppChannelResourceTest, LongResourceIsCutAt260BytesOnACharacterBoundary) {
  EXPECT_EQ(ChannelFromResourceBytes("corvane_official"), L"corvane_official");
  EXPECT_EQ(ChannelFromResourceBytes(std::string(300, 'a')), std::wstring(260, L'a'));
  // 259 ASCII bytes then a two-byte character: the character is dropped whole.
  const std::wstring cut = ChannelFromResourceBytes(std::string(259, 'b') + "é" + "tail");
  EXPECT_EQ(cut, std::wstring(259, L'b'));
  EXPECT_EQ(ChannelFromResourceBytes(""), L"");
}

TEST(AppChannelResourceTest, TestBinaryHasNoChannelResource) {
  std::wstring channel = L"untouched";
  EXPECT_FALSE(ReadChannelResource(&channel));
  EXPECT_EQ(channel, L"untouched");
}

TEST(AppChannelResourceTest, InstallerCarriesTheChannelAndCanBeRestamped) {
  app_test::TempDir dir;
  const std::optional<std::string> built =
      corvane::ReadElfSection(app_test::InstallerPath(), corvane::ResourceSectionName("CHANNEL"));
  ASSERT_TRUE(built.has_value());
  EXPECT_FALSE(built->empty());

  const std::string copy = dir.Sub("installer");
  app_test::WriteFile(copy, app_test::ReadFile(app_test::InstallerPath()));
  const std::string script = std::string(CORVANE_SOURCE_DIR) + "/scripts/restamp-channel";
  const std::string long_channel(300, 'z');
  for (const std::string& channel : {std::string("partner_42"), long_channel}) {
    const std::string command = script + " '" + copy + "' '" + channel + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::optional<std::string> stamped =
        corvane::ReadElfSection(copy, corvane::ResourceSectionName("CHANNEL"));
    ASSERT_TRUE(stamped.has_value());
    EXPECT_EQ(*stamped, channel);
  }
  EXPECT_EQ(ChannelFromResourceBytes(long_channel), std::wstring(260, L'z'));
  // The theme, if embedded, survives the re-stamp.
  EXPECT_EQ(corvane::ReadElfSection(copy, ".rsrc.THEME").has_value(),
            corvane::ReadElfSection(app_test::InstallerPath(), ".rsrc.THEME").has_value());
}

}  // namespace
}  // namespace corvane
