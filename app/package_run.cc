#include "app/package_run.h"

#include "app/endpoints.h"
#include "app/installer_constants.h"
#include "app/package_download.h"
#include "app/system/folders.h"
#include "app/system/os_info.h"
#include "app/system/process.h"
#include "app/system/url_opener.h"
#include "base/string_util.h"

namespace corvane {

std::vector<std::string> PackageArguments(const std::wstring& package_path,
                                          const std::wstring& install_dir) {
  return {nbase::WideToNativePath(package_path), "/S",
          "/D=" + nbase::WideToNativePath(install_dir)};
}

PackageRunOutcome RunPackageRuns(const std::wstring& package_path,
                                 const std::wstring& install_dir) {
  const auto start = std::chrono::steady_clock::now();
  PackageRunOutcome outcome;
  while (true) {
    outcome.code = corvane::RunProcess(PackageArguments(package_path, install_dir));
    if (outcome.code == 0) break;
    if (++outcome.retries >= kPackageRuns) break;
  }
  outcome.cost_seconds = ElapsedSeconds(start);
  return outcome;
}

EventData InstallRecordData(const PackageRunOutcome& outcome) {
  return {{L"cost", std::to_wstring(outcome.cost_seconds)},
          {L"ret", std::to_wstring(outcome.code)},
          {L"retryTime", std::to_wstring(outcome.retries)}};
}

int RunPackage(const std::wstring& package_path, const std::wstring& install_dir) {
  const PackageRunOutcome outcome = RunPackageRuns(package_path, install_dir);
  ReportEvent(L"InstallTimeCost", InstallRecordData(outcome));
  return outcome.code;
}

bool IsProductRunning() {
  return corvane::IsProcessRunning(kProductExecutable);
}

std::wstring ProductExecutable(const std::wstring& install_dir) {
  return nbase::NativePathToWide(
      corvane::JoinPath(nbase::WideToNativePath(install_dir), kProductExecutable));
}

int LaunchProduct(const std::wstring& install_dir) {
  std::vector<std::string> argv = {nbase::WideToNativePath(ProductExecutable(install_dir))};
  if (corvane::ProductLaunchNeedsGpuOff()) argv.push_back("--disable-gpu");
  return corvane::SpawnDetached(argv);
}

std::wstring TrimUrl(const std::wstring& address) {
  auto trimmed = [](wchar_t c) { return c == 32 || c <= 29; };
  size_t begin = 0;
  size_t end = address.size();
  while (begin < end && trimmed(address[begin])) ++begin;
  while (end > begin && trimmed(address[end - 1])) --end;
  return address.substr(begin, end - begin);
}

bool OpenUrl(const std::wstring& address) {
  const std::string url = nbase::WideToUTF8(TrimUrl(address));
  // Every page opened here is a web page; a local file or another scheme
  // would start whatever program handles it.
  if (!IsWebAddress(url)) return false;
  return corvane::LaunchUri(url);
}

}  // namespace corvane
