#include "ui/core/skin_file.h"

#include "base/file_util.h"
#include "base/string_util.h"

namespace ui {

namespace {

std::filesystem::path FromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

std::filesystem::path SkinFilePath(const std::wstring& path) {
  return FromUtf8(nbase::ResolvePathIgnoringCase(nbase::WideToUTF8(path)));
}

bool IsAbsoluteSkinPath(const std::wstring& path) {
  return FromUtf8(nbase::WideToUTF8(path)).is_absolute();
}

}  // namespace ui
