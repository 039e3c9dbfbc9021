// How the built installer chooses between its window and the unattended
// console run, and what its exit status and messages tell.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "app/installer_constants.h"
#include "app/system/single_instance.h"
#include "tests/app/app_test_support.h"

namespace {

using app_test::InstallerProcess;
using app_test::ScopedUserEnvironment;
using app_test::VendorService;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class InstallerStartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("CORVANE_DEMO_PACKAGE_COUNTER", env_.dir().Sub("package-runs"));
    env_.Set("CORVANE_DEMO_PRODUCT_LOG", env_.dir().Sub("product.log"));
    env_.Set("CORVANE_PRODUCT_PROCESS_NAME", "corvane-st-" + std::to_string(getpid()));
    service_.UseForInstaller(&env_);
  }
  bool HasDisplay() const {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
  }
  int ExitStatus(InstallerProcess& installer) {
    EXPECT_TRUE(installer.Wait(60)) << installer.output();
    EXPECT_TRUE(WIFEXITED(installer.status()));
    return WEXITSTATUS(installer.status());
  }

  ScopedUserEnvironment env_;
  VendorService service_{{"--package", app_test::DemoPackagePath()}};
  std::string install_arg_ = "installPath:" + env_.dir().Sub("apps/corvane");
};

TEST_F(InstallerStartupTest, HelpDescribesTheUnattendedRunAndItsStatuses) {
  InstallerProcess installer({"--help"});
  EXPECT_EQ(ExitStatus(installer), 0);
  const std::string help = installer.output();
  for (const char* part :
       {"--silent", "0 installed", "1 failed", "2 another installer", "installPath:"}) {
    EXPECT_TRUE(Contains(help, part)) << part << "\n" << help;
  }
  // Nothing was started.
  EXPECT_TRUE(service_.StatisticsLines().empty());
}

TEST_F(InstallerStartupTest, SilentRunsOnTheConsoleEvenWithADisplay) {
  if (!HasDisplay()) GTEST_SKIP() << "needs a display";
  InstallerProcess installer({"--silent", install_arg_}, /*keep_display=*/true);
  EXPECT_EQ(ExitStatus(installer), 0);
  EXPECT_TRUE(Contains(installer.output(), "安装成功")) << installer.output();
}

TEST_F(InstallerStartupTest, WithADisplayTheWindowWaitsForTheUser) {
  if (!HasDisplay()) GTEST_SKIP() << "needs a display";
  InstallerProcess installer({install_arg_}, /*keep_display=*/true);
  ASSERT_TRUE(installer.started());
  // The start record arrives once the window is up; then nothing installs
  // until somebody clicks.
  ASSERT_TRUE(service_.WaitForStatistics(1)) << installer.errors();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(installer.Wait(0)) << installer.errors();
  EXPECT_EQ(service_.StatisticsLines().size(), 1u);
  EXPECT_EQ(installer.output(), "");
  kill(installer.pid(), SIGTERM);
}

// The windowed start keeps its order of observable effects (the single
// instance first, the start record before the window) while the HTTP library
// and the uploads wait for the window's first frame; the start record is
// still the first to arrive. The phase stamps tell the order.
TEST_F(InstallerStartupTest, WindowedStartUploadsAfterTheFirstFrameInOrder) {
  if (!HasDisplay()) GTEST_SKIP() << "needs a display";
  env_.Set("CORVANE_STARTUP_TIMING", "1");
  InstallerProcess installer({install_arg_}, /*keep_display=*/true);
  ASSERT_TRUE(installer.started());
  ASSERT_TRUE(service_.WaitForStatistics(1)) << installer.errors();
  kill(installer.pid(), SIGTERM);
  installer.Wait(10);
  const std::string stamps = installer.errors();
  size_t previous = 0;
  for (const char* phase :
       {"startup ", "toolkit initialised", "single instance held", "worker threads started",
        "common fields collected", "system DPI read", "skin opened", "AppStart reported",
        "main window built", "main window shown", "first frame painted", "HTTP library started"}) {
    const size_t at = stamps.find(phase, previous);
    ASSERT_NE(at, std::string::npos) << phase << " missing or out of order in\n" << stamps;
    previous = at;
  }
  EXPECT_NE(service_.StatisticsLines()[0].find("AppStart"), std::string::npos);
}

// Without the variable the installer prints no stamps.
TEST_F(InstallerStartupTest, SilentRunPrintsNoStampsUnlessAsked) {
  if (!HasDisplay()) GTEST_SKIP() << "needs a display";
  InstallerProcess installer({"--silent", install_arg_}, /*keep_display=*/true);
  EXPECT_EQ(ExitStatus(installer), 0);
  EXPECT_FALSE(Contains(installer.errors(), "startup ")) << installer.errors();
  EXPECT_NE(service_.StatisticsLines().at(0).find("AppStart"), std::string::npos);
}

TEST_F(InstallerStartupTest, SecondInstanceSaysSoAndExitsWithTwo) {
  corvane::SingleInstanceLock first(corvane::kSingleInstanceName);
  ASSERT_TRUE(first.TryAcquire());
  InstallerProcess installer({"--silent", install_arg_}, /*keep_display=*/true);
  EXPECT_EQ(ExitStatus(installer), 2);
  EXPECT_TRUE(Contains(installer.errors(), "another installer is already running"))
      << installer.errors();
  EXPECT_TRUE(service_.StatisticsLines().empty());
  EXPECT_FALSE(app_test::FileExists(env_.dir().Sub("package-runs")));
}

TEST_F(InstallerStartupTest, FailedUnattendedRunExitsWithOne) {
  VendorService failing(
      {"--package", app_test::DemoPackagePath(), "--fail-first", "1000", "--fail-status", "500"});
  failing.UseForInstaller(&env_);
  InstallerProcess installer({install_arg_});
  EXPECT_EQ(ExitStatus(installer), 1);
  EXPECT_TRUE(Contains(installer.output(), "安装失败")) << installer.output();
}

}  // namespace
