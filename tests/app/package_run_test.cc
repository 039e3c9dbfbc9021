#include "app/package_run.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "app/install_flow.h"
#include "app/system/process.h"
#include "base/string_util.h"
#include "tests/app/app_test_support.h"

namespace corvane {
namespace {

using app_test::ScopedUserEnvironment;

std::wstring Wide(const std::string& s) {
  return nbase::UTF8ToWide(s);
}

class AppPackageRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("CORVANE_DEMO_PACKAGE_LOG", env_.dir().Sub("package.log"));
    env_.Set("CORVANE_DEMO_PACKAGE_COUNTER", env_.dir().Sub("runs"));
  }
  ScopedUserEnvironment env_;
};

TEST_F(AppPackageRunTest, DirectoryWithBlanksArrivesWholeAndProductIsInstalled) {
  const std::string dir = env_.dir().Sub("Program Files/brightmoor/corvane");
  const PackageRunOutcome outcome = RunPackageRuns(Wide(app_test::DemoPackagePath()), Wide(dir));
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.retries, 0);
  const auto records = app_test::ReadStartRecords(env_.dir().Sub("package.log"));
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].size(), 3u);
  EXPECT_EQ(records[0][1], "/S");
  EXPECT_EQ(records[0][2], "/D=" + dir);
  EXPECT_EQ(app_test::ReadFile(dir + "/corvane.exe"),
            app_test::ReadFile(app_test::DemoProductPath()));
  EXPECT_EQ(ProductExecutable(Wide(dir)), Wide(dir + "/corvane.exe"));
}

TEST_F(AppPackageRunTest, FailingOnceThenSucceedingCountsOneRetry) {
  env_.Set("CORVANE_DEMO_PACKAGE_EXIT_CODES", "1,0");
  const PackageRunOutcome outcome =
      RunPackageRuns(Wide(app_test::DemoPackagePath()), Wide(env_.dir().Sub("d")));
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.retries, 1);
  EXPECT_EQ(BuildDataText(InstallRecordData(outcome)),
            L"{\"cost\":\"" + std::to_wstring(outcome.cost_seconds) +
                L"\",\"ret\":\"0\",\"retryTime\":\"1\"}");
}

TEST_F(AppPackageRunTest, PersistentFailureRunsThreeTimes) {
  env_.Set("CORVANE_DEMO_PACKAGE_EXIT_CODES", "7");
  const PackageRunOutcome outcome =
      RunPackageRuns(Wide(app_test::DemoPackagePath()), Wide(env_.dir().Sub("d")));
  EXPECT_EQ(outcome.code, 7);
  EXPECT_EQ(outcome.retries, 3);
  EXPECT_EQ(app_test::ReadFile(env_.dir().Sub("runs")), "3");
  EXPECT_FALSE(app_test::FileExists(env_.dir().Sub("d/corvane.exe")));
}

TEST_F(AppPackageRunTest, MissingPackageIsCodeTwoAndKilledPackageIsUnreadable) {
  const PackageRunOutcome missing =
      RunPackageRuns(Wide(env_.dir().Sub("no-such-package")), Wide(env_.dir().Sub("d")));
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.retries, 3);

  env_.Set("CORVANE_DEMO_PACKAGE_EXIT_CODES", "kill");
  const PackageRunOutcome killed =
      RunPackageRuns(Wide(app_test::DemoPackagePath()), Wide(env_.dir().Sub("d")));
  EXPECT_EQ(killed.code, corvane::kExitCodeUnreadable);
  EXPECT_EQ(killed.code, -10002);
  EXPECT_EQ(killed.retries, 3);
}

TEST(AppProcessTest, ExitCodesAndStartFailures) {
  EXPECT_EQ(corvane::RunProcess({"/bin/sh", "-c", "exit 0"}), 0);
  EXPECT_EQ(corvane::RunProcess({"/bin/sh", "-c", "exit 42"}), 42);
  EXPECT_EQ(corvane::RunProcess({"/bin/sh", "-c", "kill -TERM $$"}), corvane::kExitCodeUnreadable);
  EXPECT_EQ(corvane::RunProcess({"/nonexistent/program"}), 2);
  EXPECT_EQ(corvane::RunProcess({}), 2);
  // No shell is involved: metacharacters arrive as text.
  EXPECT_EQ(corvane::RunProcess({"/bin/sh", "-c", "test \"$1\" = 'a b;$(x)'", "sh", "a b;$(x)"}),
            0);
}

