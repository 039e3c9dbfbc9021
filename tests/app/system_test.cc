#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include <glib.h>
#include <gtest/gtest.h>

#include "app/system/folder_picker.h"
#include "app/system/folders.h"
#include "app/system/os_info.h"
#include "app/system/process.h"
#include "app/system/settings_store.h"
#include "app/system/single_instance.h"
#include "app/system/termination_cleanup.h"
#include "base/string_util.h"
#include "tests/app/app_test_support.h"

namespace {

using app_test::ScopedUserEnvironment;

// Number of entries in `folder`, or -1 when it cannot be read.
int CountEntries(const std::string& folder) {
  GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
  if (dir == nullptr) return -1;
  int entries = 0;
  while (g_dir_read_name(dir)) ++entries;
  g_dir_close(dir);
  return entries;
}

TEST(AppSettingsStoreTest, MissingFileReadsEmptyAndWritesRoundTrip) {
  ScopedUserEnvironment env;
  corvane::SettingsStore store("Software\\corvane\\AppInfo");
  EXPECT_EQ(store.file_path(), env.config_home() + "/corvane/AppInfo.ini");
  EXPECT_EQ(store.Read("UniqueId"), "");
  ASSERT_TRUE(store.Write("UniqueId", "ABC"));
  ASSERT_TRUE(store.Write("Channel", " lead=ing;#x\n"));
  EXPECT_EQ(store.Read("UniqueId"), "ABC");
  EXPECT_EQ(store.Read("Channel"), " lead=ing;#x\n");
  // A second object sees the same values: they live in the file.
  EXPECT_EQ(corvane::SettingsStore("Software\\corvane\\AppInfo").Read("UniqueId"), "ABC");
}

TEST(AppSettingsStoreTest, CorruptFileReadsEmptyAndIsReplacedWhole) {
  ScopedUserEnvironment env;
  corvane::SettingsStore store("Software\\corvane\\AppInfo");
  ASSERT_TRUE(corvane::CreateDirectoryTree(env.config_home() + "/corvane"));
  app_test::WriteFile(store.file_path(), std::string("\xff\xfe[[[ not a key file\0\x01", 22));
  EXPECT_EQ(store.Read("UniqueId"), "");
  ASSERT_TRUE(store.Write("UniqueId", "X1"));
  EXPECT_EQ(store.Read("UniqueId"), "X1");
  EXPECT_EQ(app_test::ReadFile(store.file_path()).find("not a key file"), std::string::npos);
  // No temporary file stays beside it.
  EXPECT_EQ(CountEntries(env.config_home() + "/corvane"), 1);
}

TEST(AppSettingsStoreTest, OddLinesCostOnlyThemselves) {
  ScopedUserEnvironment env;
  corvane::SettingsStore store("Software\\corvane\\AppInfo");
  ASSERT_TRUE(corvane::CreateDirectoryTree(env.config_home() + "/corvane"));
  app_test::WriteFile(store.file_path(),
                      "\xEF\xBB\xBF[AppInfo]\r\nUniqueId=ID1\r\nno equals sign\n"
                      "=no name\nChannel=c\n[Bad\nUniqueId=from a broken group\n"
                      "[Other]\nx=1\n");
  EXPECT_EQ(store.Read("UniqueId"), "ID1");
  EXPECT_EQ(store.Read("Channel"), "c");
  ASSERT_TRUE(store.Write("Channel", "d"));
  EXPECT_EQ(store.Read("UniqueId"), "ID1");
  EXPECT_EQ(store.Read("Channel"), "d");
  EXPECT_EQ(corvane::SettingsStore("Software\\corvane\\Other").Read("x"), "");
  const std::string rewritten = app_test::ReadFile(store.file_path());
  EXPECT_NE(rewritten.find("[Other]\nx=1\n"), std::string::npos) << rewritten;
  EXPECT_EQ(rewritten.find("broken"), std::string::npos) << rewritten;
}

TEST(AppSettingsStoreTest, NonRegularFileReadsEmptyAndIsLeftAlone) {
  ScopedUserEnvironment env;
  corvane::SettingsStore store("Software\\corvane\\AppInfo");
  ASSERT_TRUE(corvane::CreateDirectoryTree(store.file_path()));  // a folder in its place
  EXPECT_EQ(store.Read("UniqueId"), "");
  EXPECT_FALSE(store.Write("UniqueId", "X"));
  EXPECT_TRUE(corvane::IsDirectory(store.file_path()));
}

TEST(AppSettingsStoreTest, FailedWriteKeepsTheOldFileWhole) {
  ScopedUserEnvironment env;
  corvane::SettingsStore store("Software\\corvane\\AppInfo");
  ASSERT_TRUE(store.Write("UniqueId", "KEEP"));
  // A file size limit of 0 makes every write fail, for root too (folder
  // permissions would not stop root). The child reports through its status.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit none{0, 0};
    setrlimit(RLIMIT_FSIZE, &none);
    _exit(store.Write("UniqueId", "NEW") ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write was reported as done";
  EXPECT_EQ(store.Read("UniqueId"), "KEEP");
  // The failed attempt leaves no temporary file beside the store.
  EXPECT_EQ(CountEntries(env.config_home() + "/corvane"), 1);
}

// Writes `count` comment lines of 64 bytes to `out` (64 MiB for 1 Mi lines),
// a block at a time so that the test itself holds little of it.
void AppendCommentLines(std::ofstream& out, size_t count) {
  const std::string line = "# " + std::string(61, 'c') + "\n";
  std::string block;
  for (int i = 0; i < 1024; ++i) block += line;
  for (size_t done = 0; done < count; done += 1024) out << block;
}

off_t SizeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Resident memory of a process in KiB (VmRSS).
long ResidentKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// A store far larger than its keys (64 MiB of comments after "UniqueId")
// keeps every key, reads in bounded memory, and a write keeps every byte it
// does not change, a line too long to read included.
TEST(AppSettingsStoreTest, LargeFileKeepsEveryKeyAndAWriteKeepsEverythingElse) {
  ScopedUserEnvironment env;
  corvane::SettingsStore store("Software\\corvane\\AppInfo");
  ASSERT_TRUE(corvane::CreateDirectoryTree(env.config_home() + "/corvane"));
  const std::string long_line = "# " + std::string(300 * 1024, 'L') + "\n";
  const std::string head = "[AppInfo]\nUniqueId=0123456789ABCDEF0123456789ABCDEF\n";
  const std::string tail = "[Other]\nlate=1\n" + long_line + "[AppInfo]\nAfter=2\n";
  {
    std::ofstream out(store.file_path(), std::ios::binary);
    out << head;
    AppendCommentLines(out, 1024 * 1024);
    out << tail;
  }
  const off_t size_before = SizeOf(store.file_path());
  ASSERT_GT(size_before, 64 << 20);

  // Read in a child, whose resident memory then tells what reading took.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const long before = ResidentKib(getpid());
    const bool ok = store.Read("UniqueId") == "0123456789ABCDEF0123456789ABCDEF" &&
                    store.Read("After") == "2" && store.Read("late").empty();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    // Well under the file's size: no more than a few MiB beyond what the child started with.
    _exit(!ok ? 1 : usage.ru_maxrss - before > 8 * 1024 ? 2 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 1) << "a key of the large file was lost";
  EXPECT_NE(WEXITSTATUS(status), 2) << "reading took memory in proportion to the file";

  ASSERT_TRUE(store.Write("Channel", "c1"));
  EXPECT_EQ(store.Read("Channel"), "c1");
  EXPECT_EQ(store.Read("UniqueId"), "0123456789ABCDEF0123456789ABCDEF");
  // The new key opens its group; every other byte is where it was.
  const std::string written = "Channel=c1\n";
  EXPECT_EQ(SizeOf(store.file_path()), size_before + static_cast<off_t>(written.size()));
  std::ifstream in(store.file_path(), std::ios::binary);
  std::string start(head.size() + written.size(), '\0');
  in.read(start.data(), static_cast<std::streamsize>(start.size()));
  EXPECT_EQ(start, "[AppInfo]\n" + written + head.substr(10));
  in.seekg(-static_cast<std::streamoff>(tail.size()), std::ios::end);
  std::string end(tail.size(), '\0');
  in.read(end.data(), static_cast<std::streamsize>(end.size()));
  EXPECT_EQ(end, tail);
  EXPECT_EQ(CountEntries(env.config_home() + "/corvane"), 1);
}

// A value written again replaces the old one wherever it stood, in every
// section of the group; the same key of another group stays as it was.
TEST(AppSettingsStoreTest, RewrittenKeyReplacesEveryOldValue) {
  ScopedUserEnvironment env;
  corvane::SettingsStore store("Software\\corvane\\AppInfo");
  ASSERT_TRUE(corvane::CreateDirectoryTree(env.config_home() + "/corvane"));
  app_test::WriteFile(store.file_path(),
                      "# top\n[AppInfo]\nChannel = old1\nUniqueId=U\n\n[Other]\nChannel=theirs\n"
                      "[AppInfo]\nChannel=old2\n");
  EXPECT_EQ(store.Read("Channel"), "old2");
  ASSERT_TRUE(store.Write("Channel", "new;#\n"));
  EXPECT_EQ(app_test::ReadFile(store.file_path()),
            "# top\n[AppInfo]\nChannel=new;#\\n\nUniqueId=U\n\n[Other]\nChannel=theirs\n"
            "[AppInfo]\n");
  EXPECT_EQ(store.Read("Channel"), "new;#\n");
}

TEST(AppProcessTest, ExitedButUnreapedProcessIsNotRunning) {
  app_test::TempDir dir;
  // At most 15 characters, so that the name a zombie keeps (comm) is whole.
  const std::string name = "zmb-" + std::to_string(getpid() % 1000000) + ".exe";
  const std::string program = dir.Sub(name);
  app_test::WriteFile(program, app_test::ReadFile("/bin/sleep"));
  chmod(program.c_str(), 0755);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(program.c_str(), program.c_str(), "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  bool running = false;
  for (int i = 0; i < 500 && !running; ++i) {
    running = corvane::IsProcessRunning(name);
    if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(running);
  kill(child, SIGKILL);  // it ends; nobody reaps it yet
  std::string stat;
  for (int i = 0; i < 500 && stat.find(") Z ") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::getline(std::ifstream("/proc/" + std::to_string(child) + "/stat"), stat);
  }
  EXPECT_NE(stat.find(") Z "), std::string::npos) << stat;
  EXPECT_FALSE(corvane::IsProcessRunning(name));
  int status = 0;
  waitpid(child, &status, 0);
}

TEST(AppFoldersTest, XdgFoldersAndDirectoryTrees) {
  ScopedUserEnvironment env;
  EXPECT_EQ(corvane::AppDataFolder(), env.data_home());
  EXPECT_EQ(corvane::ConfigFolder(), env.config_home());
  EXPECT_EQ(corvane::ProgramFilesFolder(), geteuid() == 0 ? "/opt" : env.data_home());
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(corvane::AppDataFolder(), env.dir().Sub("home") + "/.local/share");

  const std::string deep = env.dir().Sub("a/b/c d/e");
  EXPECT_TRUE(corvane::CreateDirectoryTree(deep));
  EXPECT_TRUE(corvane::IsDirectory(deep));
  EXPECT_TRUE(corvane::CreateDirectoryTree(deep));
  app_test::WriteFile(env.dir().Sub("file"), "x");
  EXPECT_FALSE(corvane::CreateDirectoryTree(env.dir().Sub("file/sub")));
  EXPECT_FALSE(corvane::CreateDirectoryTree(""));
}

TEST(AppFoldersTest, ProductFolderIsAddedToAnyChosenFolderKeepingItsBytes) {
  EXPECT_EQ(corvane::ProductFolderUnder("/"), "/brightmoor/corvane");
  EXPECT_EQ(corvane::ProductFolderUnder("/opt/"), "/opt/brightmoor/corvane");
  EXPECT_EQ(corvane::ProductFolderUnder("/home/a/My Apps"), "/home/a/My Apps/brightmoor/corvane");
  // A folder name that is not UTF-8 reaches the package byte for byte.
  const std::string latin1 = "/srv/caf\xe9 apps";
  const std::wstring shown = nbase::NativePathToWide(corvane::ProductFolderUnder(latin1));
  EXPECT_EQ(nbase::WideToNativePath(shown), latin1 + "/brightmoor/corvane");
}

TEST(AppProcessTest, EndingAtOnceRemovesGuardedFilesOnly) {
  app_test::TempDir dir;
  const std::string guarded = dir.Sub("package.part");
  const std::string kept = dir.Sub("package");
  app_test::WriteFile(guarded, "partial");
  app_test::WriteFile(kept, "whole");
  const pid_t child = fork();
  if (child == 0) {
    corvane::RemoveOnTermination guard(guarded);
    corvane::EndProcessNow(7);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
  EXPECT_FALSE(app_test::FileExists(guarded));
  EXPECT_TRUE(app_test::FileExists(kept));
}

TEST(AppSingleInstanceTest, SecondHolderIsRefusedUntilTheFirstEnds) {
  ScopedUserEnvironment env;
  auto first = std::make_unique<corvane::SingleInstanceLock>("CorvaneInstaller");
  EXPECT_EQ(first->lock_path(), env.dir().Sub("runtime") + "/CorvaneInstaller.lock");
  ASSERT_TRUE(first->TryAcquire());
  EXPECT_TRUE(first->TryAcquire());
  corvane::SingleInstanceLock second("CorvaneInstaller");
  EXPECT_FALSE(second.TryAcquire());
  EXPECT_FALSE(second.held());
  corvane::SingleInstanceLock other("SomethingElse");
  EXPECT_TRUE(other.TryAcquire());
  first.reset();
  EXPECT_TRUE(second.TryAcquire());
}

TEST(AppSingleInstanceTest, SharedFallbackFolderDoesNotLockOutOtherUsers) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  ScopedUserEnvironment env;
  env.Set("XDG_RUNTIME_DIR", "");
  // A name of its own, so the test never meets a real installer's lock.
  const std::string name = "CorvaneInstallerTest" + std::to_string(getpid());
  corvane::SingleInstanceLock mine(name);
  ASSERT_TRUE(mine.TryAcquire());

  // Another user on the machine, with no runtime folder either, runs its
  // own installer: this user's lock is not a running instance of theirs.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    corvane::SingleInstanceLock theirs(name);
    const bool acquired = theirs.TryAcquire();
    if (acquired) unlink(theirs.lock_path().c_str());
    _exit(acquired ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot change the user here";
  EXPECT_EQ(WEXITSTATUS(status), 0);

  // The same user is still refused while the lock is held.
  corvane::SingleInstanceLock again(name);
  EXPECT_FALSE(again.TryAcquire());
  unlink(mine.lock_path().c_str());
}

TEST(AppOsInfoTest, PrettyNameFromOsRelease) {
  app_test::TempDir dir;
  const std::string file = dir.Sub("os-release");
  app_test::WriteFile(file, "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
  EXPECT_EQ(corvane::ReadOsName(file), "Debian GNU/Linux 12 (bookworm)");
  app_test::WriteFile(file, "PRETTY_NAME=Plain\n");
  EXPECT_EQ(corvane::ReadOsName(file), "Plain");
  app_test::WriteFile(file, "NAME=x\nPRETTY_NAME=\"\"\n");
  EXPECT_EQ(corvane::ReadOsName(file), "unknown OperatingSystem.");
  EXPECT_EQ(corvane::ReadOsName(dir.Sub("missing")), "unknown OperatingSystem.");
}

}  // namespace
