// The Windows adapters against the real system (under Wine): the registry,
// the named mutex, processes and their command lines, the process snapshot,
// known folders and the executable's own resources.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "app/system/digest.h"
#include "app/system/embedded_resource.h"
#include "app/system/error_alert.h"
#include "app/system/folders.h"
#include "app/system/os_info.h"
#include "app/system/process.h"
#include "app/system/settings_store.h"
#include "app/system/single_instance.h"
#include "app/system/termination_cleanup.h"
#include "app/system/win/command_line_quote.h"
#include "app/system/win/wide_text.h"
#include "tests/app/win/win_test_support.h"

namespace {

using corvane::Utf16ToUtf8;
using corvane::Utf8ToUtf16;

// Outside the BMP: an emoji and a CJK Extension B ideograph, each a
// surrogate pair in UTF-16 and four bytes in UTF-8.
const std::string kNonBmp = "\xF0\x9F\x98\x80\xF0\xA0\x80\x8B";

// A registry key of its own under the current user, removed at the end.
class RegistryKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = "Software\\corvane-test\\" + std::to_string(GetCurrentProcessId()) + "\\AppInfo";
    parent_ = L"Software\\corvane-test\\" + std::to_wstring(GetCurrentProcessId());
    TearDown();
  }
  void TearDown() override {
    // A key this test locked is opened up first: the owner may always
    // change its access list.
    SetAccess(L"D:(A;;KA;;;WD)");
    RegDeleteTreeW(HKEY_CURRENT_USER, parent_.c_str());
  }

  LONG SetAccess(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
      return ERROR_INVALID_PARAMETER;
    }
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToUtf16(path_).c_str(), 0, WRITE_DAC, &key);
    if (rc == ERROR_SUCCESS) {
      rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
      RegCloseKey(key);
    }
    LocalFree(descriptor);
    return rc;
  }

  HKEY Create() {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Utf8ToUtf16(path_).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
  }
  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = Create();
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  std::wstring ReadRaw(const wchar_t* name, DWORD* type) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, Utf8ToUtf16(path_).c_str(), name, RRF_RT_ANY, type, buffer,
                     &size) != ERROR_SUCCESS) {
      return L"<missing>";
    }
    return buffer;
  }

  std::string path_;
  std::wstring parent_;
};

TEST_F(RegistryKeyTest, WritesReadableStringValuesAndCreatesTheKey) {
  corvane::SettingsStore store(path_);
  EXPECT_EQ(store.file_path(), "HKEY_CURRENT_USER\\" + path_);
  EXPECT_EQ(store.Read("UniqueId"), "");
  ASSERT_TRUE(store.Write("UniqueId", "0123456789ABCDEF0123456789ABCDEF"));
  ASSERT_TRUE(store.Write("Channel", "渠道" + kNonBmp));
  DWORD type = 0;
  EXPECT_EQ(ReadRaw(L"UniqueId", &type), L"0123456789ABCDEF0123456789ABCDEF");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  // The non-BMP characters are stored as surrogate pairs and come back whole.
  EXPECT_EQ(Utf16ToUtf8(ReadRaw(L"Channel", &type)), "渠道" + kNonBmp);
  EXPECT_EQ(store.Read("Channel"), "渠道" + kNonBmp);
  ASSERT_TRUE(store.Write("Channel", "b"));
  EXPECT_EQ(store.Read("Channel"), "b");
}

