// The built installer (console view) against a hostile vendor service and an
// odd machine: every case runs the real program in temporary XDG folders.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include <glib.h>
#include <gtest/gtest.h>

#include "tests/app/app_test_support.h"

namespace {

using app_test::InstallerProcess;
using app_test::ScopedUserEnvironment;
using app_test::VendorService;

constexpr int kRunSeconds = 60;
constexpr char kStoredId[] = "0123456789ABCDEF0123456789ABCDEF";

bool Contains(const std::string& text, const std::string& needle) {
  return text.find(needle) != std::string::npos;
}

// Files in `folder` (names), or empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
  if (!dir) return names;
  while (const char* name = g_dir_read_name(dir)) names.push_back(name);
  g_dir_close(dir);
  return names;
}

class InstallerHardeningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("CORVANE_DEMO_PACKAGE_COUNTER", env_.dir().Sub("package-runs"));
    env_.Set("CORVANE_DEMO_PRODUCT_LOG", env_.dir().Sub("product.log"));
    install_dir_ = env_.dir().Sub("apps/corvane");
    // A product another test starts meanwhile must not look like ours.
    env_.Set("CORVANE_PRODUCT_PROCESS_NAME", product_name_);
  }

  std::string settings_path() const { return env_.config_home() + "/corvane/AppInfo.ini"; }
  std::string package_folder() const { return env_.data_home() + "/corvane/Files"; }
  bool PackageRan() const { return app_test::FileExists(env_.dir().Sub("package-runs")); }

  // Runs the installer to its end, checks its exit status (0 installed, 1
  // failed) and returns what it printed.
  std::string Run(std::vector<std::string> args = {}, int expected_status = 0) {
    if (args.empty()) args.push_back("installPath:" + install_dir_);
    InstallerProcess installer(args);
    EXPECT_TRUE(installer.started());
    const bool ended = installer.Wait(kRunSeconds);
    EXPECT_TRUE(ended) << "the installer did not finish: " << installer.output();
    if (ended) {
      EXPECT_TRUE(WIFEXITED(installer.status()));
      EXPECT_EQ(WEXITSTATUS(installer.status()), expected_status);
    }
    return installer.output();
  }

  ScopedUserEnvironment env_;
  std::string install_dir_;
  // At most 15 characters, the part of a name a zombie process keeps.
  std::string product_name_ = "cv-" + std::to_string(getpid() % 1000000) + ".exe";
};

// One stray line or a byte-order mark used to make the whole store
// unreadable, so the machine identity was replaced and foreign keys lost.
TEST_F(InstallerHardeningTest, SettingsFileWithOddLinesKeepsIdentityAndForeignKeys) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  ASSERT_TRUE(g_mkdir_with_parents((env_.config_home() + "/corvane").c_str(), 0700) == 0);
  const std::string body = std::string("[AppInfo]\nUniqueId=") + kStoredId +
                           "\nForeignKey=kept\n[OtherProgram]\nsetting=1\n";
  const std::vector<std::string> variants = {
      "\xEF\xBB\xBF" + body,
      "# note\n" + body + "a stray line without an equals sign\n",
      "\xEF\xBB\xBF" + body + "[broken group\nhidden=1\n\xFF\xFE=x\n",
  };
  for (const std::string& content : variants) {
    app_test::WriteFile(settings_path(), content);
    const std::string output = Run();
    EXPECT_TRUE(Contains(output, "安装成功")) << output;
    const std::string after = app_test::ReadFile(settings_path());
    EXPECT_TRUE(Contains(after, std::string("UniqueId=") + kStoredId)) << after;
    EXPECT_TRUE(Contains(after, "ForeignKey=kept")) << after;
    EXPECT_TRUE(Contains(after, "[OtherProgram]\nsetting=1")) << after;
    // The installation stored its channel beside them.
    EXPECT_TRUE(Contains(after, "Channel=")) << after;
    EXPECT_FALSE(Contains(after, "hidden=1")) << after;
  }
  // The records carried the kept identity.
  ASSERT_TRUE(service.WaitForStatistics(1));
  for (const std::string& line : service.StatisticsLines()) {
    EXPECT_TRUE(Contains(line, std::string("\"imei\": \"") + kStoredId + "\"")) << line;
  }
}

