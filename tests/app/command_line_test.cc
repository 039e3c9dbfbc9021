#include "app/command_line.h"

#include <gtest/gtest.h>

#include "tests/app/app_test_support.h"

namespace corvane {
namespace {

TEST(AppCommandLineTest, KeyValueArgumentsSplitAtTheFirstColon) {
  ASSERT_TRUE(ParseCommandLine({L"installPath:/opt/Apps:x", L"channel:abc", L"a:b:c"}));
  EXPECT_EQ(GetCommandLineValue(L"installPath"), L"/opt/Apps:x");
  EXPECT_EQ(GetCommandLineValue(L"channel"), L"abc");
  EXPECT_EQ(GetCommandLineValue(L"a"), L"b:c");
  EXPECT_EQ(CommandLine::Instance().values().size(), 3u);
}

TEST(AppCommandLineTest, ColonNearTheStartGivesEmptyKeyAndValue) {
  ASSERT_TRUE(ParseCommandLine({L"C:\\x", L":abc", L"D:/y"}));
  const auto& values = CommandLine::Instance().values();
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values.begin()->first, L"");
  EXPECT_EQ(values.begin()->second, L"");
}

TEST(AppCommandLineTest, BareWordsEmptyValuesAndOverwrites) {
  ASSERT_TRUE(ParseCommandLine({L"", L"verbose", L"channel:", L"k:1", L"k:2"}));
  const auto& values = CommandLine::Instance().values();
  EXPECT_EQ(values.size(), 3u);
  EXPECT_EQ(values.at(L"verbose"), L"");
  EXPECT_EQ(values.at(L"channel"), L"");
  EXPECT_EQ(values.at(L"k"), L"2");
}

TEST(AppCommandLineTest, ExistingPathGoesUnderPath) {
  app_test::TempDir dir;
  const std::string with_colon = dir.Sub("key:value");
  app_test::WriteFile(with_colon, "x");
  const std::wstring wide(with_colon.begin(), with_colon.end());
  ASSERT_TRUE(ParseCommandLine({wide, L"channel:c1"}));
  EXPECT_EQ(GetCommandLineValue(L"path"), wide);
  EXPECT_EQ(GetCommandLineValue(L"channel"), L"c1");
}

TEST(AppCommandLineTest, LookupOfUnknownKeyDoesNotGrowTheTable) {
  ASSERT_TRUE(ParseCommandLine({L"channel:abc"}));
  EXPECT_EQ(GetCommandLineValue(L"installPath"), L"");
  EXPECT_EQ(CommandLine::Instance().values().size(), 1u);
  // A new parse replaces the table.
  ASSERT_TRUE(ParseCommandLine({}));
  EXPECT_EQ(GetCommandLineValue(L"channel"), L"");
  EXPECT_TRUE(CommandLine::Instance().values().empty());
}

}  // namespace
}  // namespace corvane
