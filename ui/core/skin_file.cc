#include "ui/core/skin_file.h"

#include "base/file_util.h"
#include "base/string_util.h"

namespace ui {

std::string SkinFilePath(const std::wstring& path) {
  return nbase::ResolvePathIgnoringCase(nbase::WideToUTF8(path));
}

bool IsAbsoluteSkinPath(const std::wstring& path) {
  return nbase::IsAbsolutePath(nbase::WideToUTF8(path));
}

}  // namespace ui
