#include "app/system/settings_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include <glib.h>

#include "app/system/folders.h"

namespace corvane {

namespace {

struct KeyFileDeleter {
  void operator()(GKeyFile* k) const { g_key_file_free(k); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileDeleter>;

KeyFilePtr LoadKeyFile(const std::string& path) {
  KeyFilePtr file(g_key_file_new());
  // Errors (missing or corrupt file) leave an empty key file.
  if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
    file.reset(g_key_file_new());
  }
  return file;
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
  KeyFilePtr file = LoadKeyFile(file_path_);
  gchar* value = g_key_file_get_string(file.get(), group_.c_str(), name.c_str(), nullptr);
  if (!value) return std::string();
  std::string result(value);
  g_free(value);
  return result;
}

bool SettingsStore::Write(const std::string& name, const std::string& value) const {
  const std::string folder = file_path_.substr(0, file_path_.rfind('/'));
  if (!CreateDirectoryTree(folder)) return false;
  KeyFilePtr file = LoadKeyFile(file_path_);
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
