#include "base/file_util.h"

#include <windows.h>

#include <algorithm>

#include "base/string_util.h"

namespace nbase {

// Windows' file systems ignore letter case themselves: every spelling of an
// existing path opens it, so the path as written is the answer.
std::string ResolvePathIgnoringCase(const std::string& path) {
  return path;
}

ReadFileStatus ReadWholeFile(const std::string& path, size_t max_size, std::string* contents) {
  contents->clear();
  const std::wstring wide = UTF8ToWide(path);
  HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ReadFileStatus::kCannotOpen;
  ReadFileStatus status = ReadFileStatus::kOk;
  LARGE_INTEGER size = {};
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
    status = ReadFileStatus::kCannotOpen;
  } else if (static_cast<unsigned long long>(size.QuadPart) > max_size) {
    status = ReadFileStatus::kTooLarge;
  } else {
    contents->resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < contents->size()) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(contents->size() - done, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(file, contents->data() + done, want, &got, nullptr) || got == 0) break;
      done += got;
    }
    // A file that shrank while it was read is not read whole.
    if (done != contents->size()) status = ReadFileStatus::kReadError;
  }
  ::CloseHandle(file);
  if (status != ReadFileStatus::kOk) contents->clear();
  return status;
}

bool IsAbsolutePath(const std::string& path) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 2 && separator(path[0]) && separator(path[1])) return true;
  const bool letter = path.size() >= 3 &&
                      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return letter && path[1] == ':' && separator(path[2]);
}

}  // namespace nbase
