// The built installer with a display (a private Xvfb), driven from outside
// as a user and a window manager would: damaged skins, and closing the
// window while the package downloads.

// GoogleTest before X11: X defines None and Bool as macros.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <dirent.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "app/console_install_view.h"
#include "app/installer_constants.h"
#include "app/system/process.h"
#include "desktop_process_support.h"
#include "tests/app/app_test_support.h"
#include "tests/app/skin_layout_support.h"
#include "tests/app/x_client_support.h"

namespace {

using app_test::InstallerProcess;
using app_test::ScopedUserEnvironment;
using app_test::VendorService;

constexpr char kMainWindowTitle[] = "Corvane视频转换器 安装程序";
constexpr char kAlertTitle[] = "Corvane视频转换器安装提示";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Processes whose parent is this one.
std::set<pid_t> ChildrenOfThisProcess() {
  std::set<pid_t> children;
  const std::string me = std::to_string(getpid());
  DIR* dir = opendir("/proc");
  if (!dir) return children;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    std::ifstream status(std::string("/proc/") + entry->d_name + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("PPid:", 0) == 0) {
        if (std::stoi(line.substr(5)) == std::stoi(me)) children.insert(std::atoi(entry->d_name));
        break;
      }
    }
  }
  closedir(dir);
  return children;
}

// A process that has ended but was not reaped yet.
bool Exited(pid_t pid) {
  const std::string stat = app_test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z';
}

std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

// What the end-to-end and accessibility runs count as faults: the warnings and
// criticals as GLib's own log handler prints them, and nothing else.
TEST(ToolkitWarningsTest, FindsTheWarningsAndCriticalsGLibPrints) {
  app_test::TempDir dir;
  const std::string out = dir.Sub("log");
  const std::string script =
      "import sys\n"
      "from gi.repository import GLib\n"
      "sys.stderr.write('corvane-installer: a line of its own\\n')\n"
      "sys.stderr.flush()\n"
      "log = GLib.log_default_handler\n"
      "log('Gtk', GLib.LogLevelFlags.LEVEL_WARNING, 'a warning', None)\n"
      "log('GLib-GObject', GLib.LogLevelFlags.LEVEL_CRITICAL, 'a critical', None)\n"
      "log('Gdk', GLib.LogLevelFlags.LEVEL_MESSAGE, 'a message', None)\n";
  ASSERT_EQ(corvane::RunProcess({"/bin/sh", "-c", "/usr/bin/python3 -c \"$0\" 2>" + out, script}),
            0);
  const std::vector<std::string> found = app_test::ToolkitWarnings(app_test::ReadFile(out));
  ASSERT_EQ(found.size(), 2u) << app_test::ReadFile(out);
  EXPECT_TRUE(Contains(found[0], "Gtk-WARNING **") && Contains(found[0], "a warning"));
  EXPECT_TRUE(Contains(found[1], "GLib-GObject-CRITICAL **") && Contains(found[1], "a critical"));
}

class InstallerWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server_.Start()) GTEST_SKIP() << "no Xvfb";
    // The display's session bus, as on a desktop, in a session of its own as
    // are the services it starts. Without one GIO would autolaunch a bus
    // (dbus-launch) that outlives the installer, bound to the display.
    ASSERT_TRUE(
        bus_.Start({"setsid", "dbus-daemon", "--session", "--nofork", "--print-address=1"}));
    const std::optional<std::string> address = bus_.WaitForLine("", 10000);
    ASSERT_TRUE(address && !address->empty());
    env_.Set("DBUS_SESSION_BUS_ADDRESS", *address);
    env_.Set("DISPLAY", server_.display());
    env_.Set("GDK_BACKEND", "x11");
    env_.Set("WAYLAND_DISPLAY", "");
    env_.Set("CORVANE_DEMO_PACKAGE_COUNTER", env_.dir().Sub("package-runs"));
    env_.Set("CORVANE_DEMO_PRODUCT_LOG", env_.dir().Sub("product.log"));
    env_.Set("CORVANE_PRODUCT_PROCESS_NAME", "corvane-iw-" + std::to_string(getpid()));
    x_ = std::make_unique<app_test::XClient>(server_.display());
    ASSERT_TRUE(x_->ok());
  }

  int ExitStatus(InstallerProcess& installer, int seconds = 30) {
    EXPECT_TRUE(installer.Wait(seconds)) << installer.errors();
    EXPECT_TRUE(WIFEXITED(installer.status())) << "ended by a signal: " << installer.status();
    return WIFEXITED(installer.status()) ? WEXITSTATUS(installer.status()) : -1;
  }

  // A copy of the built installer whose THEME section holds `theme`.
  std::string InstallerWithTheme(const std::string& name, const std::string& theme) {
    const std::string copy = env_.dir().Sub(name);
    const std::string section = env_.dir().Sub(name + ".theme");
    app_test::WriteFile(copy, app_test::ReadFile(app_test::InstallerPath()));
    chmod(copy.c_str(), 0755);
    app_test::WriteFile(section, theme);
    EXPECT_EQ(corvane::RunProcess(
                  {"/usr/bin/objcopy", "--update-section", ".rsrc.THEME=" + section, copy}),
              0);
    return copy;
  }

  std::string PackageFolder() const { return env_.data_home() + "/corvane/Files"; }

  ui::XServer server_;
  ui::ChildProcess bus_;
  ScopedUserEnvironment env_;
  std::unique_ptr<app_test::XClient> x_;
  std::string install_dir_ = env_.dir().Sub("apps/corvane");
};

