#include "app/system/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <thread>

#include "app/system/termination_cleanup.h"

extern char** environ;

namespace corvane {

namespace {

std::vector<char*> ArgvPointers(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  out.reserve(argv.size() + 1);
  for (const std::string& a : argv) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

int WaitForExitCode(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return kExitCodeUnreadable;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : kExitCodeUnreadable;
}

// posix_spawn reports exec failures (a missing file) through its result on
// glibc; older libraries report them as exit code 127 instead.
int Spawn(const std::vector<std::string>& argv, bool search_path, bool new_session, pid_t* pid) {
  if (argv.empty() || argv[0].empty()) return ENOENT;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (new_session) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  sigset_t empty_mask, all_signals;
  sigemptyset(&empty_mask);
  sigfillset(&all_signals);
  posix_spawnattr_setsigmask(&attr, &empty_mask);
  posix_spawnattr_setsigdefault(&attr, &all_signals);
#ifdef POSIX_SPAWN_SETSID
  if (new_session) flags |= POSIX_SPAWN_SETSID;
#endif
  posix_spawnattr_setflags(&attr, flags);
  std::vector<char*> args = ArgvPointers(argv);
  const int rc = search_path ? posix_spawnp(pid, args[0], &actions, &attr, args.data(), environ)
                             : posix_spawn(pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc;
}

int SpawnDetachedImpl(const std::vector<std::string>& argv, bool search_path) {
  pid_t pid = 0;
  const int rc = Spawn(argv, search_path, /*new_session=*/true, &pid);
  if (rc != 0) return rc;
  // The child is in its own session; reaping it when it ends is left to a
  // waiter thread so it never lingers as a zombie of this process.
  std::thread([pid] {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return 0;
}

std::string ExecutableBaseName(const std::string& proc_dir) {
  char target[PATH_MAX];
  const ssize_t n = readlink((proc_dir + "/exe").c_str(), target, sizeof(target) - 1);
  if (n > 0) {
    std::string path(target, static_cast<size_t>(n));
    // A replaced or deleted executable reads as "/path/name (deleted)".
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() &&
        path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
      path.resize(path.size() - deleted.size());
    }
    return path.substr(path.rfind('/') + 1);
  }
  std::string comm;
  std::getline(std::ifstream(proc_dir + "/comm"), comm);
  return comm;
}

// An exited process its parent has not reaped yet ("Z"), or one being torn
// down ("X"), still has a /proc entry but runs nothing.
bool HasExited(const std::string& proc_dir) {
  std::string stat;
  std::getline(std::ifstream(proc_dir + "/stat"), stat);
  // The state follows the name in parentheses, which may itself hold ")".
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return true;
  const char state = stat[close + 2];
  return state == 'Z' || state == 'X' || state == 'x';
}

}  // namespace

int RunProcess(const std::vector<std::string>& argv) {
  pid_t pid = 0;
  const int rc = Spawn(argv, /*search_path=*/false, /*new_session=*/false, &pid);
  if (rc != 0) return rc;
  return WaitForExitCode(pid);
}

int SpawnDetached(const std::vector<std::string>& argv) {
  return SpawnDetachedImpl(argv, false);
}

int SpawnDetachedSearchPath(const std::vector<std::string>& argv) {
  return SpawnDetachedImpl(argv, true);
}

bool IsProcessRunning(const std::string& name) {
  DIR* dir = opendir("/proc");
  if (!dir) return false;
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    const char* d = entry->d_name;
    if (*d < '1' || *d > '9') continue;
    const std::string proc_dir = std::string("/proc/") + d;
    if (ExecutableBaseName(proc_dir) == name && !HasExited(proc_dir)) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

void EndProcessNow(int exit_code) {
  // A download cut off here must not leave its partial file behind.
  RemoveGuardedFiles();
  _exit(exit_code);
}

}  // namespace corvane