TEST(AppProcessTest, RunningCheckComparesTheExactName) {
  app_test::TempDir dir;
  // Names unique to this test, so parallel tests cannot disturb the check.
  const std::string lower = "corvane-" + std::to_string(getpid()) + ".exe";
  const std::string upper = "Corvane-" + std::to_string(getpid()) + ".exe";
  app_test::WriteFile(dir.Sub(upper), app_test::ReadFile(app_test::DemoProductPath()));
  chmod(dir.Sub(upper).c_str(), 0755);
  EXPECT_FALSE(corvane::IsProcessRunning(upper));

  ScopedUserEnvironment env;
  env.Set("CORVANE_DEMO_PRODUCT_LOG", dir.Sub("starts.log"));
  env.Set("CORVANE_DEMO_PRODUCT_STAY_MS", "20000");
  ASSERT_EQ(corvane::SpawnDetached({dir.Sub(upper)}), 0);
  bool seen = false;
  for (int i = 0; i < 500 && !seen; ++i) {
    seen = corvane::IsProcessRunning(upper);
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(seen);
  EXPECT_FALSE(corvane::IsProcessRunning(lower));
  // The product of the installer is looked up under its own exact name.
  // Parallel tests start and end products of that name, so two readings may
  // straddle a change: they must agree within a few tries.
  bool agree = false;
  for (int i = 0; i < 20 && !agree; ++i) {
    agree = IsProductRunning() == corvane::IsProcessRunning("corvane.exe");
  }
  EXPECT_TRUE(agree);
  for (const auto& record : app_test::ReadStartRecords(dir.Sub("starts.log"))) {
    kill(std::stoi(record[0]), SIGKILL);
  }
}

TEST(AppProcessTest, ProductStartsDetachedWithoutArguments) {
  ScopedUserEnvironment env;
  const std::string dir = env.dir().Sub("inst dir");
  mkdir(dir.c_str(), 0755);
  app_test::WriteFile(dir + "/corvane.exe", app_test::ReadFile(app_test::DemoProductPath()));
  chmod((dir + "/corvane.exe").c_str(), 0755);
  env.Set("CORVANE_DEMO_PRODUCT_LOG", env.dir().Sub("starts.log"));
  ASSERT_EQ(LaunchProduct(Wide(dir)), 0);
  std::vector<std::vector<std::string>> records;
  for (int i = 0; i < 500 && records.empty(); ++i) {
    records = app_test::ReadStartRecords(env.dir().Sub("starts.log"));
    if (records.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].size(), 2u);
  EXPECT_EQ(records[0][1], dir + "/corvane.exe");
  EXPECT_NE(LaunchProduct(Wide(env.dir().Sub("nowhere"))), 0);
}

TEST(AppOpenUrlTest, TrimsBlanksAndControlCharacters) {
  EXPECT_EQ(TrimUrl(L"  http://x/a b \n"), L"http://x/a b");
  EXPECT_EQ(TrimUrl(L"\x01\x1d\t http://x/\r\x1d"), L"http://x/");
  // 30 and 31 are not among the trimmed codes; 127 is kept too.
  EXPECT_EQ(TrimUrl(L"\x1e"
                    L"http://x/\x1f\x7f"),
            L"\x1e"
            L"http://x/\x1f\x7f");
  EXPECT_EQ(TrimUrl(L" \n\t "), L"");
}

// GIO finds no handler in an empty user environment, so a page goes to
// xdg-open; a stand-in on PATH appends each address it gets, one per line, to
// the returned file. Tests run OpenUrl in a fresh child so GLib's cached
// folders are those of the temporary environment.
std::string UseXdgOpenStandIn(ScopedUserEnvironment* env) {
  const std::string bin = env->dir().Sub("bin");
  mkdir(bin.c_str(), 0755);
  const std::string record = env->dir().Sub("opened");
  app_test::WriteFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record + "'\n");
  chmod((bin + "/xdg-open").c_str(), 0755);
  env->Set("PATH", bin + ":/usr/bin:/bin");
  env->Set("XDG_DATA_DIRS", env->dir().Sub("nodata"));
  env->Set("XDG_CONFIG_DIRS", env->dir().Sub("noconfig"));
  return record;
}

// What the stand-in recorded, once it has run.
std::string WaitForOpened(const std::string& record) {
  for (int i = 0; i < 500 && !app_test::FileExists(record); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return app_test::ReadFile(record);
}

TEST(AppOpenUrlTest, FallsBackToXdgOpenWithTheTrimmedAddress) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScopedUserEnvironment env;
  const std::string record = UseXdgOpenStandIn(&env);
  EXPECT_EXIT(
      {
        const bool opened = OpenUrl(L"  http://127.0.0.1:9/user-agreement/ \n");
        _exit(opened && WaitForOpened(record) == "http://127.0.0.1:9/user-agreement/\n" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Only web pages are opened: a local file or another scheme would start
// whatever program handles it.
TEST(AppOpenUrlTest, RefusesEverythingButWebAddresses) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScopedUserEnvironment env;
  const std::string record = UseXdgOpenStandIn(&env);
  env.Set("CORVANE_AGREEMENT_URL", "file:///etc/passwd");
  env.Set("CORVANE_PACKAGE_BASE_URL", "ftp://127.0.0.1:9/pkg");
  EXPECT_EXIT(
      {
        bool any_opened = OpenUrl(L"file:///bin/sh") || OpenUrl(L" javascript:alert(1)") ||
                          OpenUrl(L"ftp://127.0.0.1:9/") || OpenUrl(L"httpx://127.0.0.1:9/") ||
                          OpenUrl(L"/etc/passwd");
        // Both pages of the installer obey the rule through their overrides.
        InstallFlow flow(nullptr);
        any_opened = any_opened || flow.OpenAgreementPage() || flow.OpenOfflinePackagePage();
        // A web address in any letter case still opens, and comes last.
        const bool web = OpenUrl(L"HTTPS://127.0.0.1:9/ok");
        _exit(!any_opened && web && WaitForOpened(record) == "HTTPS://127.0.0.1:9/ok\n" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(AppProcessDeathTest, EndProcessNowExitsWithZeroAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit([] { _exit(3); });
        corvane::EndProcessNow();
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace corvane
