#include "base/file_util.h"

#include <dirent.h>
#include <sys/stat.h>

#include <strings.h>

#include "base/string_util.h"

namespace nbase {

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The entry of `dir` named `name` ignoring ASCII case, or empty.
std::string FindEntryIgnoringCase(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return std::string();
  std::string found;
  while (const dirent* entry = ::readdir(d)) {
    // strcasecmp folds ASCII only in the C locale, which is all skins need.
    if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

}  // namespace

std::string ResolvePathIgnoringCase(const std::string& path) {
  if (path.empty() || Exists(path)) return path;
  const bool absolute = path[0] == '/';
  std::string resolved = absolute ? "/" : "";
  for (const std::string& part : StringTokenize(path, "/")) {
    std::string next =
        resolved.empty() || resolved.back() == '/' ? resolved + part : resolved + "/" + part;
    if (part == "." || part == ".." || Exists(next)) {
      resolved = std::move(next);
      continue;
    }
    const std::string entry = FindEntryIgnoringCase(resolved, part);
    if (entry.empty()) return path;
    resolved =
        resolved.empty() || resolved.back() == '/' ? resolved + entry : resolved + "/" + entry;
  }
  return resolved;
}

}  // namespace nbase
