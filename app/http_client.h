#pragma once

#include <map>
#include <memory>
#include <string>

namespace corvane {

// Result codes: 0 for success, else libcurl's numbers on every target, so
// that statistics from Linux and Windows mean the same.
enum HttpResult : int {
  kHttpOk = 0,
  kHttpUnsupportedProtocol = 1,
  kHttpUrlMalformat = 3,
  kHttpCouldntResolveHost = 6,
  kHttpCouldntConnect = 7,
  kHttpPartialFile = 18,
  kHttpReturnedError = 22,
  kHttpWriteError = 23,
  kHttpOperationTimedOut = 28,
  kHttpTooManyRedirects = 47,
  kHttpRecvError = 56,
};

class Sha256Hasher;

// Process-wide cookies sent with every form post, and the process-wide proxy
// (empty in this program). Safe to use from any thread.
void SetGlobalCookie(const std::string& name, const std::string& value);
std::map<std::string, std::string> GetGlobalCookies();
void ClearGlobalCookiesForTesting();
void SetGlobalProxy(const std::string& proxy);
std::string GetGlobalProxy();

// Initialises the HTTP library once per process (libcurl: CURL_GLOBAL_ALL).
void EnsureHttpLibraryInitialized();

// Unloads the HTTP library while no request is alive, so that what it mapped
// goes once the start-up uploads are done; the next request loads it again.
// False when it stays: in use, never loaded, kept for good (a timed-out or
// aborted transfer may still have a thread inside it), or a system library.
bool UnloadIdleHttpLibrary();
// Loads it again ahead of a request that is likely to come, so that the
// request does not wait for it.
void PreloadHttpLibrary();

// One HTTP request over the platform's HTTP library (libcurl on Linux,
// WinHTTP with the system's proxy settings on Windows). An HTTP status of
// 400 or more fails the transfer with kHttpReturnedError (22). Only http and
// https are spoken, for the first address and for every redirect; any other
// scheme fails with kHttpUnsupportedProtocol (1). At most five redirects are
// followed; a sixth fails with kHttpTooManyRedirects (47).
// The headers every request of the installer carries unless changed.
std::map<std::string, std::string> DefaultRequestHeaders();

class HttpClient {
 public:
  HttpClient(std::string proxy = std::string(), int connect_timeout = 15, int attempts = 2,
             int dns_cache_timeout = 60);
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // False when the library gave no transfer handle (every call then fails
  // with 1).
  bool has_handle() const;
  void set_timeout(int seconds) { timeout_ = seconds; }
  int timeout() const { return timeout_; }
  int attempts() const { return attempts_; }

  std::map<std::string, std::string>& headers() { return headers_; }
  std::map<std::string, std::string>& cookies() { return cookies_; }

  // One transfer of `url` into the file `path` (created or truncated).
  // 0 on success; 1 without a handle; 2 when the file cannot be opened; else
  // the library's code (23 when the file cannot be written or closed, or when
  // the declared length does not fit in the free space of the file's file
  // system with a margin; then nothing is written). A failed transfer
  // removes the file, so no partial package is left behind. Every byte
  // written also goes to `hasher` when one is given.
  int DownloadToFile(const std::string& url, const std::string& path,
                     Sha256Hasher* hasher = nullptr);

  // One transfer of a short text, with the limits and redirects of
  // DownloadToFile: 0 with the whole body in `body`, else the library's code
  // (23 when the body exceeds `max_bytes`).
  int FetchText(const std::string& url, size_t max_bytes, std::string* body);

  // Posts `body` to `url` with the header and cookie tables, up to
  // attempts() times, stopping at the first success. The last code is
  // returned (1 when there is no handle).
  int PostForm(const std::string& url, const std::string& body, std::string* response);

  // The "Cookie" text built from the cookie table merged with the global
  // cookies: name=value; pairs in name order.
  std::string BuildCookieText();

 private:
  void ApplyLimits();
  void ApplyTransferOptions();
  void ApplyProxy();
  void ApplyHeaders();

  // The library's transfer handle and what it keeps per request.
  struct Native;
  std::unique_ptr<Native> native_;
  int dns_cache_timeout_;
  int connect_timeout_;
  int attempts_;
  int timeout_ = 15;
  std::map<std::string, std::string> headers_;
  std::map<std::string, std::string> cookies_;
  std::string proxy_;
};

}  // namespace corvane
