#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// Paths are file-system bytes on Linux and UTF-8 on Windows.

// The application-data folder: $XDG_DATA_HOME, else ~/.local/share; the
// roaming application data on Windows.
std::string AppDataFolder();

// $XDG_CONFIG_HOME, else ~/.config; the roaming application data on Windows.
std::string ConfigFolder();

// The folder products are installed under: /opt for root, else the
// application-data folder; the 32-bit program files on Windows.
std::string ProgramFilesFolder();

// $XDG_RUNTIME_DIR when it names a directory, else /tmp; the temporary
// folder on Windows.
std::string RuntimeFolder();

// `folder` and `name` joined with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

bool IsDirectory(const std::string& path);
bool PathExists(const std::string& path);

// Removes the file `path`; true when it is gone afterwards.
bool RemoveFile(const std::string& path);

// Size of the file `path` in bytes; -1 when it is missing.
int64_t FileSize(const std::string& path);

// Gives the complete file `partial` its final name `path`, replacing what
// is there; on Linux it becomes executable as well.
bool CommitFile(const std::string& partial, const std::string& path);

// Creates `path` and every missing parent. False when a component exists but
// is not a directory or cannot be created.
bool CreateDirectoryTree(const std::string& path);

}  // namespace corvane
