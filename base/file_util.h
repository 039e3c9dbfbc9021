#pragma once

#include <string>

namespace nbase {

// Skins were authored for a file system that ignores letter case, and they
// name some files with another case than the files on disk have. Returns
// `path` when it exists as written; otherwise the existing path whose
// components match it ignoring ASCII case (the first match in directory order
// when several do); otherwise `path` unchanged. On Windows, whose file systems
// ignore case, that is always `path` (UTF-8 there).
std::string ResolvePathIgnoringCase(const std::string& path);

}  // namespace nbase