// A settings file over 1 MiB (64 MiB of comments after "UniqueId") used to
// read as empty: the machine got a new identity on every run.
TEST_F(InstallerHardeningTest, LargeSettingsFileKeepsTheIdentity) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  ASSERT_TRUE(g_mkdir_with_parents((env_.config_home() + "/corvane").c_str(), 0700) == 0);
  const std::string comments = "# " + std::string(61, 'c') + "\n";
  {
    std::ofstream out(settings_path(), std::ios::binary);
    out << "[AppInfo]\nUniqueId=" << kStoredId << "\n";
    std::string block;
    for (int i = 0; i < 1024; ++i) block += comments;
    for (int i = 0; i < 1024; ++i) out << block;
    out << "[OtherProgram]\nsetting=1\n";
  }
  const std::string output = Run();
  EXPECT_TRUE(Contains(output, "安装成功")) << output;
  ASSERT_TRUE(service.WaitForStatistics(1));
  for (const std::string& line : service.StatisticsLines()) {
    EXPECT_TRUE(Contains(line, std::string("\"imei\": \"") + kStoredId + "\"")) << line;
  }
  // The channel was stored beside the identity; nothing of the file was lost.
  std::ifstream in(settings_path(), std::ios::binary);
  std::string line;
  size_t comment_lines = 0;
  std::vector<std::string> others;
  while (std::getline(in, line)) {
    if (line + "\n" == comments) {
      ++comment_lines;
    } else {
      others.push_back(line);
    }
  }
  EXPECT_EQ(comment_lines, 1024u * 1024u);
  ASSERT_EQ(others.size(), 5u);
  EXPECT_EQ(others[0], "[AppInfo]");
  EXPECT_TRUE(others[1].rfind("Channel=", 0) == 0) << others[1];
  EXPECT_EQ(others[2], std::string("UniqueId=") + kStoredId);
  EXPECT_EQ(others[3], "[OtherProgram]");
  EXPECT_EQ(others[4], "setting=1");
}

