// The built Windows installer, unattended, under Wine against the reference
// vendor service: the same scenarios as the Linux installer's, with the real
// registry, the real named mutex and real processes. The suite runs its
// cases one at a time (they share the user's registry key, the package
// folder and the mutex).
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "app/system/folders.h"
#include "app/system/os_info.h"
#include "app/system/win/wide_text.h"
#include "tests/app/win/win_test_support.h"

namespace {

using corvane::Utf16ToUtf8;
using corvane::Utf8ToUtf16;
using win_test::ChildProcess;
using win_test::ScopedEnv;
using win_test::VendorService;

constexpr int kRunSeconds = 120;
constexpr wchar_t kAppInfoKey[] = L"Software\\corvane\\AppInfo";
const std::string kNonBmp = "\xF0\x9F\x98\x80\xF0\xA0\x80\x8B";

std::string Built(const std::string& relative) {
  return win_test::ProgramFolder() + "\\..\\" + relative;
}

std::string RegistryValue(const wchar_t* name) {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CURRENT_USER, kAppInfoKey, name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return "<missing>";
  }
  return Utf16ToUtf8(buffer);
}

// The string member `key` of a one-line JSON object as json.dumps writes it.
std::string JsonString(const std::string& line, const std::string& key) {
  const std::string start = "\"" + key + "\": \"";
  size_t at = line.find(start);
  if (at == std::string::npos) return "<missing>";
  std::string out;
  for (at += start.size(); at < line.size() && line[at] != '"'; ++at) {
    if (line[at] != '\\' || at + 1 >= line.size()) {
      out += line[at];
      continue;
    }
    const char e = line[++at];
    if (e == 'n') {
      out += '\n';
    } else if (e == 't') {
      out += '\t';
    } else if (e == 'u' && at + 4 < line.size()) {
      const unsigned code = std::stoul(line.substr(at + 1, 4), nullptr, 16);
      at += 4;
      out += Utf16ToUtf8(std::wstring(1, static_cast<wchar_t>(code)));
    } else {
      out += e;
    }
  }
  return out;
}

class WinInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kAppInfoKey);
    files_ = corvane::JoinPath(corvane::JoinPath(corvane::AppDataFolder(), "corvane"), "Files");
    RemoveFolder(files_);
    install_dir_ = dir_.Sub("apps\\corvane");
    counter_ = std::make_unique<ScopedEnv>("CORVANE_DEMO_PACKAGE_COUNTER", dir_.Sub("runs"));
    package_log_ = std::make_unique<ScopedEnv>("CORVANE_DEMO_PACKAGE_LOG", dir_.Sub("pkg.log"));
    product_log_ = std::make_unique<ScopedEnv>("CORVANE_DEMO_PRODUCT_LOG", dir_.Sub("prod.log"));
  }
  void TearDown() override { RemoveFolder(files_); }

  static void RemoveFolder(const std::string& folder) { win_test::RemoveTree(folder); }

  std::unique_ptr<VendorService> Serve(std::vector<std::string> options = {}) {
    options.insert(options.begin(),
                   {"--windows-package", Built("tools\\demo_package\\corvaneInstaller.exe")});
    auto service = std::make_unique<VendorService>(options);
    EXPECT_TRUE(service->ok());
    endpoints_.clear();
    endpoints_.push_back(
        std::make_unique<ScopedEnv>("CORVANE_PACKAGE_BASE_URL", service->base_url()));
    endpoints_.push_back(
        std::make_unique<ScopedEnv>("CORVANE_STATISTICS_URL", service->statistics_url()));
    return service;
  }

  // Runs the installer to its end and checks its exit status.
  std::string Run(std::vector<std::string> args, unsigned long expected_status,
                  const std::string& installer_file = Built("app\\corvane-installer.exe")) {
    args.insert(args.begin(), {installer_file, "--silent"});
    ChildProcess installer(args);
    EXPECT_TRUE(installer.started());
    const bool ended = installer.Wait(kRunSeconds);
    EXPECT_TRUE(ended) << installer.output();
    if (ended) {
      EXPECT_EQ(installer.exit_code(), expected_status) << installer.output() << installer.errors();
    }
    return installer.output() + installer.errors();
  }
  std::string Install(unsigned long expected_status = 0,
                      const std::string& installer = Built("app\\corvane-installer.exe")) {
    return Run({"installPath:" + install_dir_, "channel:demo"}, expected_status, installer);
  }

  int PackageRuns() const { return std::atoi(win_test::ReadFile(dir_.Sub("runs")).c_str()); }
  std::vector<std::string> FilesLeft() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Utf8ToUtf16(files_ + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      const std::string name = Utf16ToUtf8(data.cFileName);
      if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
  }
  std::string PackagePath() const { return corvane::JoinPath(files_, "corvaneInstaller.exe"); }

  // The record texts of the events the service received, by event.
  static std::vector<std::string> RecordTexts(const VendorService& service) {
    std::vector<std::string> texts;
    for (const std::string& line : service.StatisticsLines())
      texts.push_back(JsonString(line, "text"));
    return texts;
  }

  win_test::TempDir dir_;
  std::string files_;
  std::string install_dir_;
  std::unique_ptr<ScopedEnv> counter_, package_log_, product_log_;
  std::vector<std::unique_ptr<ScopedEnv>> endpoints_;
};

