// How the built installer chooses between its window and the unattended
// console run, and what its exit status and messages tell.

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "app/installer_constants.h"
#include "app/system/process.h"
#include "app/system/single_instance.h"
#include "desktop_process_support.h"
#include "tests/app/app_test_support.h"

namespace {

using app_test::InstallerProcess;
using app_test::ScopedUserEnvironment;
using app_test::VendorService;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A display number nobody serves: no socket and no lock file.
std::string UnusedDisplay() {
  for (int n = 517; n < 1000; ++n) {
    const std::string number = std::to_string(n);
    if (!app_test::FileExists("/tmp/.X11-unix/X" + number) &&
        !app_test::FileExists("/tmp/.X" + number + "-lock")) {
      return ":" + number;
    }
  }
  return ":999";
}

// An X server in name only: it takes each connection and closes it at once.
class ClosingDisplay {
 public:
  explicit ClosingDisplay(const std::string& display) {
    // The abstract socket an X client tries first; it leaves no file behind.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = "/tmp/.X11-unix/X" + display.substr(1);
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd_, 8) != 0) {
      return;
    }
    thread_ = std::thread([fd = fd_] {
      int client;
      while ((client = accept(fd, nullptr, nullptr)) >= 0) close(client);
    });
  }
  ~ClosingDisplay() {
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return thread_.joinable(); }

 private:
  int fd_ = -1;
  std::thread thread_;
};

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
        "native window created", "controls built", "main window built", "main window shown",
        "first layout done", "first frame painted", "HTTP library started"}) {
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

// A display that is configured but cannot be opened is not consent to an
// unattended installation: it is an error, and nothing is fetched or stored.
TEST_F(InstallerStartupTest, ConfiguredDisplayThatCannotBeOpenedIsAnError) {
  const std::string no_cookie = env_.dir().Sub("empty-xauthority");
  app_test::WriteFile(no_cookie, "");
  env_.Set("XAUTHORITY", no_cookie);
  env_.Set("WAYLAND_DISPLAY", "");
  env_.Set("GDK_BACKEND", "x11");

  // A server with access control that this client has no cookie for.
  const std::string cookies = env_.dir().Sub("server-xauthority");
  ASSERT_EQ(corvane::RunProcess({"/usr/bin/xauth", "-q", "-f", cookies, "add", ":0",
                                 "MIT-MAGIC-COOKIE-1", "00112233445566778899aabbccddeeff"}),
            0);
  ui::XServer refusing;
  ASSERT_TRUE(refusing.Start("640x480x24", {"-auth", cookies}));
  const std::string nobody = UnusedDisplay();
  const std::string closing_display = ":" + std::to_string(std::stoi(nobody.substr(1)) + 1);
  ClosingDisplay closing(closing_display);
  ASSERT_TRUE(closing.ok());

  for (const std::string& display : {nobody, refusing.display(), closing_display}) {
    SCOPED_TRACE(display);
    env_.Set("DISPLAY", display);
    InstallerProcess installer({install_arg_}, /*keep_display=*/true);
    EXPECT_EQ(ExitStatus(installer), 1);
    EXPECT_TRUE(Contains(installer.errors(), "cannot open the display " + display))
        << installer.errors();
    EXPECT_TRUE(Contains(installer.errors(), "--silent")) << installer.errors();
    EXPECT_EQ(installer.output(), "");
  }
  EXPECT_TRUE(service_.AccessLines().empty());
  EXPECT_TRUE(service_.StatisticsLines().empty());
  EXPECT_FALSE(app_test::FileExists(env_.dir().Sub("package-runs")));
  EXPECT_FALSE(app_test::FileExists(env_.config_home() + "/corvane/AppInfo.ini"));
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
