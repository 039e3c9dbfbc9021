#pragma once

#include <string>

namespace corvane {

// The per-user settings store: one key file per key path under the config
// folder ("Software\corvane\AppInfo" is corvane/AppInfo.ini), one group named
// after the last component. Stands in for a registry key of the current user.
class SettingsStore {
 public:
  explicit SettingsStore(const std::string& key_path);

  // Empty when the file, the group or the value is missing, or the file is
  // corrupt.
  std::string Read(const std::string& name) const;

  // Keeps every other value; a corrupt file is replaced. The file is written
  // to a temporary file, synced and renamed over the old one, so a crash
  // leaves either the old or the new file. False when it cannot be written.
  bool Write(const std::string& name, const std::string& value) const;

  const std::string& file_path() const { return file_path_; }

 private:
  std::string file_path_;
  std::string group_;
};

}  // namespace corvane