constexpr char kNotChecked[] = "the package's authenticity is not checked";

bool Contains(const std::string& text, const std::string& needle) {
  return text.find(needle) != std::string::npos;
}

TEST_F(WinInstallerTest, InstallsWithExactRecordsAndRegistryValues) {
  auto service = Serve();
  const std::string output = Install(0);
  EXPECT_TRUE(Contains(output, "安装成功")) << output;
  EXPECT_FALSE(Contains(output, kNotChecked)) << output;
  EXPECT_TRUE(win_test::FileExists(install_dir_ + "\\corvane.exe"));
  // The product was started once the package had installed it.
  bool started = false;
  for (int i = 0; i < 50 && !started; ++i, Sleep(100)) {
    started = Contains(win_test::ReadFile(dir_.Sub("prod.log")), "corvane.exe");
  }
  EXPECT_TRUE(started);

  const std::string id = RegistryValue(L"UniqueId");
  EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{32}"))) << id;
  EXPECT_EQ(RegistryValue(L"Channel"), "demo");

  // Records reach the service while the installation goes on; the last may
  // be cut off by the end of the process, as a closed window cuts it.
  std::vector<std::string> texts;
  for (int i = 0; i < 100 && texts.size() < 4; ++i, Sleep(100)) texts = RecordTexts(*service);
  ASSERT_GE(texts.size(), 4u);
  const std::string head =
      "\"imei\":\"" + id + "\",\"appver\":\"1.0.0.0\",\"appName\":\"CorvaneOnlineInstaller\"";
  EXPECT_EQ(texts[0], "{\"eventId\":\"AppStart\"," + head +
                          ",\"data\":{\"Dpi\":\"96\",\"FirstStart\":\"true\",\"Scale\":\"100\"}}");
  EXPECT_EQ(texts[1], "{\"eventId\":\"OnClick\"," + head + ",\"data\":{\"ClickSrc\":\"Install\"}}");
  const std::string size =
      std::to_string(win_test::ReadFile(Built("tools\\demo_package\\corvaneInstaller.exe")).size());
  std::smatch cost;
  ASSERT_TRUE(std::regex_search(texts[2], cost, std::regex("\"cost\":\"([0-9]+)\""))) << texts[2];
  EXPECT_EQ(texts[2], "{\"eventId\":\"DownloadTimeCost\"," + head + ",\"data\":{\"cost\":\"" +
                          cost[1].str() + "\",\"fileSize\":\"" + size +
                          "\",\"ret\":\"0\",\"retryTime\":\"0\"}}");
  ASSERT_TRUE(std::regex_search(texts[3], cost, std::regex("\"cost\":\"([0-9]+)\""))) << texts[3];
  EXPECT_EQ(texts[3], "{\"eventId\":\"InstallTimeCost\"," + head + ",\"data\":{\"cost\":\"" +
                          cost[1].str() + "\",\"ret\":\"0\",\"retryTime\":\"0\"}}");
  if (texts.size() > 4) {
    EXPECT_EQ(texts[4], "{\"eventId\":\"InstallResultReport\"," + head +
                            ",\"data\":{\"result\":\"success\"}}");
  }
  // The common fields travel as cookies, in name order.
  const std::string cookies = JsonString(service->StatisticsLines()[0], "cookie_header");
  EXPECT_TRUE(std::regex_match(
      cookies,
      std::regex("appname=CorvaneOnlineInstaller;appver=1\\.0\\.0\\.0;channel=[^;]+;imei=" + id +
                 ";os=windows;system=" + corvane::ReadOsName() + " 64位;")))
      << cookies;
  // The moniker delivered; the package file stays for a later run to replace.
  EXPECT_EQ(FilesLeft(), std::vector<std::string>{"corvaneInstaller.exe"});
}