TEST_F(RegistryKeyTest, HostileValuesReadAsMissingOrCutCleanly) {
  corvane::SettingsStore store(path_);
  const DWORD number = 42;
  SetRaw(L"Number", REG_DWORD, &number, sizeof(number));
  const char binary[] = "\x01\x02\x03";
  SetRaw(L"Binary", REG_BINARY, binary, 3);
  // Text without its terminating zero, and with an odd byte count.
  const wchar_t unterminated[] = {L'a', L'b', L'c'};
  SetRaw(L"Unterminated", REG_SZ, unterminated, sizeof(unterminated));
  SetRaw(L"Odd", REG_SZ, L"xyz", 5);
  // Text with a zero in the middle ends there.
  const wchar_t embedded[] = L"left\0right";
  SetRaw(L"Embedded", REG_SZ, embedded, sizeof(embedded));
  const std::wstring huge(200000, L'x');
  SetRaw(L"Huge", REG_SZ, huge.c_str(), static_cast<DWORD>((huge.size() + 1) * 2));
  const std::wstring expand = L"%SystemRoot%";
  SetRaw(L"Expand", REG_EXPAND_SZ, expand.c_str(), static_cast<DWORD>((expand.size() + 1) * 2));

  EXPECT_EQ(store.Read("Number"), "");
  EXPECT_EQ(store.Read("Binary"), "");
  EXPECT_EQ(store.Read("Unterminated"), "abc");
  EXPECT_EQ(store.Read("Odd"), "xy");
  EXPECT_EQ(store.Read("Embedded"), "left");
  EXPECT_EQ(store.Read("Huge"), "");
  EXPECT_EQ(store.Read("Expand"), "%SystemRoot%");
  // Replacing a value of another type gives a plain string.
  ASSERT_TRUE(store.Write("Number", "7"));
  EXPECT_EQ(store.Read("Number"), "7");
}

TEST_F(RegistryKeyTest, KeyWithoutAccessFailsCleanly) {
  corvane::SettingsStore store(path_);
  ASSERT_TRUE(store.Write("UniqueId", "KEPT"));
  // A DACL that grants nobody anything.
  ASSERT_EQ(SetAccess(L"D:P"), ERROR_SUCCESS);
  HKEY probe = nullptr;
  const LONG opened =
      RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToUtf16(path_).c_str(), 0, KEY_READ, &probe);
  if (opened == ERROR_SUCCESS) {
    RegCloseKey(probe);
    GTEST_SKIP() << "this registry does not enforce key access";
  }
  EXPECT_EQ(store.Read("UniqueId"), "");
  EXPECT_FALSE(store.Write("UniqueId", "NEW"));
}

TEST(WinSingleInstance, SecondHolderIsRefusedUntilTheFirstEnds) {
  const std::string name = "CorvaneInstallerTest-" + std::to_string(GetCurrentProcessId());
  auto first = std::make_unique<corvane::SingleInstanceLock>(name);
  corvane::SingleInstanceLock second(name);
  EXPECT_EQ(first->lock_path(), name);
  ASSERT_TRUE(first->TryAcquire());
  EXPECT_TRUE(first->TryAcquire());
  EXPECT_FALSE(second.TryAcquire());
  EXPECT_FALSE(second.held());
  first.reset();
  EXPECT_TRUE(second.TryAcquire());
  EXPECT_TRUE(second.held());
}

