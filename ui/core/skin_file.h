#pragma once

// Paths of skin files on disk.

#include <string>

namespace ui {

// The file system's form of a skin path (UTF-8): letter case resolved as on
// disk, since skins were written for a file system that ignores it.
std::string SkinFilePath(const std::wstring& path);

// Whether a skin path names its file from the root ("/x" here, "C:/x" on
// Windows) rather than from the resource root.
bool IsAbsoluteSkinPath(const std::wstring& path);

}  // namespace ui