// A named pipe at the settings path used to block start-up for good.
TEST_F(InstallerHardeningTest, NamedPipeAtTheSettingsPathDoesNotBlock) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  ASSERT_TRUE(g_mkdir_with_parents((env_.config_home() + "/corvane").c_str(), 0700) == 0);
  ASSERT_EQ(mkfifo(settings_path().c_str(), 0600), 0);
  const std::string output = Run();
  EXPECT_TRUE(Contains(output, "安装成功")) << output;
  // The pipe is not the installer's to replace.
  struct stat st;
  ASSERT_EQ(lstat(settings_path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// An exited, unreaped product process used to count as running.
TEST_F(InstallerHardeningTest, ExitedButUnreapedProductIsNotRunning) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  const std::string product = env_.dir().Sub(product_name_);
  app_test::WriteFile(product, app_test::ReadFile(app_test::DemoProductPath()));
  chmod(product.c_str(), 0755);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(product.c_str(), product.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Not reaped: it stays a zombie until the end of the test.
  std::string state;
  for (int i = 0; i < 500; ++i) {
    std::string stat;
    std::getline(std::ifstream("/proc/" + std::to_string(child) + "/stat"), stat);
    const size_t close = stat.rfind(')');
    state = close == std::string::npos ? "" : stat.substr(close + 2, 1);
    if (state == "Z") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(state, "Z");
  const std::string output = Run();
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_FALSE(Contains(output, "User Cancel Install")) << output;
  EXPECT_TRUE(Contains(output, "安装成功")) << output;
}

// Only http and https are fetched: an endpoint override naming a local file
// used to be copied by the system downloader and run as the package, and a
// redirect to ftp:// was followed by the HTTP transfer.
TEST_F(InstallerHardeningTest, OtherSchemesFailEveryPassAndRunNothing) {
  VendorService statistics;
  statistics.UseForInstaller(&env_);
  // The address gets "&channel=..." appended; a file of exactly that name
  // is what a file:// override would fetch.
  const std::string local = env_.dir().Sub("pkg");
  for (const char* suffix : {"&channel=default", "&channel=default&donwloadtype=curl"}) {
    app_test::WriteFile(local + suffix, app_test::ReadFile(app_test::DemoPackagePath()));
    chmod((local + suffix).c_str(), 0755);
  }
  env_.Set("CORVANE_PACKAGE_BASE_URL", "file://" + local);
  std::string output = Run({"installPath:" + install_dir_, "channel:default"}, 1);
  EXPECT_TRUE(Contains(output, "安装失败: Download Faild errorCode:1\n")) << output;
  EXPECT_FALSE(PackageRan());
  EXPECT_TRUE(FolderEntries(package_folder()).empty());

  VendorService redirecting(
      {"--package", app_test::DemoPackagePath(), "--redirect-to", "ftp://127.0.0.1:1/pkg"});
  redirecting.UseForInstaller(&env_);
  output = Run({}, 1);
  EXPECT_TRUE(Contains(output, "安装失败: Download Faild errorCode:1\n")) << output;
  EXPECT_EQ(app_test::CountContaining(redirecting.AccessLines(), "\"status\": 302"), 5u);
  EXPECT_FALSE(PackageRan());
  EXPECT_TRUE(FolderEntries(package_folder()).empty());
}

// SIGTERM or SIGINT in the middle of a download used to leave a partial,
// executable package file behind.
TEST_F(InstallerHardeningTest, TerminationDuringTheDownloadLeavesNoPackageFile) {
  const std::string package = env_.dir().Sub("big-package");
  app_test::WriteRandomFile(package, 4 * 1024 * 1024);
  VendorService service({"--package", package, "--drip", "200000"});
  service.UseForInstaller(&env_);
  for (int signal_number : {SIGTERM, SIGINT}) {
    InstallerProcess installer({"installPath:" + install_dir_});
    ASSERT_TRUE(installer.started());
    // Wait until part of the package has arrived.
    bool receiving = false;
    for (int i = 0; i < 1000 && !receiving; ++i) {
      for (const std::string& name : FolderEntries(package_folder())) {
        struct stat st;
        receiving |= stat((package_folder() + "/" + name).c_str(), &st) == 0 && st.st_size > 0;
      }
      if (!receiving) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(receiving);
    kill(installer.pid(), signal_number);
    ASSERT_TRUE(installer.Wait(10)) << "the installer did not end promptly";
    EXPECT_TRUE(WIFSIGNALED(installer.status()));
    EXPECT_EQ(WTERMSIG(installer.status()), signal_number);
    EXPECT_TRUE(FolderEntries(package_folder()).empty()) << signal_number;
  }
}

// A declared length far beyond the free space used to fill the disk on each
// pass before failing; now each pass fails at once, writing nothing.
TEST_F(InstallerHardeningTest, DeclaredLengthBeyondFreeSpaceFailsAsDiskFull) {
  VendorService service(
      {"--package", app_test::DemoPackagePath(), "--declare-length", std::to_string(1LL << 60)});
  service.UseForInstaller(&env_);
  const std::string output = Run({}, 1);
  EXPECT_TRUE(Contains(output, "安装失败: Download Faild errorCode:23\n")) << output;
  EXPECT_EQ(app_test::CountContaining(service.AccessLines(), "\"declared\": "), 5u);
  EXPECT_FALSE(PackageRan());
  EXPECT_TRUE(FolderEntries(package_folder()).empty());
}

// An install path (argument) and a data folder (environment) whose names
// are not UTF-8 used to be changed silently into other folders.
TEST_F(InstallerHardeningTest, NonUtf8PathsReachTheFileSystemUnchanged) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  const std::string latin1_data = env_.dir().Sub(
      "donn\xE9"
      "es");
  ASSERT_EQ(mkdir(latin1_data.c_str(), 0700), 0);
  env_.Set("XDG_DATA_HOME", latin1_data);
  const std::string latin1_install = env_.dir().Sub("Programme/caf\xE9 \xC0\xAF");
  const std::string output = Run({"installPath:" + latin1_install});
  EXPECT_TRUE(Contains(output, "安装成功")) << output;
  EXPECT_EQ(app_test::ReadFile(latin1_install + "/corvane.exe"),
            app_test::ReadFile(app_test::DemoProductPath()));
  EXPECT_TRUE(app_test::FileExists(latin1_data + "/corvane/Files/corvaneInstaller.exe"));
  // Nothing was created under a changed name.
  EXPECT_EQ(FolderEntries(env_.dir().Sub("Programme")),
            (std::vector<std::string>{"caf\xE9 \xC0\xAF"}));
  // The product was started from the folder it was installed to.
  const std::vector<std::vector<std::string>> starts =
      app_test::WaitForStartRecords(env_.dir().Sub("product.log"));
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0][1], latin1_install + "/corvane.exe");
}

}  // namespace