TEST(WinCommandLine, QuotingFollowsTheRuntimesRules) {
  EXPECT_EQ(corvane::QuoteArgument(L"plain"), L"plain");
  EXPECT_EQ(corvane::QuoteArgument(L""), L"\"\"");
  EXPECT_EQ(corvane::QuoteArgument(L"a b"), L"\"a b\"");
  EXPECT_EQ(corvane::QuoteArgument(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
  EXPECT_EQ(corvane::QuoteArgument(L"C:\\dir with blank\\"), L"\"C:\\dir with blank\\\\\"");
  EXPECT_EQ(corvane::QuoteArgument(L"back\\slash"), L"back\\slash");
  EXPECT_EQ(corvane::BuildCommandLine({L"C:\\p q\\pkg.exe", L"/S", L"/D=C:\\Program Files\\x"}),
            L"\"C:\\p q\\pkg.exe\" /S /D=C:\\Program Files\\x");
  // "/D=" anywhere but last is an ordinary argument.
  EXPECT_EQ(corvane::BuildCommandLine({L"p", L"/D=a b", L"x"}), L"\"p\" \"/D=a b\" x");
}

class WinProcessTest : public ::testing::Test {
 protected:
  std::string child() const { return win_test::ProgramFolder() + "\\print_argv.exe"; }
  win_test::TempDir dir_;
};

TEST_F(WinProcessTest, ArgumentsArriveWholeThroughARealChild) {
  const std::string out = dir_.Sub("argv.txt");
  win_test::ScopedEnv env("CORVANE_ARGV_OUT", out);
  const std::vector<std::string> args = {
      "with blank", "quote\"inside", "trailing\\", "two\\\\\"q", "", "\t tab", "中文" + kNonBmp};
  std::vector<std::string> argv = {child()};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string install_dir = "C:\\Program Files (x86)\\品牌 " + kNonBmp + "\\corvane";
  argv.push_back("/S");
  argv.push_back("/D=" + install_dir);
  ASSERT_EQ(corvane::RunProcess(argv), 0);
  const std::vector<std::string> lines = win_test::Lines(win_test::ReadFile(out));
  ASSERT_GE(lines.size(), args.size() + 3);
  EXPECT_EQ(lines[0], "arg\t" + child());
  for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(lines[i + 1], "arg\t" + args[i]) << i;
  EXPECT_EQ(lines[args.size() + 1], "arg\t/S");
  // The folder is read the way package installers read it.
  EXPECT_EQ(lines.back(), "dir\t" + install_dir);
}

TEST_F(WinProcessTest, ExitCodesMissingProgramsAndTheSnapshot) {
  {
    win_test::ScopedEnv code("CORVANE_ARGV_EXIT", "7");
    EXPECT_EQ(corvane::RunProcess({child()}), 7);
  }
  {
    win_test::ScopedEnv code("CORVANE_ARGV_EXIT", "-3");
    EXPECT_EQ(corvane::RunProcess({child()}), -3);
  }
  EXPECT_EQ(corvane::RunProcess({dir_.Sub("missing.exe")}), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(corvane::RunProcess({}), ERROR_FILE_NOT_FOUND);
  // A folder is no program.
  EXPECT_NE(corvane::RunProcess({dir_.path()}), 0);

  // A copy under a name of its own: tests running beside this one start
  // print_argv.exe too.
  const std::string name = "argv-" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string copy = dir_.Sub(name);
  ASSERT_TRUE(CopyFileW(Utf8ToUtf16(child()).c_str(), Utf8ToUtf16(copy).c_str(), FALSE));
  EXPECT_FALSE(corvane::IsProcessRunning(name));
  win_test::ScopedEnv sleep("CORVANE_ARGV_SLEEP_MS", "3000");
  ASSERT_EQ(corvane::SpawnDetached({copy}), 0);
  bool seen = false;
  for (int i = 0; i < 50 && !seen; ++i) {
    seen = corvane::IsProcessRunning(name);
    if (!seen) Sleep(50);
  }
  EXPECT_TRUE(seen);
  // The whole name, letter case included.
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  EXPECT_FALSE(corvane::IsProcessRunning(upper));
  EXPECT_FALSE(corvane::IsProcessRunning(name.substr(0, name.size() - 4)));
  for (int i = 0; i < 100 && corvane::IsProcessRunning(name); ++i) Sleep(100);
  EXPECT_FALSE(corvane::IsProcessRunning(name));
}

TEST(WinFolders, KnownFoldersAndTrees) {
  const std::string app_data = corvane::AppDataFolder();
  ASSERT_FALSE(app_data.empty());
  EXPECT_TRUE(corvane::IsDirectory(app_data));
  EXPECT_NE(app_data.find("Roaming"), std::string::npos) << app_data;
  const std::string program_files = corvane::ProgramFilesFolder();
  EXPECT_NE(program_files.find("Program Files"), std::string::npos) << program_files;
  EXPECT_TRUE(corvane::IsDirectory(corvane::RuntimeFolder()));

  win_test::TempDir dir;
  const std::string deep = dir.path() + "\\a b\\" + kNonBmp + "/c\\d";
  EXPECT_TRUE(corvane::CreateDirectoryTree(deep));
  EXPECT_TRUE(corvane::IsDirectory(deep));
  EXPECT_TRUE(corvane::CreateDirectoryTree(deep));
  const std::string file = corvane::JoinPath(deep, "f.bin");
  EXPECT_EQ(file, deep + "\\f.bin");
  win_test::WriteFile(file, "12345");
  EXPECT_EQ(corvane::FileSize(file), 5);
  EXPECT_FALSE(corvane::CreateDirectoryTree(file + "\\below"));
  EXPECT_EQ(corvane::FileSize(deep), -1);
  // Committing replaces what is there.
  const std::string partial = file + ".part";
  win_test::WriteFile(partial, "new");
  EXPECT_TRUE(corvane::CommitFile(partial, file));
  EXPECT_EQ(win_test::ReadFile(file), "new");
  EXPECT_FALSE(win_test::FileExists(partial));
  EXPECT_TRUE(corvane::RemoveFile(file));
  EXPECT_TRUE(corvane::RemoveFile(file));
  EXPECT_FALSE(corvane::PathExists(file));
}

TEST(WinTermination, ConsoleControlRemovesGuardedFiles) {
  win_test::TempDir dir;
  const std::string path = dir.Sub("partial " + kNonBmp);
  win_test::WriteFile(path, "x");
  {
    corvane::RemoveOnTermination guard(path);
    ASSERT_TRUE(guard.armed());
    corvane::RemoveGuardedFiles();
    EXPECT_FALSE(win_test::FileExists(path));
  }
  win_test::WriteFile(path, "x");
  corvane::RemoveGuardedFiles();
  EXPECT_TRUE(win_test::FileExists(path));
}

TEST(WinOsInfo, SystemNameAndArchitecture) {
  const std::string name = corvane::ReadOsName();
  EXPECT_EQ(name.rfind("Microsoft Windows", 0), 0u) << name;
  EXPECT_EQ(corvane::StatisticsOsField(), "windows");
  EXPECT_TRUE(corvane::Is64BitMachine());
}

TEST(WinResources, ReadsRcDataOfTheExecutable) {
  // tests/app/win/test_resources.rc gives this program a THEME and a CHANNEL.
  const std::optional<std::string> channel = corvane::ReadEmbeddedResource("CHANNEL");
  ASSERT_TRUE(channel.has_value());
  EXPECT_EQ(*channel, "test_channel_" + kNonBmp);
  const std::optional<std::string> theme = corvane::ReadEmbeddedResource("THEME");
  ASSERT_TRUE(theme.has_value());
  EXPECT_EQ(theme->substr(0, 2), "PK");
  EXPECT_FALSE(corvane::ReadEmbeddedResource("ABSENT").has_value());
}

}  // namespace

namespace {

// What the installer's tools read of another program (the skin inspector's
// --installer): absent, or a file that is no program, reads as "<absent>".
std::string ResourceOf(const std::wstring& file, const char* name) {
  return corvane::ReadProgramResource(Utf16ToUtf8(file), name).value_or("<absent>");
}

// scripts/restamp-channel's tool on a copy of a built program that carries
// both resources: the channel changes, the rest stays, and it still runs.
TEST(WinResources, RestampedChannelWithoutARebuild) {
  win_test::TempDir dir;
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  // A name beyond the basic plane: the file is named in UTF-8.
  const std::wstring copy = Utf8ToUtf16(dir.Sub("stamped" + kNonBmp + ".exe"));
  ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
  const std::string tool =
      win_test::ProgramFolder() + "\\..\\tools\\restamp_resource\\restamp_resource.exe";
  const std::string data = dir.Sub("channel.bin");
  const std::string channel = "restamped_" + kNonBmp + std::string(300, 'x');
  win_test::WriteFile(data, channel);
  const std::string theme_before = ResourceOf(copy, "THEME");
  EXPECT_EQ(theme_before, *corvane::ReadEmbeddedResource("THEME"));
  EXPECT_EQ(ResourceOf(copy, "ABSENT"), "<absent>");
  ASSERT_EQ(corvane::RunProcess({tool, Utf16ToUtf8(copy), "CHANNEL", "138", data}), 0);
  EXPECT_EQ(ResourceOf(copy, "CHANNEL"), channel);
  EXPECT_EQ(ResourceOf(copy, "THEME"), theme_before);
  // Once more, shorter: nothing of the longer channel stays behind.
  win_test::WriteFile(data, "short");
  ASSERT_EQ(corvane::RunProcess({tool, Utf16ToUtf8(copy), "CHANNEL", "138", data}), 0);
  EXPECT_EQ(ResourceOf(copy, "CHANNEL"), "short");
  EXPECT_EQ(corvane::RunProcess({Utf16ToUtf8(copy), "--gtest_filter=WinOsInfo.*"}), 0);
  // Wrong arguments and a file that is no program.
  EXPECT_EQ(corvane::RunProcess({tool, Utf16ToUtf8(copy), "CHANNEL"}), 2);
  EXPECT_NE(corvane::RunProcess({tool, data, "CHANNEL", "138", data}), 0);
  EXPECT_EQ(ResourceOf(Utf8ToUtf16(data), "CHANNEL"), "<absent>");
  EXPECT_EQ(ResourceOf(Utf8ToUtf16(dir.Sub("missing.exe")), "CHANNEL"), "<absent>");
}

}  // namespace

namespace {

std::string HexOf(const std::array<uint8_t, 16>& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

TEST(WinDigest, Md5Base64AndIdentifiersFromTheSystem) {
  // RFC 1321's test suite, through advapi32's MD5 functions.
  EXPECT_EQ(HexOf(corvane::Md5Digest("")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(HexOf(corvane::Md5Digest("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(HexOf(corvane::Md5Digest("12345678901234567890123456789012345678901234567890123456789"
                                     "012345678901234567890")),
            "57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_EQ(corvane::Base64Encode(""), "");
  EXPECT_EQ(corvane::Base64Encode("abc"), "YWJj");
  EXPECT_EQ(corvane::Base64Encode("ab"), "YWI=");
  EXPECT_EQ(corvane::Base64Encode(std::string(100, '\xff')).find_first_of("\r\n"),
            std::string::npos);
  EXPECT_EQ(corvane::Base64Encode(kNonBmp), "8J+YgPCggIs=");
  const std::string guid = corvane::FreshGuidText();
  EXPECT_TRUE(std::regex_match(
      guid, std::regex("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}")))
      << guid;
  EXPECT_NE(guid, corvane::FreshGuidText());
}

}  // namespace

namespace {

// Answers the first box captioned `caption` with the button `id`, as a user
// clicking it would; false when no box came.
bool AnswerBox(const std::wstring& caption, int id) {
  for (int i = 0; i < 200; ++i, Sleep(50)) {
    if (HWND box = FindWindowW(L"#32770", caption.c_str())) {
      SendMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0);
      return true;
    }
  }
  return false;
}

// The second-instance prompt is a real MessageBoxW with retry and cancel.
// Wine shows boxes only with a display (Xvfb in the test run).
TEST(WinAlerts, RetryPromptAnswersRetryAndCancel) {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 1, 1, nullptr,
                               nullptr, nullptr, nullptr);
  if (!probe) GTEST_SKIP() << "no display for windows (run under Xvfb)";
  DestroyWindow(probe);
  ASSERT_TRUE(corvane::HasInteractiveSession());
  const std::string caption = "Corvane视频转换器安装提示 " + kNonBmp;
  for (const int answer : {IDRETRY, IDCANCEL}) {
    std::thread user([&] { EXPECT_TRUE(AnswerBox(Utf8ToUtf16(caption), answer)); });
    EXPECT_EQ(corvane::AskRetryOrCancel(caption, "安装程序已经在运行"), answer == IDRETRY);
    user.join();
  }
  std::thread user([&] { EXPECT_TRUE(AnswerBox(Utf8ToUtf16(caption), IDOK)); });
  EXPECT_TRUE(corvane::ShowErrorAlert(caption, "text"));
  user.join();
}

}  // namespace