TEST_F(WinInstallerTest, KeepsAStoredIdentityAndSurvivesAHostileRegistry) {
  auto service = Serve();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kAppInfoKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t id[] = L"0123456789ABCDEF0123456789ABCDEF";
  RegSetValueExW(key, L"UniqueId", 0, REG_SZ, reinterpret_cast<const BYTE*>(id), sizeof(id));
  // A number where the channel text belongs.
  const DWORD number = 7;
  RegSetValueExW(key, L"Channel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                 sizeof(number));
  RegCloseKey(key);
  EXPECT_TRUE(Contains(Run({"installPath:" + install_dir_, "channel:_upgrade"}, 0), "安装成功"));
  EXPECT_EQ(RegistryValue(L"UniqueId"), Utf16ToUtf8(id));
  // "_upgrade" found no stored channel text and stays; success stores it.
  EXPECT_EQ(RegistryValue(L"Channel"), "_upgrade");
  bool seen = false;
  for (const std::string& line : service->AccessLines()) {
    seen = seen || Contains(line, "\"channel\": \"_upgrade\"");
  }
  EXPECT_TRUE(seen);
}

TEST_F(WinInstallerTest, EveryPassFailsWithTheLastCode) {
  const std::vector<std::pair<std::vector<std::string>, int>> cases = {
      {{"--fail-first", "100", "--fail-status", "404"}, 22},
      {{"--fail-first", "100", "--fail-status", "500"}, 22},
      {{"--fail-first", "100", "--fail-status", "reset"}, 56},
      {{"--truncate", "1000"}, 18},
      {{"--redirect", "--redirect-hops", "6"}, 47},
      {{"--redirect-to", "ftp://127.0.0.1/corvaneInstaller.exe"}, 1},
  };
  for (const auto& [options, code] : cases) {
    auto service = Serve(options);
    const std::string output = Install(1);
    EXPECT_TRUE(Contains(output, "Download Faild errorCode:" + std::to_string(code)))
        << ::testing::PrintToString(options) << output;
    // Five passes, each the moniker and then the HTTP library.
    size_t curl = 0;
    for (const std::string& line : service->AccessLines()) {
      curl += Contains(line, "\"kind\": \"curl\"") && !Contains(line, "\"hop\"");
    }
    EXPECT_EQ(curl, 5u) << ::testing::PrintToString(options);
    EXPECT_EQ(PackageRuns(), 0);
    EXPECT_TRUE(FilesLeft().empty()) << ::testing::PrintToString(options);
  }
}

TEST_F(WinInstallerTest, FiveRedirectsAreFollowed) {
  auto service = Serve({"--redirect", "--redirect-hops", "5"});
  EXPECT_TRUE(Contains(Install(0), "安装成功"));
}

TEST_F(WinInstallerTest, PackageFailuresAreRunThreeTimes) {
  for (const std::string& outcome : {std::string("3"), std::string("kill")}) {
    DeleteFileW(Utf8ToUtf16(dir_.Sub("runs")).c_str());
    ScopedEnv codes("CORVANE_DEMO_PACKAGE_EXIT_CODES", outcome);
    auto service = Serve();
    const std::string output = Install(1);
    // A killed package ends with the code its killer gave (1 for taskkill /F).
    EXPECT_TRUE(
        Contains(output, "Install Faild errorCode:" + std::string(outcome == "kill" ? "1" : "3")))
        << output;
    EXPECT_EQ(PackageRuns(), 3);
  }
  // Failing twice, then installing.
  DeleteFileW(Utf8ToUtf16(dir_.Sub("runs")).c_str());
  ScopedEnv codes("CORVANE_DEMO_PACKAGE_EXIT_CODES", "9,9,0");
  auto service = Serve();
  EXPECT_TRUE(Contains(Install(0), "安装成功"));
  EXPECT_EQ(PackageRuns(), 3);
}

TEST_F(WinInstallerTest, RunningProductCancelsTheUnattendedInstall) {
  auto service = Serve();
  // A copy of the product under its own name keeps running meanwhile.
  const std::string product = dir_.Sub("running\\corvane.exe");
  corvane::CreateDirectoryTree(dir_.Sub("running"));
  ASSERT_TRUE(CopyFileW(Utf8ToUtf16(Built("tools\\demo_product\\corvane.exe")).c_str(),
                        Utf8ToUtf16(product).c_str(), FALSE));
  ChildProcess running({product, "--stay-ms", "60000"});
  ASSERT_TRUE(running.started());
  for (int i = 0; i < 50 && !Contains(win_test::ReadFile(dir_.Sub("prod.log")), "stay-ms"); ++i) {
    Sleep(100);
  }
  const std::string output = Install(1);
  EXPECT_TRUE(Contains(output, "User Cancel Install")) << output;
  EXPECT_EQ(PackageRuns(), 0);
}

TEST_F(WinInstallerTest, SecondInstanceEndsWithTwo) {
  auto service = Serve();
  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"CorvaneInstaller");
  ASSERT_NE(mutex, nullptr);
  const std::string output = Install(2);
  EXPECT_TRUE(Contains(output, "another installer is already running")) << output;
  EXPECT_TRUE(service->AccessLines().empty());
  CloseHandle(mutex);
  EXPECT_TRUE(Contains(Install(0), "安装成功"));
}

