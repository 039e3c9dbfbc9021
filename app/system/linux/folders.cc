#include "app/system/folders.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <glib.h>

namespace corvane {

namespace {

// GLib caches the XDG folders for the life of the process; reading the
// environment each time lets tests point them at temporary folders.
std::string XdgFolder(const char* variable, const char* fallback_below_home) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  std::string base = (home && *home) ? home : g_get_home_dir();
  return base + "/" + fallback_below_home;
}

}  // namespace

std::string AppDataFolder() {
  return XdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string ConfigFolder() {
  return XdgFolder("XDG_CONFIG_HOME", ".config");
}

std::string ProgramFilesFolder() {
  return geteuid() == 0 ? "/opt" : AppDataFolder();
}

std::string RuntimeFolder() {
  const char* value = std::getenv("XDG_RUNTIME_DIR");
  if (value && value[0] == '/' && IsDirectory(value)) return value;
  return "/tmp";
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool CreateDirectoryTree(const std::string& path) {
  if (path.empty()) return false;
  if (IsDirectory(path)) return true;
  std::string prefix;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    prefix = path.substr(0, next);
    pos = next + 1;
    if (prefix.empty() || IsDirectory(prefix)) continue;
    if (mkdir(prefix.c_str(), 0755) != 0 && !(errno == EEXIST && IsDirectory(prefix))) {
      return false;
    }
  }
  return IsDirectory(path);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool RemoveFile(const std::string& path) {
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}

int64_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool CommitFile(const std::string& partial, const std::string& path) {
  return chmod(partial.c_str(), 0755) == 0 && std::rename(partial.c_str(), path.c_str()) == 0;
}

}  // namespace corvane
