#include "app/package_download.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include <glib.h>

#include "app/command_line.h"
#include "app/endpoints.h"
#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/machine_info.h"
#include "app/system/folders.h"
#include "app/system/termination_cleanup.h"
#include "app/system_downloader.h"
#include "base/string_util.h"

namespace corvane {

namespace {

constexpr int kTransferTimeoutSeconds = 300;

constexpr char kPartialSuffix[] = ".part";

// A complete download becomes the package: executable, under its own name.
bool CommitPackage(const std::string& partial, const std::string& path) {
  return chmod(partial.c_str(), 0755) == 0 && std::rename(partial.c_str(), path.c_str()) == 0;
}

int64_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

}  // namespace

int64_t ElapsedSeconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
      .count();
}

std::wstring ComposeChannel(const std::optional<std::wstring>& resource_channel) {
  std::wstring channel = resource_channel ? *resource_channel : L"default";
  const std::wstring from_command_line = GetCommandLineValue(L"channel");
  if (!from_command_line.empty()) channel = from_command_line;
  if (channel == L"_upgrade") {
    const std::wstring stored = ReadRegistryString(kAppInfoKey, L"Channel");
    if (!stored.empty()) channel = stored;
  }
  return channel;
}

std::wstring EscapeChannelForUrl(const std::wstring& channel) {
  const std::string utf8 = nbase::WideToUTF8(channel);
  gchar* escaped = g_uri_escape_string(utf8.c_str(), nullptr, FALSE);
  std::wstring out = nbase::UTF8ToWide(escaped);
  g_free(escaped);
  return out;
}

DownloadSettings ComposeDownloadSettings() {
  DownloadSettings settings;
  std::wstring resource;
  settings.channel = ComposeChannel(
      ReadChannelResource(&resource) ? std::optional<std::wstring>(resource) : std::nullopt);
  settings.download_address =
      nbase::UTF8ToWide(PackageBaseUrl()) + L"&channel=" + EscapeChannelForUrl(settings.channel);
  const std::string folder = corvane::AppDataFolder() + "/corvane/Files";
  corvane::CreateDirectoryTree(folder);
  settings.package_path = nbase::NativePathToWide(folder + "/" + kPackageFileName);
  return settings;
}

std::wstring TransferAddress(const DownloadSettings& settings) {
  return settings.download_address + L"&donwloadtype=curl";
}

std::wstring OfflinePackageAddress() {
  return nbase::UTF8ToWide(PackageBaseUrl()) + L"&donwloadtype=offline";
}

DownloadOutcome RunDownloadPasses(const DownloadSettings& settings) {
  // Cost is measured on the steady clock: a wall-clock step must not turn
  // into a negative or enormous cost.
  const auto start = std::chrono::steady_clock::now();
  const std::string path = nbase::WideToNativePath(settings.package_path);
  const std::string address = nbase::WideToUTF8(settings.download_address);
  const std::string transfer = nbase::WideToUTF8(TransferAddress(settings));
  // The package gets its own name only when it is complete; until then it is
  // the partial file, which ending the installer by a signal removes too.
  const std::string partial = path + kPartialSuffix;
  const corvane::RemoveOnTermination cleanup(partial);
  DownloadOutcome outcome;
  while (true) {
    unlink(path.c_str());
    unlink(partial.c_str());
    // The system downloader gets web addresses only: it would copy a local
    // file as readily.
    if (IsWebAddress(address) && SystemDownload(address, partial, kTransferTimeoutSeconds) &&
        CommitPackage(partial, path)) {
      outcome.code = 0;
      break;
    }
    unlink(partial.c_str());
    HttpClient client(std::string(), 15, 2, 60);
    client.set_timeout(kTransferTimeoutSeconds);
    outcome.code = client.DownloadToFile(transfer, partial);
    if (outcome.code == 0 && !CommitPackage(partial, path)) outcome.code = CURLE_WRITE_ERROR;
    if (outcome.code == 0) break;
    unlink(partial.c_str());
    if (++outcome.retries >= kDownloadPasses) break;
  }
  outcome.cost_seconds = ElapsedSeconds(start);
  outcome.file_size = outcome.code == 0 ? FileSize(path) : -1;
  return outcome;
}

EventData DownloadRecordData(const DownloadOutcome& outcome) {
  EventData data{{L"cost", std::to_wstring(outcome.cost_seconds)},
                 {L"ret", std::to_wstring(outcome.code)},
                 {L"retryTime", std::to_wstring(outcome.retries)}};
  if (outcome.code == 0) data[L"fileSize"] = std::to_wstring(outcome.file_size);
  return data;
}

int DownloadPackage(const DownloadSettings& settings) {
  const DownloadOutcome outcome = RunDownloadPasses(settings);
  ReportEvent(L"DownloadTimeCost", DownloadRecordData(outcome));
  return outcome.code;
}

}  // namespace corvane
