// The Windows demo product "corvane.exe": it records that it was started,
// with which arguments, and stays alive for a while when asked, so that tests
// and the demo see it in the process snapshot.
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/system/folders.h"
#include "app/system/win/wide_text.h"
#include "tools/demo_product/start_record.h"

namespace {

std::string Env(const wchar_t* name) {
  wchar_t buffer[32768];
  const DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
  return n > 0 && n < 32768 ? corvane::Utf16ToUtf8(std::wstring(buffer, n)) : std::string();
}

std::string LogPath() {
  if (std::string p = Env(L"CORVANE_DEMO_PRODUCT_LOG"); !p.empty()) return p;
  const std::string dir = corvane::JoinPath(corvane::AppDataFolder(), "corvane");
  corvane::CreateDirectoryTree(dir);
  return corvane::JoinPath(dir, "product-starts.log");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t exe[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::vector<std::string> fields = {corvane::Utf16ToUtf8(std::wstring(exe, n))};
  long stay_ms = std::atol(Env(L"CORVANE_DEMO_PRODUCT_STAY_MS").c_str());
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; argv && i < count; ++i) {
    fields.push_back(corvane::Utf16ToUtf8(argv[i]));
    if (fields.back() == "--stay-ms" && i + 1 < count) stay_ms = _wtol(argv[i + 1]);
  }
  if (argv) LocalFree(argv);
  if (!corvane_demo::AppendStartRecord(LogPath(), static_cast<long>(GetCurrentProcessId()),
                                       fields)) {
    return 1;
  }
  if (stay_ms > 0) Sleep(static_cast<DWORD>(stay_ms));
  return 0;
}
