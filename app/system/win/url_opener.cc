#include "app/system/url_opener.h"

#include <windows.h>

#include <shellapi.h>

#include "app/system/win/wide_text.h"

namespace corvane {

bool LaunchUri(const std::string& uri) {
  if (uri.empty()) return false;
  const std::wstring address = Utf8ToUtf16(uri);
  // ShellExecuteW reports success as a value above 32.
  auto opened = [](HINSTANCE result) { return reinterpret_cast<INT_PTR>(result) > 32; };
  if (opened(ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOW))) {
    return true;
  }
  return opened(
      ShellExecuteW(nullptr, L"open", L"IEXPLORE.EXE", address.c_str(), nullptr, SW_SHOW));
}

}  // namespace corvane
