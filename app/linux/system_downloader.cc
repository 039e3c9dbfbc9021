#include "app/system_downloader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <curl/curl.h>
#include <gio/gio.h>
#include <glib.h>

#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/system/package_crypto.h"

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxRedirects = 5;
constexpr char kUserAgent[] = "Mozilla/5.0 (X11; Linux x86_64) CorvaneInstaller";

bool IsHttpScheme(const std::string& url) {
  gchar* scheme = g_uri_parse_scheme(url.c_str());
  const bool http = scheme && (g_ascii_strcasecmp(scheme, "http") == 0 ||
                               g_ascii_strcasecmp(scheme, "https") == 0);
  g_free(scheme);
  return http;
}

// gvfs lists only "http"; its http backend serves https addresses too.
bool GioHasHttp() {
  const gchar* const* schemes = g_vfs_get_supported_uri_schemes(g_vfs_get_default());
  for (; schemes && *schemes; ++schemes) {
    if (g_ascii_strcasecmp(*schemes, "http") == 0) return true;
  }
  return false;
}

// GProxyResolver's answer in libcurl's form; nullopt for kinds libcurl does
// not speak. Desktop SOCKS proxies resolve host names themselves.
std::optional<std::string> CurlProxy(const char* uri) {
  if (g_str_equal(uri, "direct://")) return std::string();
  gchar* scheme = g_uri_parse_scheme(uri);
  if (!scheme) return std::nullopt;
  const std::string rest = uri + strlen(scheme);
  gchar* folded = g_ascii_strdown(scheme, -1);
  const std::string lower = folded;
  g_free(folded);
  std::optional<std::string> proxy;
  if (lower == "http" || lower == "https" || lower == "socks4" || lower == "socks4a") {
    proxy = uri;
  } else if (lower == "socks" || lower == "socks5") {
    proxy = "socks5h" + rest;
  }
  g_free(scheme);
  return proxy;
}

// Shared with the lookup thread, which may outlive an abandoned lookup.
struct ProxyLookup {
  std::mutex lock;
  std::condition_variable done_signal;
  bool done = false;
  std::optional<std::string> proxy;
};

// The package body goes to an unnamed file in the target's folder, which
// takes the target's name only when it is complete: a failed or interrupted
// transfer leaves nothing that could be taken for a package.
class PendingFile {
 public:
  explicit PendingFile(const std::string& path) : path_(path) {
    gchar* folder = g_path_get_dirname(path.c_str());
    fd_ = open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0700);
    if (fd_ < 0) {
      // Folders whose file system has no unnamed files get a named one.
      temp_name_ = path + ".part-XXXXXX";
      fd_ = mkostemp(temp_name_.data(), O_CLOEXEC);
      if (fd_ < 0) temp_name_.clear();
    }
    g_free(folder);
  }
  ~PendingFile() {
    if (fd_ >= 0) close(fd_);
    if (!temp_name_.empty()) unlink(temp_name_.c_str());
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  bool ok() const { return fd_ >= 0; }

  bool Write(const char* data, size_t size) {
    while (size > 0) {
      const ssize_t written = write(fd_, data, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      data += written;
      size -= static_cast<size_t>(written);
    }
    return true;
  }

  // Gives the complete file the target's name, replacing whatever is there.
  bool Commit() {
    // The package is run directly from its path.
    if (fchmod(fd_, 0755) != 0) return false;
    if (temp_name_.empty()) {
      const std::string fd_link = "/proc/self/fd/" + std::to_string(fd_);
      for (int attempt = 0; attempt < 8 && temp_name_.empty(); ++attempt) {
        std::string name = path_ + ".part-" + std::to_string(g_random_int());
        if (linkat(AT_FDCWD, fd_link.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
          temp_name_ = std::move(name);
        } else if (errno != EEXIST) {
          return false;
        }
      }
      if (temp_name_.empty()) return false;
    }
    if (rename(temp_name_.c_str(), path_.c_str()) != 0) return false;
    temp_name_.clear();
    return true;
  }

 private:
  std::string path_;
  std::string temp_name_;  // a visible name that must go if the file is not committed
  int fd_ = -1;
};

struct TransferState {
  PendingFile* file;
  Sha256Hasher* hasher;
  Clock::time_point last_activity;
  bool idle_expired = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  state->last_activity = Clock::now();
  if (!state->file->Write(data, size * count)) return 0;
  if (state->hasher) state->hasher->Update(data, size * count);
  return size * count;
}

size_t OnHeader(char*, size_t size, size_t count, void* user) {
  static_cast<TransferState*>(user)->last_activity = Clock::now();
  return size * count;
}

// Called about once a second even while nothing arrives, so silence ends
// the transfer within a second of the limit.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* state = static_cast<TransferState*>(user);
  if (Clock::now() - state->last_activity >= std::chrono::seconds(kSystemDownloadIdleSeconds)) {
    state->idle_expired = true;
    return 1;
  }
  return 0;
}

int Perform(CURL* curl, const std::string& url, const std::string& proxy,
            Clock::time_point deadline, TransferState* state) {
  // The proxy lookup counts toward the total limit.
  const auto remaining =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (remaining <= 0) return CURLE_OPERATION_TIMEDOUT;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  // Always set, so that only the desktop's answer decides (an empty text
  // means direct, whatever libcurl would read from the environment).
  curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
  // libcurl's default trust store is the system's certificate bundle.
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(kSystemDownloadIdleSeconds));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(remaining));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, state);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, state);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, state);
  state->last_activity = Clock::now();
  const CURLcode result = curl_easy_perform(curl);
  if (state->idle_expired) return CURLE_OPERATION_TIMEDOUT;
  if (result != CURLE_OK) return result;
  // A redirect without a target, or any other final answer that is not a
  // body, is not a package.
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  return status >= 200 && status < 300 ? 0 : CURLE_HTTP_RETURNED_ERROR;
}

}  // namespace

