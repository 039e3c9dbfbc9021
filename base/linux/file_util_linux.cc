#include "base/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

ReadFileStatus ReadWholeFile(const std::string& path, size_t max_size, std::string* contents) {
  contents->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ReadFileStatus::kCannotOpen;
  struct stat st;
  ReadFileStatus status = ReadFileStatus::kOk;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    status = ReadFileStatus::kCannotOpen;
  } else if (static_cast<unsigned long long>(st.st_size) > max_size) {
    status = ReadFileStatus::kTooLarge;
  } else {
    contents->resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < contents->size()) {
      const ssize_t n = ::read(fd, contents->data() + done, contents->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    // A file that shrank while it was read is not read whole.
    if (done != contents->size()) status = ReadFileStatus::kReadError;
  }
  ::close(fd);
  if (status != ReadFileStatus::kOk) contents->clear();
  return status;
}

bool IsAbsolutePath(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

}  // namespace nbase
