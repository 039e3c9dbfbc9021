#include "tests/app/win/win_test_support.h"

#include <shellapi.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "app/http_client.h"
#include "app/system/win/command_line_quote.h"
#include "app/system/win/wide_text.h"

namespace win_test {

using corvane::Utf16ToUtf8;
using corvane::Utf8ToUtf16;

namespace {

// The vendor service outlives a crashed test by at most this long.
constexpr int kServiceLifetimeSeconds = 600;

void RemoveTree(const std::wstring& path) {
  // Double-zero-terminated list of one path.
  std::wstring from = path + L'\0';
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationW(&op);
}

}  // namespace

TempDir::TempDir() {
  wchar_t base[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, base);
  static int counter = 0;
  const std::wstring path = std::wstring(base) + L"corvane-test-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++counter) + L"-" + std::to_wstring(GetTickCount64());
  CreateDirectoryW(path.c_str(), nullptr);
  path_ = Utf16ToUtf8(path);
}

TempDir::~TempDir() {
  RemoveTree(path_);
}

void RemoveTree(const std::string& path) {
  RemoveTree(Utf8ToUtf16(path));
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(Utf8ToUtf16(name)) {
  wchar_t buffer[32768];
  const DWORD n = GetEnvironmentVariableW(name_.c_str(), buffer, 32768);
  had_ = n > 0 && n < 32768;
  if (had_) old_.assign(buffer, n);
  SetEnvironmentVariableW(name_.c_str(), Utf8ToUtf16(value).c_str());
}

ScopedEnv::~ScopedEnv() {
  SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  std::vector<std::wstring> wide;
  for (const std::string& a : argv) wide.push_back(Utf8ToUtf16(a));
  std::wstring line = corvane::BuildCommandLine(wide);
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  auto open = [&inherit](const std::string& path) {
    return CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE out = open(dir_.Sub("out.txt"));
  HANDLE err = open(dir_.Sub("err.txt"));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION info = {};
  if (CreateProcessW(wide.empty() ? nullptr : wide[0].c_str(), line.data(), nullptr, nullptr, TRUE,
                     0, nullptr, nullptr, &startup, &info)) {
    CloseHandle(info.hThread);
    process_ = info.hProcess;
  }
  CloseHandle(out);
  CloseHandle(err);
}

ChildProcess::~ChildProcess() {
  if (!process_) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) Kill();
  CloseHandle(process_);
}

bool ChildProcess::Wait(int seconds) {
  if (!process_ || WaitForSingleObject(process_, seconds * 1000) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  exit_code_ = code;
  return true;
}

void ChildProcess::Kill() {
  if (!process_) return;
  TerminateProcess(process_, 1);
  WaitForSingleObject(process_, 10000);
}

std::string ChildProcess::output() const {
  return ReadFile(dir_.Sub("out.txt"));
}

std::string ChildProcess::errors() const {
  return ReadFile(dir_.Sub("err.txt"));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(std::filesystem::path(Utf8ToUtf16(path)), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(std::filesystem::path(Utf8ToUtf16(path)), std::ios::binary | std::ios::trunc)
      << data;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(Utf8ToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return Utf16ToUtf8(folder.substr(0, folder.find_last_of(L"\\/")));
}

std::string SourcePath(const std::string& relative) {
  // The source tree is a Unix path; Wine shows the root as drive Z:.
  std::string path = "Z:" + std::string(CORVANE_SOURCE_DIR) + "/" + relative;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

void WriteRandomFile(const std::string& path, size_t size) {
  std::mt19937 random(7);
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>(random());
  WriteFile(path, data);
}

VendorService::VendorService(const std::vector<std::string>& options) {
  const std::string port_file = dir_.Sub("port");
  // Unix paths for the Unix process: Wine maps drive Z: to the root.
  auto unix_path = [](std::string path) {
    if (path.rfind("Z:", 0) == 0 || path.rfind("z:", 0) == 0) path = path.substr(2);
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    return path;
  };
  auto to_unix = [&unix_path](const std::string& windows_path) {
    // Wine's own mapping of a DOS path to a Unix one.
    using GetUnixFileName = char* (*)(const wchar_t*);
    static auto get_unix = reinterpret_cast<GetUnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (get_unix) {
      if (char* name = get_unix(Utf8ToUtf16(windows_path).c_str())) {
        std::string out(name);
        HeapFree(GetProcessHeap(), 0, name);
        return out;
      }
    }
    return unix_path(windows_path);
  };
  std::vector<std::wstring> argv = {
      L"Z:\\usr\\bin\\python3",
      Utf8ToUtf16(unix_path(SourcePath("tools/vendor_service/vendor_service.py"))),
      L"--port",
      L"0",
      L"--port-file",
      Utf8ToUtf16(to_unix(port_file)),
      L"--statistics-log",
      Utf8ToUtf16(to_unix(dir_.Sub("statistics.jsonl"))),
      L"--access-log",
      Utf8ToUtf16(to_unix(dir_.Sub("access.jsonl"))),
      L"--max-lifetime",
      std::to_wstring(kServiceLifetimeSeconds),
      L"--allow-shutdown",
      L"--error-log",
      Utf8ToUtf16(to_unix(dir_.Sub("errors.log")))};
#ifdef CORVANE_DEMO_SIGNING_KEY
  // Packages are signed with the build's demo key, which the installer carries.
  argv.push_back(L"--signing-key");
  argv.push_back(Utf8ToUtf16(CORVANE_DEMO_SIGNING_KEY));
#endif
  for (size_t i = 0; i < options.size(); ++i) {
    // Files named by the options are Windows paths here.
    const bool is_file =
        i > 0 && (options[i - 1] == "--package" || options[i - 1] == "--windows-package");
    argv.push_back(Utf8ToUtf16(is_file ? to_unix(options[i]) : options[i]));
  }
  std::wstring line = corvane::BuildCommandLine(argv);
  // Its output would only clutter the test's.
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE null_device = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_device;
  startup.hStdOutput = null_device;
  startup.hStdError = null_device;
  PROCESS_INFORMATION process = {};
  // Wine starts a Unix program and does not wait for it: no handle stays.
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(null_device);
  for (int i = 0; i < 200 && port_ == 0; ++i) {
    const std::string text = ReadFile(port_file);
    if (!text.empty() && text.back() == '\n') port_ = std::atoi(text.c_str());
    if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

VendorService::~VendorService() {
  if (!ok()) return;
  corvane::HttpClient client(std::string(), 5, 1, 60);
  std::string response;
  client.PostForm("http://127.0.0.1:" + std::to_string(port_) + "/shutdown", "", &response);
}

std::string VendorService::base_url() const {
  return "http://127.0.0.1:" + std::to_string(port_) +
         "/caller?c=site&a=downloadPackage&os=windows";
}

std::string VendorService::statistics_url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/caller?c=site&a=writelog";
}

std::vector<std::string> VendorService::AccessLines() const {
  return Lines(ReadFile(dir_.Sub("access.jsonl")));
}

std::vector<std::string> VendorService::StatisticsLines() const {
  return Lines(ReadFile(dir_.Sub("statistics.jsonl")));
}

}  // namespace win_test
