#pragma once

#include <string>

namespace corvane {

// $XDG_DATA_HOME, else ~/.local/share: the application-data folder.
std::string AppDataFolder();

// $XDG_CONFIG_HOME, else ~/.config.
std::string ConfigFolder();

// The folder products are installed under: /opt for root, else the
// application-data folder.
std::string ProgramFilesFolder();

// $XDG_RUNTIME_DIR when it names a directory, else /tmp.
std::string RuntimeFolder();

bool IsDirectory(const std::string& path);
bool PathExists(const std::string& path);

// Creates `path` and every missing parent. False when a component exists but
// is not a directory or cannot be created.
bool CreateDirectoryTree(const std::string& path);

}  // namespace corvane