TEST_F(WinInstallerTest, InstallFolderWithBlanksAndNonBmpArrivesWhole) {
  auto service = Serve();
  install_dir_ = dir_.Sub("Program Files (x86)\\品牌 " + kNonBmp + "\\corvane");
  EXPECT_TRUE(Contains(Install(0), "安装成功"));
  EXPECT_TRUE(win_test::FileExists(install_dir_ + "\\corvane.exe"));
  EXPECT_TRUE(Contains(
      win_test::ReadFile(dir_.Sub("pkg.log")), "\tdir=" + [this] {
        std::string escaped;
        for (char c : install_dir_) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        return escaped;
      }()));
}

TEST_F(WinInstallerTest, BadPackagePathsFailCleanly) {
  auto service = Serve();
  // A folder where the package goes.
  ASSERT_TRUE(corvane::CreateDirectoryTree(PackagePath()));
  EXPECT_TRUE(Contains(Install(1), "Download Faild errorCode:23"));
  EXPECT_TRUE(corvane::IsDirectory(PackagePath()));
  RemoveFolder(PackagePath());
  // A package file another process holds open without sharing.
  win_test::WriteFile(PackagePath(), "old");
  HANDLE held = CreateFileW(Utf8ToUtf16(PackagePath()).c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Contains(Install(1), "Download Faild errorCode:23"));
  CloseHandle(held);
  EXPECT_EQ(win_test::ReadFile(PackagePath()), "old");
  EXPECT_EQ(PackageRuns(), 0);
}

TEST_F(WinInstallerTest, DeclaredLengthAboveTheFreeSpaceFails) {
  auto service = Serve({"--declare-length", "900000000000000"});
  EXPECT_TRUE(Contains(Install(1), "Download Faild errorCode:23"));
  EXPECT_TRUE(FilesLeft().empty());
}

TEST_F(WinInstallerTest, EndedMidDownloadLeavesNoPartialFile) {
  // The moniker is refused once, so the HTTP library's transfer is the one
  // under way, slowly, when the installer is ended from outside.
  auto service = Serve({"--fail-first", "1", "--fail-status", "404", "--drip", "20000"});
  ChildProcess installer(
      {Built("app\\corvane-installer.exe"), "--silent", "installPath:" + install_dir_});
  ASSERT_TRUE(installer.started());
  bool partial = false;
  for (int i = 0; i < 200 && !partial; ++i, Sleep(50)) {
    partial = win_test::FileExists(PackagePath() + ".part");
  }
  EXPECT_TRUE(partial);
  installer.Kill();
  bool clean = false;
  for (int i = 0; i < 50 && !clean; ++i, Sleep(100)) clean = FilesLeft().empty();
  EXPECT_TRUE(clean) << ::testing::PrintToString(FilesLeft());
}

TEST_F(WinInstallerTest, WithoutKeyInstallsAsBeforeAndSaysSoOnce) {
  auto service = Serve();
  // A copy whose PKGKEY is re-stamped blank, as scripts/restamp-key --none does.
  const std::string copy = dir_.Sub("unkeyed.exe");
  ASSERT_TRUE(CopyFileW(Utf8ToUtf16(Built("app\\corvane-installer.exe")).c_str(),
                        Utf8ToUtf16(copy).c_str(), FALSE));
  win_test::WriteFile(dir_.Sub("no-key.pem"), "\n");
  ChildProcess restamp({Built("tools\\restamp_resource\\restamp_resource.exe"), copy, "PKGKEY", "1",
                        dir_.Sub("no-key.pem")});
  ASSERT_TRUE(restamp.Wait(30));
  ASSERT_EQ(restamp.exit_code(), 0u) << restamp.errors();
  const std::string output = Install(0, copy);
  EXPECT_TRUE(Contains(output, "安装成功")) << output;
  const size_t first = output.find(kNotChecked);
  ASSERT_NE(first, std::string::npos) << output;
  EXPECT_EQ(output.find(kNotChecked, first + 1), std::string::npos) << output;
  // No signature was asked for.
  for (const std::string& line : service->AccessLines()) {
    EXPECT_FALSE(Contains(line, "donwloadtype=sig")) << line;
  }
}

TEST_F(WinInstallerTest, HelpSaysHowToRunAndFetchesNothing) {
  auto service = Serve();
  ChildProcess installer({Built("app\\corvane-installer.exe"), "--help"});
  ASSERT_TRUE(installer.Wait(30));
  EXPECT_EQ(installer.exit_code(), 0u);
  EXPECT_TRUE(Contains(installer.output(), "--silent"));
  EXPECT_TRUE(service->AccessLines().empty());
}

}  // namespace
