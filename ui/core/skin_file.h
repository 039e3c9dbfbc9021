#pragma once

// Paths of skin files on disk.

#include <filesystem>
#include <string>

namespace ui {

// The file system's form of a skin path: letter case resolved as on disk
// (skins were written for a file system that ignores it) and the text in the
// platform's own encoding.
std::filesystem::path SkinFilePath(const std::wstring& path);

// Whether a skin path names its file from the root ("/x" here, "C:/x" on
// Windows) rather than from the resource root.
bool IsAbsoluteSkinPath(const std::wstring& path);

}  // namespace ui
