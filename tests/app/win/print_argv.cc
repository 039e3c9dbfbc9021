// A child for the process tests: writes its command line as the system
// splits it, one UTF-8 argument a line, and the raw line's text after
// " /D=" (as package installers read it), to the file named by
// CORVANE_ARGV_OUT; then exits with CORVANE_ARGV_EXIT (default 0) or, with
// CORVANE_ARGV_SLEEP_MS, first sleeps.
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[4096];
  const DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
  return n > 0 && n < 4096 ? std::wstring(buffer, n) : std::wstring();
}

}  // namespace

int wmain() {
  const std::wstring out_path = Env(L"CORVANE_ARGV_OUT");
  const std::wstring line = GetCommandLineW();
  if (!out_path.empty()) {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(line.c_str(), &count);
    std::string text;
    for (int i = 0; i < count; ++i) text += "arg\t" + Utf8(argv[i]) + "\n";
    LocalFree(argv);
    const size_t d = line.find(L" /D=");
    if (d != std::wstring::npos) text += "dir\t" + Utf8(line.substr(d + 4)) + "\n";
    HANDLE file = CreateFileW(out_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
  }
  if (const std::wstring sleep = Env(L"CORVANE_ARGV_SLEEP_MS"); !sleep.empty()) {
    Sleep(static_cast<DWORD>(_wtoi(sleep.c_str())));
  }
  const std::wstring code = Env(L"CORVANE_ARGV_EXIT");
  return code.empty() ? 0 : _wtoi(code.c_str());
}
