#include "app/system/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include <glib.h>

#include "app/system/folders.h"

namespace corvane {

namespace {

struct KeyFileDeleter {
  void operator()(GKeyFile* k) const { g_key_file_free(k); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileDeleter>;

// The store holds a handful of short values; anything far larger is not ours.
constexpr size_t kMaxStoreBytes = 1 << 20;

enum class FileState { kMissing, kRead, kUnusable };

// Reads the file only when it is a regular file. The open does not block, so
// a named pipe (or device) at the path cannot stall start-up.
FileState ReadRegularFile(const std::string& path, std::string* data) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FileState::kMissing : FileState::kUnusable;
  struct stat st;
  FileState state = FileState::kUnusable;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<uint64_t>(st.st_size) <= kMaxStoreBytes) {
    data->clear();
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof(buffer))) > 0 && data->size() <= kMaxStoreBytes) {
      data->append(buffer, static_cast<size_t>(n));
    }
    if (n == 0) state = FileState::kRead;
  }
  close(fd);
  return state;
}

bool KeyFileAccepts(const std::string& text) {
  KeyFilePtr probe(g_key_file_new());
  return g_key_file_load_from_data(probe.get(), text.data(), text.size(), G_KEY_FILE_NONE, nullptr);
}

// Keeps the lines a key file can hold (groups, key=value lines inside a
// readable group, comments, blank lines) and drops the others, so one stray
// line costs only itself. Keys under a group header that cannot be read are
// dropped with it rather than being filed under the group before.
std::string ReadableLines(std::string_view text) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(3);
  std::string out;
  bool in_group = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string line(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    bool keep;
    if (first == std::string::npos || line[first] == '#') {
      keep = true;
    } else if (line[first] == '[') {
      keep = in_group = KeyFileAccepts(line);
    } else {
      keep = in_group && KeyFileAccepts("[g]\n" + line);
    }
    if (keep) out += line + "\n";
  }
  return out;
}

// An empty key file when the file is missing or holds nothing readable.
FileState LoadKeyFile(const std::string& path, KeyFilePtr* file) {
  file->reset(g_key_file_new());
  std::string raw;
  const FileState state = ReadRegularFile(path, &raw);
  if (state == FileState::kRead) {
    const std::string text = ReadableLines(raw);
    if (!g_key_file_load_from_data(file->get(), text.data(), text.size(), G_KEY_FILE_KEEP_COMMENTS,
                                   nullptr)) {
      file->reset(g_key_file_new());
    }
  }
  return state;
}

bool WriteAllAndSync(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return fsync(fd) == 0;
}

}  // namespace

SettingsStore::SettingsStore(const std::string& key_path) {
  std::string relative = key_path;
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  const std::string software = "Software/";
  if (relative.rfind(software, 0) == 0) relative.erase(0, software.size());
  const size_t slash = relative.rfind('/');
  group_ = slash == std::string::npos ? relative : relative.substr(slash + 1);
  file_path_ = ConfigFolder() + "/" + relative + ".ini";
}

std::string SettingsStore::Read(const std::string& name) const {
  KeyFilePtr file;
  LoadKeyFile(file_path_, &file);
  gchar* value = g_key_file_get_string(file.get(), group_.c_str(), name.c_str(), nullptr);
  if (!value) return std::string();
  std::string result(value);
  g_free(value);
  return result;
}

bool SettingsStore::Write(const std::string& name, const std::string& value) const {
  const std::string folder = file_path_.substr(0, file_path_.rfind('/'));
  if (!CreateDirectoryTree(folder)) return false;
  KeyFilePtr file;
  // Something at the path that is not a readable regular file is not ours
  // to replace.
  if (LoadKeyFile(file_path_, &file) == FileState::kUnusable) return false;
  g_key_file_set_string(file.get(), group_.c_str(), name.c_str(), value.c_str());
  gsize length = 0;
  gchar* data = g_key_file_to_data(file.get(), &length, nullptr);
  if (!data) return false;

  std::string temp = file_path_ + ".XXXXXX";
  const int fd = g_mkstemp_full(temp.data(), O_WRONLY | O_CLOEXEC, 0600);
  bool ok = fd >= 0 && WriteAllAndSync(fd, data, length);
  g_free(data);
  if (fd >= 0) ok = (close(fd) == 0) && ok;
  ok = ok && std::rename(temp.c_str(), file_path_.c_str()) == 0;
  if (!ok && fd >= 0) unlink(temp.c_str());
  return ok;
}

}  // namespace corvane
