#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/package_signature.h"
#include "app/statistics.h"

namespace corvane {

// Fixed when the main window is built; never changed afterwards.
struct DownloadSettings {
  std::wstring channel;
  std::wstring download_address;  // base + "&channel=" + escaped channel
  // File-system bytes kept losslessly (nbase::NativePathToWide).
  std::wstring package_path;
  // When stamped, a package is kept only with a valid signature.
  PackageKeys package_keys;
};

struct DownloadOutcome {
  int code = 0;              // 0, 1, 2, 3 or a libcurl code
  int retries = 0;           // failed passes
  int64_t cost_seconds = 0;  // whole seconds
  int64_t file_size = -1;    // bytes; -1 when the file is missing
};

constexpr int kDownloadPasses = 5;

// Whole seconds since `start`, rounded toward zero.
int64_t ElapsedSeconds(std::chrono::steady_clock::time_point start);

// The channel: the resource (or "default"), replaced by a non-empty
// "channel" argument; "_upgrade" is replaced by the stored channel if any.
std::wstring ComposeChannel(const std::optional<std::wstring>& resource_channel);

// Percent-encodes every byte outside the URL-unreserved set, so ordinary
// channels stay byte-identical.
std::wstring EscapeChannelForUrl(const std::wstring& channel);

// Channel from the resource and command line, the download address, the
// package path under the application-data folder (the folder is created) and
// the vendor's package keys.
DownloadSettings ComposeDownloadSettings();

std::wstring TransferAddress(const DownloadSettings& settings);
// Where the package's signature is fetched: the Base64 of a DER ECDSA
// signature over the SHA-256 of the package bytes.
std::wstring SignatureAddress(const DownloadSettings& settings);
std::wstring OfflinePackageAddress();

// Up to five passes (system downloader, then libcurl), each starting from a
// removed package file; a failed pass leaves no package file. Each pass
// downloads into "<package>.part" beside the package and renames it when
// complete; SIGTERM or SIGINT meanwhile removes the partial file. The
// system downloader is tried only for http and https addresses. With
// package keys stamped, a pass that delivered a package also fetches its
// signature; without a valid one the package is deleted and the pass fails
// with code 3.
DownloadOutcome RunDownloadPasses(const DownloadSettings& settings);

// The "DownloadTimeCost" data: cost, fileSize (only on success), ret, retryTime.
EventData DownloadRecordData(const DownloadOutcome& outcome);

// Runs the passes and reports "DownloadTimeCost"; returns the result code.
// Runs on the misc thread; reads only the settings it was given.
int DownloadPackage(const DownloadSettings& settings);

}  // namespace corvane
