#pragma once

#include <cstddef>
#include <string>

namespace nbase {

// Skins were authored for a file system that ignores letter case, and they
// name some files with another case than the files on disk have. Returns
// `path` when it exists as written; otherwise the existing path whose
// components match it ignoring ASCII case (the first match in directory order
// when several do); otherwise `path` unchanged. On Windows, whose file systems
// ignore case, that is always `path` (UTF-8 there).
std::string ResolvePathIgnoringCase(const std::string& path);

enum class ReadFileStatus { kOk, kCannotOpen, kTooLarge, kReadError };

// Reads the regular file at `path` (its bytes on Linux, UTF-8 on Windows)
// whole into `contents`. A file over `max_size` bytes is refused unread;
// anything but a regular file cannot be opened. Plain system calls rather
// than the C++ streams, whose locale machinery would double the size of a
// statically linked program.
ReadFileStatus ReadWholeFile(const std::string& path, size_t max_size, std::string* contents);

// Whether `path` names its file from the root: "/x" on Linux; "C:\x",
// "C:/x" or a "\\server\share" path on Windows.
bool IsAbsolutePath(const std::string& path);

}  // namespace nbase
