#pragma once

#include <string>

namespace corvane {

// The per-user settings store. On Windows it is the registry key
// HKEY_CURRENT_USER\<key path> itself, with REG_SZ values (file_path() names
// the key; only string values read as text). On Linux it stands in for that
// key: one key file per key path under the config folder
// ("Software\corvane\AppInfo" is corvane/AppInfo.ini), one group named
// after the last component; what follows describes that file.
class SettingsStore {
 public:
  explicit SettingsStore(const std::string& key_path);

  // Empty when the file, the group or the value is missing or unreadable.
  // The file is read leniently: a byte-order mark is skipped, and so is
  // every line that is not a group, key=value pair, comment or blank line;
  // the other keys stay readable. Only a regular file is opened (a named
  // pipe at the path reads as empty instead of blocking). Whatever the file's
  // size, reading is one pass through a 64 KiB buffer keeping only the value
  // asked for; a line longer than that is nobody's value and is skipped.
  std::string Read(const std::string& name) const;

  // Copies the file with `name` set to `value` into a temporary file, synced
  // and renamed over the old one, so a crash leaves either the old or the new
  // file. Every other key, group, comment and over-long line goes through
  // unchanged, in the same bounded memory as Read; lines a key file cannot
  // hold (and keys under an unreadable group header) are left out. False,
  // with the old file untouched, when it cannot be written, when it cannot be
  // read to its end, or when the path holds something other than a readable
  // regular file (which is left alone).
  bool Write(const std::string& name, const std::string& value) const;

  const std::string& file_path() const { return file_path_; }

 private:
  std::string file_path_;
  std::string group_;
};

}  // namespace corvane
