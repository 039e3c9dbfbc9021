#include "app/system/folders.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "app/system/win/wide_text.h"

namespace corvane {

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id) {
  wchar_t* path = nullptr;
  std::string out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path) {
    out = Utf16ToUtf8(path);
  }
  CoTaskMemFree(path);
  return out;
}

DWORD Attributes(const std::string& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(Utf8ToUtf16(path).c_str());
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

}  // namespace

std::string AppDataFolder() {
  return KnownFolder(FOLDERID_RoamingAppData);
}

std::string ConfigFolder() {
  return KnownFolder(FOLDERID_RoamingAppData);
}

std::string ProgramFilesFolder() {
  // The product is a 32-bit program: "Program Files (x86)" on a 64-bit
  // system, the one program-files folder on a 32-bit one.
  return KnownFolder(FOLDERID_ProgramFilesX86);
}

std::string RuntimeFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring path = (n > 0 && n <= MAX_PATH) ? std::wstring(buffer, n) : std::wstring();
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return Utf16ToUtf8(path);
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::string& path) {
  return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool CreateDirectoryTree(const std::string& path) {
  if (path.empty()) return false;
  if (IsDirectory(path)) return true;
  // Every cumulative prefix at a separator, then the whole path; a drive
  // ("C:") or a share root is there already or cannot be made.
  for (size_t pos = 0; pos <= path.size(); ++pos) {
    if (pos < path.size() && !IsSeparator(path[pos])) continue;
    const std::string prefix = path.substr(0, pos);
    if (prefix.empty() || IsSeparator(prefix.back()) || prefix.back() == ':' ||
        IsDirectory(prefix)) {
      continue;
    }
    if (!CreateDirectoryW(Utf8ToUtf16(prefix).c_str(), nullptr) &&
        !(GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(prefix))) {
      // A share's server and share names are no folders to create.
      if (prefix.rfind("\\\\", 0) == 0) continue;
      return false;
    }
  }
  return IsDirectory(path);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return IsSeparator(folder.back()) ? folder + name : folder + "\\" + name;
}

bool RemoveFile(const std::string& path) {
  return DeleteFileW(Utf8ToUtf16(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
         GetLastError() == ERROR_PATH_NOT_FOUND;
}

int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Utf8ToUtf16(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return -1;
  }
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool CommitFile(const std::string& partial, const std::string& path) {
  return MoveFileExW(Utf8ToUtf16(partial).c_str(), Utf8ToUtf16(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

}  // namespace corvane