bool SystemDownloaderAvailable(const std::string& url) {
  return IsHttpScheme(url) && GioHasHttp();
}

std::optional<std::string> DesktopProxyFor(const std::string& url) {
  // A lookup may run a PAC script or probe for WPAD and never return; it
  // runs on its own thread and is abandoned at the limit.
  auto lookup = std::make_shared<ProxyLookup>();
  std::thread([lookup, url] {
    gchar** proxies =
        g_proxy_resolver_lookup(g_proxy_resolver_get_default(), url.c_str(), nullptr, nullptr);
    std::optional<std::string> proxy;
    for (gchar** p = proxies; p && *p && !proxy; ++p) proxy = CurlProxy(*p);
    g_strfreev(proxies);
    std::lock_guard<std::mutex> guard(lookup->lock);
    lookup->proxy = std::move(proxy);
    lookup->done = true;
    lookup->done_signal.notify_one();
  }).detach();
  std::unique_lock<std::mutex> guard(lookup->lock);
  if (!lookup->done_signal.wait_for(guard, std::chrono::seconds(kSystemDownloadIdleSeconds),
                                    [&] { return lookup->done; })) {
    return std::nullopt;
  }
  return lookup->proxy;
}

int DesktopTransfer(const std::string& url, const std::string& path, int timeout_seconds,
                    Sha256Hasher* hasher) {
  const auto deadline = Clock::now() + std::chrono::seconds(timeout_seconds);
  int result = kResultFileNotWritable;
  {
    PendingFile file(path);
    if (file.ok()) {
      const std::optional<std::string> proxy = DesktopProxyFor(url);
      EnsureHttpLibraryInitialized();
      CURL* curl = curl_easy_init();
      if (!proxy) {
        result = CURLE_COULDNT_RESOLVE_PROXY;
      } else if (!curl) {
        result = kResultNoHandle;
      } else {
        TransferState state{&file, hasher, Clock::now()};
        result = Perform(curl, url, *proxy, deadline, &state);
        if (result == 0 && !file.Commit()) result = CURLE_WRITE_ERROR;
      }
      if (curl) curl_easy_cleanup(curl);
    }
  }
  if (result != 0) unlink(path.c_str());
  return result;
}

bool SystemDownload(const std::string& url, const std::string& path, int timeout_seconds,
                    Sha256Hasher* hasher) {
  if (!SystemDownloaderAvailable(url)) {
    unlink(path.c_str());
    return false;
  }
  return DesktopTransfer(url, path, timeout_seconds, hasher) == 0;
}

}  // namespace corvane
