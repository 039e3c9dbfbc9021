#include "app/package_download.h"

#include <chrono>
#include <cstdio>

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
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::wstring out;
  for (const char c : nbase::WideToUTF8(channel)) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                            byte == '_' || byte == '~';
    if (unreserved) {
      out += static_cast<wchar_t>(byte);
    } else {
      out += L'%';
      out += static_cast<wchar_t>(kHex[byte >> 4]);
      out += static_cast<wchar_t>(kHex[byte & 0xF]);
    }
  }
  return out;
}

DownloadSettings ComposeDownloadSettings() {
  DownloadSettings settings;
  std::wstring resource;
  settings.channel = ComposeChannel(
      ReadChannelResource(&resource) ? std::optional<std::wstring>(resource) : std::nullopt);
  settings.download_address =
      nbase::UTF8ToWide(PackageBaseUrl()) + L"&channel=" + EscapeChannelForUrl(settings.channel);
  const std::string folder =
      corvane::JoinPath(corvane::JoinPath(corvane::AppDataFolder(), "corvane"), "Files");
  corvane::CreateDirectoryTree(folder);
  settings.package_path = nbase::NativePathToWide(corvane::JoinPath(folder, kPackageFileName));
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
    corvane::RemoveFile(path);
    corvane::RemoveFile(partial);
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
      if (outcome.code == 0 && corvane::CommitFile(partial, path)) break;
    }
    // A package refused for its signature ends the pass; one that could not
    // take its name is fetched again through the HTTP library.
    if (!system_delivered || outcome.code == 0) {
      corvane::RemoveFile(partial);
      std::optional<Sha256Hasher> transfer_digest;
      if (checked) transfer_digest.emplace();
      HttpClient client(std::string(), 15, 2, 60);
      client.set_timeout(kTransferTimeoutSeconds);
      outcome.code =
          client.DownloadToFile(transfer, partial, transfer_digest ? &*transfer_digest : nullptr);
      if (outcome.code == 0 && checked) outcome.code = CheckSignature(settings, &*transfer_digest);
      if (outcome.code == 0 && !corvane::CommitFile(partial, path)) outcome.code = kHttpWriteError;
      if (outcome.code == 0) break;
    }
    corvane::RemoveFile(partial);
    if (++outcome.retries >= kDownloadPasses) break;
  }
  outcome.cost_seconds = ElapsedSeconds(start);
  outcome.file_size = outcome.code == 0 ? corvane::FileSize(path) : -1;
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
