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

// The vendor's signature over the digest of the delivered bytes: 0, or 3
// when it is missing, unreadable or made by no stamped key.
int CheckSignature(const DownloadSettings& settings, Sha256Hasher* hasher) {
  const std::optional<Sha256Digest> digest = hasher->Finish();
  if (!digest) return kResultPackageNotSigned;
  // Fetched the way the package was: same limits, same redirects.
  HttpClient client(std::string(), 15, 2, 60);
  client.set_timeout(kTransferTimeoutSeconds);
  std::string body;
  if (client.FetchText(nbase::WideToUTF8(SignatureAddress(settings)), kMaxSignatureBodyBytes,
                       &body) != 0) {
    return kResultPackageNotSigned;
  }
  return PackageSignatureMatches(settings.package_keys, *digest, body) ? 0
                                                                       : kResultPackageNotSigned;
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
  settings.package_keys = ReadPackageKeyResource();
  return settings;
}

std::wstring TransferAddress(const DownloadSettings& settings) {
  return settings.download_address + L"&donwloadtype=curl";
}

std::wstring SignatureAddress(const DownloadSettings& settings) {
  return settings.download_address + L"&donwloadtype=sig";
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
  const bool checked = settings.package_keys.stamped;
  DownloadOutcome outcome;
  while (true) {
    unlink(path.c_str());
    unlink(partial.c_str());
    // Each route hashes what it writes; a route that delivered nothing
    // leaves its digest unused.
    std::optional<Sha256Hasher> system_digest;
    if (checked) system_digest.emplace();
    // The system downloader gets web addresses only: it would copy a local
    // file as readily.
    const bool system_delivered =
        IsWebAddress(address) && SystemDownload(address, partial, kTransferTimeoutSeconds,
                                                system_digest ? &*system_digest : nullptr);
    if (system_delivered) {
      outcome.code = checked ? CheckSignature(settings, &*system_digest) : 0;
      if (outcome.code == 0 && CommitPackage(partial, path)) break;
    }
    // A package refused for its signature ends the pass; one that could not
    // take its name is fetched again through the HTTP library.
    if (!system_delivered || outcome.code == 0) {
      unlink(partial.c_str());
      std::optional<Sha256Hasher> transfer_digest;
      if (checked) transfer_digest.emplace();
      HttpClient client(std::string(), 15, 2, 60);
      client.set_timeout(kTransferTimeoutSeconds);
      outcome.code =
          client.DownloadToFile(transfer, partial, transfer_digest ? &*transfer_digest : nullptr);
      if (outcome.code == 0 && checked) outcome.code = CheckSignature(settings, &*transfer_digest);
      if (outcome.code == 0 && !CommitPackage(partial, path)) outcome.code = CURLE_WRITE_ERROR;
      if (outcome.code == 0) break;
    }
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
