#pragma once

#include <optional>
#include <string>

namespace corvane {

class Sha256Hasher;

// The system downloader: the first transfer of every download pass, made the
// way the desktop's own downloader makes it (the desktop's proxy for the
// address, the system's certificate store). On Windows it is the URL moniker
// (URLDownloadToFileW), bounded by its status callback.
//
// On Linux the transfer itself is ours, not GIO's: gvfs's http backend neither
// honours cancellation while it waits for body bytes nor recovers after
// error answers (its later requests to the same server never return), so a
// GIO copy cannot be held to the transfer limits.

// Connect and first response, and any later silence, end the transfer after
// this long.
constexpr int kSystemDownloadIdleSeconds = 15;

// True where the desktop offers an http downloader for `url` (GIO with gvfs
// handles its scheme). Elsewhere the system downloader fails at once and the
// HTTP library's transfer does the work.
bool SystemDownloaderAvailable(const std::string& url);

// Linux: the proxy the desktop (GProxyResolver: GNOME/KDE settings, PAC, or the
// proxy environment variables) uses for `url`, in libcurl's form; empty for
// a direct connection. nullopt when the lookup fails, yields no proxy kind
// libcurl speaks, or takes longer than the idle limit.
std::optional<std::string> DesktopProxyFor(const std::string& url);

// One bounded http/https transfer of `url` into `path` through the desktop's
// proxy: 0 on success, else a libcurl code (22 for an error status or a
// final answer that is not 2xx, 18 for a short body, 28 for the idle or total
// limit, 1 for a redirect to another scheme, 47 for more than 5 redirects,
// 5 when the proxy lookup fails) or 2 when the file cannot be created. The
// body goes to an unnamed file that replaces `path` only when complete, so
// `path` never holds a partial package, not even after the process ends
// mid-transfer. The package is executable. Every body byte written also goes
// to `hasher` when one is given.
int DesktopTransfer(const std::string& url, const std::string& path, int timeout_seconds,
                    Sha256Hasher* hasher = nullptr);

// The system downloader pass: false at once where it is not available,
// else DesktopTransfer(...) == 0. A failure leaves nothing at `path`.
bool SystemDownload(const std::string& url, const std::string& path, int timeout_seconds,
                    Sha256Hasher* hasher = nullptr);

}  // namespace corvane
