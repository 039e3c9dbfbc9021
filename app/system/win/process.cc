#include "app/system/process.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>

#include "app/system/termination_cleanup.h"
#include "app/system/win/command_line_quote.h"
#include "app/system/win/wide_text.h"

namespace corvane {

namespace {

std::vector<std::wstring> WideArguments(const std::vector<std::string>& argv) {
  std::vector<std::wstring> out;
  out.reserve(argv.size());
  for (const std::string& a : argv) out.push_back(Utf8ToUtf16(a));
  return out;
}

// Starts `argv` (the program by its path unless `search_path`); 0 or the
// Win32 error code.
int Start(const std::vector<std::string>& argv, bool search_path, bool hidden, DWORD flags,
          PROCESS_INFORMATION* process) {
  if (argv.empty() || argv[0].empty()) return ERROR_FILE_NOT_FOUND;
  const std::vector<std::wstring> wide = WideArguments(argv);
  std::wstring line = BuildCommandLine(wide);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  // With an application name the program is that file and nothing is
  // searched; the command line is still what the child sees as its argv.
  // No handle is inherited.
  if (!CreateProcessW(search_path ? nullptr : wide[0].c_str(), line.data(), nullptr, nullptr, FALSE,
                      flags, nullptr, nullptr, &startup, process)) {
    return static_cast<int>(GetLastError());
  }
  return 0;
}

int SpawnDetachedImpl(const std::vector<std::string>& argv, bool search_path) {
  PROCESS_INFORMATION process = {};
  const int rc = Start(argv, search_path, /*hidden=*/false, CREATE_NEW_PROCESS_GROUP, &process);
  if (rc != 0) return rc;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

}  // namespace

int RunProcess(const std::vector<std::string>& argv) {
  PROCESS_INFORMATION process = {};
  const int rc = Start(argv, /*search_path=*/false, /*hidden=*/true, 0, &process);
  if (rc != 0) return rc;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  const int result =
      GetExitCodeProcess(process.hProcess, &code) ? static_cast<int>(code) : kExitCodeUnreadable;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

int SpawnDetached(const std::vector<std::string>& argv) {
  return SpawnDetachedImpl(argv, false);
}

int SpawnDetachedSearchPath(const std::vector<std::string>& argv) {
  return SpawnDetachedImpl(argv, true);
}

bool IsProcessRunning(const std::string& name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  const std::wstring wanted = Utf8ToUtf16(name);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  bool found = false;
  // The whole executable name, letter case included.
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry)) {
    found = wanted == entry.szExeFile;
  }
  CloseHandle(snapshot);
  return found;
}

void EndProcessNow(int exit_code) {
  // A download cut off here must not leave its partial file behind.
  RemoveGuardedFiles();
  // What was printed reaches the console or the caller's pipe.
  std::fflush(nullptr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exit_code));
  ExitProcess(static_cast<UINT>(exit_code));
}

}  // namespace corvane
