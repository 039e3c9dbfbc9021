#include "app/http_client.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <mutex>

#include <curl/curl.h>

#include "app/system/package_crypto.h"
#include "base/startup_timing.h"

namespace corvane {

namespace {

constexpr long kReceiveBufferBytes = 512 * 1024;
constexpr size_t kFileBufferBytes = 1024 * 1024;

// Room kept free beside a download whose declared length is checked.
constexpr uint64_t kFreeSpaceMarginBytes = 1024 * 1024;

// Only web addresses, for the first request and for every redirect: a
// hostile server or endpoint override must not turn a download into a copy
// of a local file or a request in another protocol.
constexpr char kWebProtocols[] = "http,https";

struct FileTarget {
  CURL* handle;
  FILE* file;
  uint64_t free_bytes;
  Sha256Hasher* hasher;
  bool length_checked = false;
};

// A body declared larger than the free space would only fill the disk
// before failing: it fails as a write error before anything is written.
bool DeclaredLengthFits(FileTarget* target) {
  if (target->length_checked) return true;
  target->length_checked = true;
  curl_off_t declared = -1;
  if (curl_easy_getinfo(target->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared) !=
          CURLE_OK ||
      declared < 0) {
    return true;
  }
  return static_cast<uint64_t>(declared) <= target->free_bytes &&
         target->free_bytes - static_cast<uint64_t>(declared) >= kFreeSpaceMarginBytes;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* user) {
  auto* target = static_cast<FileTarget*>(user);
  if (!target || !target->file) return size * count;
  if (!DeclaredLengthFits(target)) return 0;
  const size_t written = std::fwrite(data, size, count, target->file) * size;
  if (target->hasher) target->hasher->Update(data, written);
  return written;
}

uint64_t FreeBytes(int fd) {
  struct statvfs st;
  if (fstatvfs(fd, &st) != 0) return UINT64_MAX;
  return static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_frsize);
}

// Progress stays switched on, but nothing is drawn: without a callback
// libcurl would print its meter on the standard error stream.
int IgnoreProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return 0;
}

size_t AppendToString(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

struct TextTarget {
  std::string* body;
  size_t max_bytes;
};

size_t AppendBoundedText(char* data, size_t size, size_t count, void* user) {
  auto* target = static_cast<TextTarget*>(user);
  if (size * count > target->max_bytes - target->body->size()) return 0;
  target->body->append(data, size * count);
  return size * count;
}

}  // namespace

struct HttpClient::Native {
  CURL* handle = nullptr;
  curl_slist* header_list = nullptr;
};

void EnsureHttpLibraryInitialized() {
  static std::once_flag once;
  std::call_once(once, [] {
    curl_global_init(CURL_GLOBAL_ALL);
    nbase::StartupTiming::Mark("HTTP library started");
  });
}

HttpClient::HttpClient(std::string proxy, int connect_timeout, int attempts, int dns_cache_timeout)
    : dns_cache_timeout_(dns_cache_timeout),
      connect_timeout_(connect_timeout),
      attempts_(attempts),
      headers_(DefaultRequestHeaders()),
      proxy_(std::move(proxy)) {
  EnsureHttpLibraryInitialized();
  native_ = std::make_unique<Native>();
  native_->handle = curl_easy_init();
}

HttpClient::~HttpClient() {
  if (native_->handle) curl_easy_cleanup(native_->handle);
  if (native_->header_list) curl_slist_free_all(native_->header_list);
}

bool HttpClient::has_handle() const {
  return native_->handle != nullptr;
}

