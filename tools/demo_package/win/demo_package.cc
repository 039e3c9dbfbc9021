// The Windows demo package "corvaneInstaller.exe": a silent installer that
// puts the demo product (its own PRODUCT resource) into the folder named by
// "/D=", which it reads as package installers do: everything after " /D="
// to the end of the command line, blanks included, no quotes. Tests steer it
// through the environment, which the installer passes on unchanged:
//   CORVANE_DEMO_PACKAGE_LOG        file that receives one line per run
//   CORVANE_DEMO_PACKAGE_EXIT_CODES comma list, one entry per run ("kill" ends
//                                   the run with TerminateProcess, code 1 as
//                                   taskkill /F gives); the last entry repeats
//   CORVANE_DEMO_PACKAGE_COUNTER    file holding the number of runs so far
//   CORVANE_DEMO_PACKAGE_SLEEP_MS   pause before installing, for the demo
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/system/embedded_resource.h"
#include "app/system/folders.h"
#include "app/system/win/wide_text.h"
#include "tools/demo_package/outcome.h"
#include "tools/demo_product/start_record.h"

namespace {

constexpr int kNotSilent = 3;
constexpr int kNoDirectory = 4;
constexpr int kInstallFailed = 5;

std::string Env(const char* name) {
  const std::wstring wide = corvane::Utf8ToUtf16(name);
  wchar_t buffer[32768];
  const DWORD n = GetEnvironmentVariableW(wide.c_str(), buffer, 32768);
  return n > 0 && n < 32768 ? corvane::Utf16ToUtf8(std::wstring(buffer, n)) : std::string();
}

int NextRunIndex() {
  const std::string path = Env("CORVANE_DEMO_PACKAGE_COUNTER");
  if (path.empty()) return 0;
  const std::wstring wide = corvane::Utf8ToUtf16(path);
  int runs = 0;
  std::ifstream(wide.c_str()) >> runs;
  std::ofstream(wide.c_str(), std::ios::trunc) << runs + 1;
  return runs;
}

// The requested outcome of this run: an exit code, or -1 for "kill".
int RequestedOutcome(int run) {
  return demo::OutcomeOfRun(Env("CORVANE_DEMO_PACKAGE_EXIT_CODES"), run);
}

bool InstallProduct(const std::string& dir) {
  const std::optional<std::string> product = corvane::ReadEmbeddedResource("PRODUCT");
  if (!product || product->empty() || !corvane::CreateDirectoryTree(dir)) return false;
  const std::string target = corvane::JoinPath(dir, "corvane.exe");
  const std::string temp = target + ".part";
  {
    std::ofstream out(corvane::Utf8ToUtf16(temp).c_str(), std::ios::binary | std::ios::trunc);
    out.write(product->data(), static_cast<std::streamsize>(product->size()));
    if (!out.flush()) return false;
  }
  return corvane::CommitFile(temp, target);
}

}  // namespace

int wmain() {
  const std::wstring line = GetCommandLineW();
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::string> args;
  for (int i = 1; argv && i < count; ++i) args.push_back(corvane::Utf16ToUtf8(argv[i]));
  if (argv) LocalFree(argv);
  // A shell that quoted the whole argument ("/D=...") gets it read too.
  std::wstring folder;
  if (const size_t d = line.find(L" /D="); d != std::wstring::npos) {
    folder = line.substr(d + 4);
  } else if (const size_t q = line.find(L" \"/D="); q != std::wstring::npos) {
    folder = line.substr(q + 5);
    if (!folder.empty() && folder.back() == L'"') folder.pop_back();
  }
  const std::string dir = corvane::Utf16ToUtf8(folder);
  if (const std::string log = Env("CORVANE_DEMO_PACKAGE_LOG"); !log.empty()) {
    // The folder as read, then the arguments as the runtime splits them.
    std::vector<std::string> fields = {"dir=" + dir};
    fields.insert(fields.end(), args.begin(), args.end());
    corvane_demo::AppendStartRecord(log, static_cast<long>(GetCurrentProcessId()), fields);
  }
  bool silent = false;
  for (const std::string& a : args) silent = silent || a == "/S";
  if (!silent) return kNotSilent;
  if (dir.empty()) return kNoDirectory;
  if (const long ms = std::atol(Env("CORVANE_DEMO_PACKAGE_SLEEP_MS").c_str()); ms > 0) {
    Sleep(static_cast<DWORD>(ms));
  }
  const int outcome = RequestedOutcome(NextRunIndex());
  if (outcome == -1) TerminateProcess(GetCurrentProcess(), 1);
  if (outcome != 0) return outcome;
  return InstallProduct(dir) ? 0 : kInstallFailed;
}