TEST_F(InstallerWindowTest, DamagedSkinShowsABoxEndsWithOneAndInstallsNothing) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  // The built skins with the failed page renamed away: a skin missing a control.
  const std::string built = env_.dir().Sub("theme.zip");
  app_test::WriteFile(built, app_test::BuiltThemeArchive());
  const std::string lacking = env_.dir().Sub("lacking.zip");
  ASSERT_EQ(
      corvane::RunProcess({"/usr/bin/python3", "-c",
                           "import sys, zipfile\n"
                           "src = zipfile.ZipFile(sys.argv[1])\n"
                           "dst = zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED)\n"
                           "for item in src.infolist():\n"
                           "    data = src.read(item)\n"
                           "    if item.filename.lower().endswith('basic/basic.xml'):\n"
                           "        data = data.replace(b'\"installfaildpage\"', b'\"gone\"')\n"
                           "    dst.writestr(item, data)\n"
                           "dst.close()\n",
                           built, lacking}),
      0);
  const std::string lacking_zip = app_test::ReadFile(lacking);
  ASSERT_FALSE(lacking_zip.empty());
  const std::string empty_zip = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  std::string garbage(4096, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 131 + 7) % 251);

  const std::vector<std::pair<std::string, std::string>> cases = {
      {"garbage", garbage}, {"empty-zip", empty_zip}, {"lacking-page", lacking_zip}};
  for (const auto& [name, theme] : cases) {
    SCOPED_TRACE(name);
    const std::string program = InstallerWithTheme("installer-" + name, theme);
    InstallerProcess installer({"installPath:" + install_dir_}, /*keep_display=*/true, program);
    ASSERT_TRUE(installer.started());
    const Window box = x_->WaitForWindow(kAlertTitle, 20000);
    ASSERT_NE(box, 0u) << installer.errors();
    EXPECT_EQ(x_->WaitForWindow(kMainWindowTitle, 0), 0u);
    EXPECT_FALSE(installer.Wait(0));
    // The user answers the box.
    const app_test::XRect r = x_->Geometry(box);
    x_->Click(r.x + r.width / 2, r.y + 8);
    x_->Key(XK_Return);
    EXPECT_EQ(ExitStatus(installer), corvane::kExitFailed);
    EXPECT_TRUE(Contains(installer.errors(), "corvane-installer: ")) << installer.errors();
    // Said in its own words: nothing in GLib's warning form, which counts as a fault.
    EXPECT_TRUE(app_test::ToolkitWarnings(installer.errors()).empty()) << installer.errors();
    EXPECT_FALSE(app_test::FileExists(install_dir_));
    EXPECT_TRUE(FolderEntries(PackageFolder()).empty());
  }
  EXPECT_EQ(app_test::CountContaining(service.AccessLines(), "downloadPackage"), 0u);
  EXPECT_FALSE(app_test::FileExists(env_.dir().Sub("package-runs")));
}

TEST_F(InstallerWindowTest, ClosingTheWindowDuringTheDownloadLeavesNoPartialFileNorProcess) {
  // The package arrives slowly, so the close falls in the middle of it.
  VendorService service({"--package", app_test::DemoPackagePath(), "--drip", "4096"});
  service.UseForInstaller(&env_);
  const auto button = app_test::MainWindowControlCenter(L"btn_startinstall");
  ASSERT_TRUE(button);
  // Whatever the installer leaves running becomes a child of this process.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  const std::set<pid_t> before = ChildrenOfThisProcess();

  // The HTTP library's pass writes a named partial file; the desktop's
  // downloader (GIO with gvfs, where the machine has it) an unnamed one.
  for (const bool desktop_route : {false, true}) {
    SCOPED_TRACE(desktop_route ? "desktop downloader" : "HTTP library");
    env_.Set("GIO_USE_VFS", "local");
    if (desktop_route) unsetenv("GIO_USE_VFS");
    const size_t requests = app_test::CountContaining(service.AccessLines(), "downloadPackage");
    InstallerProcess installer({"installPath:" + install_dir_}, /*keep_display=*/true);
    const Window window = x_->WaitForWindow(kMainWindowTitle, 20000);
    ASSERT_NE(window, 0u) << installer.errors();
    const app_test::XRect r = x_->Geometry(window);
    x_->Click(r.x + button->first, r.y + button->second);
    // The package is on its way once the service answers and drips.
    const std::string partial = PackageFolder() + "/" + corvane::kPackageFileName + ".part";
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    struct stat st = {};
    auto downloading = [&] {
      if (app_test::CountContaining(service.AccessLines(), "downloadPackage") == requests) {
        return false;
      }
      return desktop_route || (stat(partial.c_str(), &st) == 0 && st.st_size > 0);
    };
    while (!downloading() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(downloading()) << installer.errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    x_->RequestClose(window);
    EXPECT_EQ(ExitStatus(installer, 10), 0);
    EXPECT_EQ(FolderEntries(PackageFolder()), std::vector<std::string>{});
    EXPECT_FALSE(app_test::FileExists(install_dir_));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::set<pid_t> left = ChildrenOfThisProcess();
    for (pid_t pid : before) left.erase(pid);
    for (pid_t pid : std::set<pid_t>(left)) {
      if (getsid(pid) == getsid(bus_.pid()) || Exited(pid)) left.erase(pid);
    }
    for (pid_t pid : left) {
      ADD_FAILURE() << "left running: "
                    << app_test::ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
      kill(pid, SIGKILL);
    }
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}

}  // namespace