void HttpClient::ApplyLimits() {
  curl_easy_setopt(native_->handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(connect_timeout_));
  curl_easy_setopt(native_->handle, CURLOPT_TIMEOUT, static_cast<long>(timeout_));
  curl_easy_setopt(native_->handle, CURLOPT_DNS_CACHE_TIMEOUT,
                   static_cast<long>(dns_cache_timeout_));
  curl_easy_setopt(native_->handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(native_->handle, CURLOPT_HEADER, 0L);
  // An error page is not a package and not an accepted record.
  curl_easy_setopt(native_->handle, CURLOPT_FAILONERROR, 1L);
#if LIBCURL_VERSION_NUM >= 0x075500
  curl_easy_setopt(native_->handle, CURLOPT_PROTOCOLS_STR, kWebProtocols);
  curl_easy_setopt(native_->handle, CURLOPT_REDIR_PROTOCOLS_STR, kWebProtocols);
#else
  static_cast<void>(kWebProtocols);
  curl_easy_setopt(native_->handle, CURLOPT_PROTOCOLS,
                   static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
  curl_easy_setopt(native_->handle, CURLOPT_REDIR_PROTOCOLS,
                   static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
}

void HttpClient::ApplyProxy() {
  if (!proxy_.empty()) {
    curl_easy_setopt(native_->handle, CURLOPT_PROXY, proxy_.c_str());
    return;
  }
  if (const std::string proxy = GetGlobalProxy(); !proxy.empty())
    curl_easy_setopt(native_->handle, CURLOPT_PROXY, proxy.c_str());
}

// The package transfer's redirects and (silent) progress.
void HttpClient::ApplyTransferOptions() {
  ApplyLimits();
  curl_easy_setopt(native_->handle, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(native_->handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(native_->handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(native_->handle, CURLOPT_XFERINFOFUNCTION, IgnoreProgress);
  ApplyProxy();
}

int HttpClient::DownloadToFile(const std::string& url, const std::string& path,
                               Sha256Hasher* hasher) {
  if (!native_->handle) return 1;
  CURLcode rc = curl_easy_setopt(native_->handle, CURLOPT_URL, url.c_str());
  if (rc != CURLE_OK) return rc;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
  FILE* file = fd >= 0 ? fdopen(fd, "wb+") : nullptr;
  if (!file) {
    if (fd >= 0) close(fd);
    return 2;
  }
  FileTarget target{native_->handle, file, FreeBytes(fd), hasher};
  curl_easy_setopt(native_->handle, CURLOPT_WRITEFUNCTION, WriteToFile);
  curl_easy_setopt(native_->handle, CURLOPT_WRITEDATA, &target);
  ApplyTransferOptions();
  // Larger receive blocks and file buffer: fewer calls per megabyte.
  curl_easy_setopt(native_->handle, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  std::setvbuf(file, nullptr, _IOFBF, kFileBufferBytes);
  int result = curl_easy_perform(native_->handle);
  // A package that cannot be flushed to disk is not a downloaded package.
  const bool flushed = std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (result == CURLE_OK && !(flushed && closed)) result = CURLE_WRITE_ERROR;
  if (result != CURLE_OK) unlink(path.c_str());
  return result;
}

int HttpClient::FetchText(const std::string& url, size_t max_bytes, std::string* body) {
  body->clear();
  if (!native_->handle) return 1;
  CURLcode rc = curl_easy_setopt(native_->handle, CURLOPT_URL, url.c_str());
  if (rc != CURLE_OK) return rc;
  TextTarget target{body, max_bytes};
  curl_easy_setopt(native_->handle, CURLOPT_WRITEFUNCTION, AppendBoundedText);
  curl_easy_setopt(native_->handle, CURLOPT_WRITEDATA, &target);
  ApplyTransferOptions();
  const int result = curl_easy_perform(native_->handle);
  if (result != CURLE_OK) body->clear();
  return result;
}

std::string HttpClient::BuildCookieText() {
  for (const auto& [name, value] : GetGlobalCookies()) cookies_.emplace(name, value);
  std::string text;
  for (const auto& [name, value] : cookies_) text += name + "=" + value + ";";
  return text;
}

void HttpClient::ApplyHeaders() {
  const std::string cookie_text = BuildCookieText();
  if (!cookie_text.empty()) headers_["Cookie"] = cookie_text;
  if (native_->header_list) {
    curl_slist_free_all(native_->header_list);
    native_->header_list = nullptr;
  }
  for (const auto& [name, value] : headers_) {
    native_->header_list = curl_slist_append(native_->header_list, (name + ": " + value).c_str());
  }
  curl_easy_setopt(native_->handle, CURLOPT_HTTPHEADER, native_->header_list);
}

int HttpClient::PostForm(const std::string& url, const std::string& body, std::string* response) {
  int result = 1;
  for (int attempt = 0; attempt < attempts_; ++attempt) {
    if (!native_->handle) {
      result = 1;
      continue;
    }
    result = curl_easy_setopt(native_->handle, CURLOPT_URL, url.c_str());
    if (result != CURLE_OK) continue;
    ApplyHeaders();
    response->clear();
    curl_easy_setopt(native_->handle, CURLOPT_POST, 1L);
    curl_easy_setopt(native_->handle, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(native_->handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(native_->handle, CURLOPT_WRITEFUNCTION, AppendToString);
    curl_easy_setopt(native_->handle, CURLOPT_WRITEDATA, response);
    ApplyLimits();
    ApplyProxy();
    result = curl_easy_perform(native_->handle);
    if (result == CURLE_OK) break;
  }
  return result;
}

}  // namespace corvane
