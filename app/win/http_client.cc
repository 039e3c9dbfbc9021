// HttpClient on WinHTTP: the system's proxy settings and certificate store.
// Redirects are followed here rather than by WinHTTP, so that their number
// and their schemes are held to the same rules as on Linux, and failures are
// reported with libcurl's numbers.
#include "app/http_client.h"

#include <windows.h>

#include <shlwapi.h>
#include <winhttp.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "app/system/package_crypto.h"
#include "app/system/win/wide_text.h"

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirects = 5;
// Silence after the connection (no answer, no body bytes) ends the transfer.
constexpr int kIdleSeconds = 15;
constexpr DWORD kReadBlockBytes = 256 * 1024;
// Room kept free beside a download whose declared length is checked.
constexpr uint64_t kFreeSpaceMarginBytes = 1024 * 1024;

// Closes a WinHTTP handle at the end of the scope.
struct InternetHandle {
  HINTERNET handle = nullptr;
  explicit InternetHandle(HINTERNET h) : handle(h) {}
  ~InternetHandle() {
    if (handle) WinHttpCloseHandle(handle);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
};

int ResultForError(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return kHttpCouldntResolveHost;
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case WSAECONNREFUSED:
      return kHttpCouldntConnect;
    // Wine reports a receive time-out with the socket's own code.
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:
      return kHttpOperationTimedOut;
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
      return kHttpUnsupportedProtocol;
    case ERROR_WINHTTP_INVALID_URL:
      return kHttpUrlMalformat;
    case ERROR_WINHTTP_REDIRECT_FAILED:
      return kHttpTooManyRedirects;
    default:
      // A reset, a closed connection or an answer that is not HTTP.
      return kHttpRecvError;
  }
}

bool IsWebScheme(const std::wstring& url) {
  auto starts = [&url](const wchar_t* scheme) {
    const size_t n = wcslen(scheme);
    return url.size() > n && _wcsnicmp(url.c_str(), scheme, n) == 0;
  };
  return starts(L"http://") || starts(L"https://");
}

// A Location relative to the address that answered with it, made absolute.
std::wstring ResolveLocation(const std::wstring& base, const std::wstring& location) {
  // The result is never longer than both together.
  std::wstring combined(base.size() + location.size() + 16, L'\0');
  DWORD size = static_cast<DWORD>(combined.size());
  if (UrlCombineW(base.c_str(), location.c_str(), combined.data(), &size, URL_DONT_SIMPLIFY) !=
      S_OK) {
    return location;
  }
  combined.resize(size);
  return combined;
}

std::wstring QueryHeader(HINTERNET request, DWORD query) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return std::wstring();
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return std::wstring();
  }
  value.resize(size / sizeof(wchar_t));
  return value;
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(std::min<int64_t>(left, INT32_MAX)) : 0;
}

// What a request does with the answer's body.
struct BodySink {
  // The declared length (-1 when none); a non-zero result ends the transfer.
  std::function<int(int64_t declared)> begin;
  // False when the block could not be kept.
  std::function<bool(const char* data, size_t size)> write;
};

struct RequestOptions {
  const wchar_t* method = L"GET";
  std::wstring headers;  // "Name: value\r\n" lines
  const std::string* body = nullptr;
  bool follow_redirects = false;
  int connect_timeout_seconds = 15;
  std::wstring proxy;  // empty: the system's settings
};

// One exchange on an open request handle: send, receive the head, and, when
// it is not followed elsewhere, the body. `location` receives the absolute
// target of a redirect to follow.
int Exchange(HINTERNET request, const RequestOptions& options, const std::wstring& url,
             Clock::time_point deadline, BodySink* sink, std::wstring* location) {
  const int left = MillisecondsLeft(deadline);
  if (left == 0) return kHttpOperationTimedOut;
  const int connect = std::min(left, options.connect_timeout_seconds * 1000);
  const int idle = std::min(left, kIdleSeconds * 1000);
  WinHttpSetTimeouts(request, left, connect, idle, idle);
  DWORD features = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES |
                   WINHTTP_DISABLE_KEEP_ALIVE | WINHTTP_DISABLE_AUTHENTICATION;
  WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof(features));
  if (!options.proxy.empty()) {
    WINHTTP_PROXY_INFO proxy = {};
    proxy.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    proxy.lpszProxy = const_cast<wchar_t*>(options.proxy.c_str());
    WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &proxy, sizeof(proxy));
  }
  const DWORD body_size = options.body ? static_cast<DWORD>(options.body->size()) : 0;
  void* body = options.body ? const_cast<char*>(options.body->data()) : WINHTTP_NO_REQUEST_DATA;
  if (!WinHttpSendRequest(
          request,
          options.headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : options.headers.c_str(),
          options.headers.empty() ? 0 : static_cast<DWORD>(-1L), body, body_size, body_size, 0) ||
      !WinHttpReceiveResponse(request, nullptr)) {
    return ResultForError(GetLastError());
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return kHttpRecvError;
  }
  if (options.follow_redirects && status >= 300 && status < 400) {
    const std::wstring target = QueryHeader(request, WINHTTP_QUERY_LOCATION);
    if (!target.empty()) {
      *location = ResolveLocation(url, target);
      return kHttpOk;
    }
  }
  // An error page is not a package and not an accepted record.
  if (status >= 400) return kHttpReturnedError;

  int64_t declared = -1;
  const std::wstring length = QueryHeader(request, WINHTTP_QUERY_CONTENT_LENGTH);
  if (!length.empty()) declared = _wcstoi64(length.c_str(), nullptr, 10);
  if (const int rc = sink->begin(declared); rc != kHttpOk) return rc;
  std::vector<char> block(kReadBlockBytes);
  int64_t received = 0;
  while (true) {
    // The receive limit is the idle limit, or what is left of the total.
    const int remaining = MillisecondsLeft(deadline);
    if (remaining == 0) return kHttpOperationTimedOut;
    DWORD receive = static_cast<DWORD>(std::min(remaining, kIdleSeconds * 1000));
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
    // Asking what has arrived first makes each read return at once with it,
    // instead of waiting until a whole block is there.
    DWORD available = 0;
    DWORD got = 0;
    if (!WinHttpQueryDataAvailable(request, &available) ||
        (available > 0 &&
         !WinHttpReadData(request, block.data(),
                          std::min(available, static_cast<DWORD>(block.size())), &got))) {
      const DWORD error = GetLastError();
      // A connection closed before the declared end is a short file.
      if (error == ERROR_WINHTTP_CONNECTION_ERROR && declared >= 0 && received < declared) {
        return received > 0 ? kHttpPartialFile : kHttpRecvError;
      }
      return ResultForError(error);
    }
    if (available == 0 || got == 0) break;
    if (!sink->write(block.data(), got)) return kHttpWriteError;
    received += got;
  }
  if (declared >= 0 && received < declared) return kHttpPartialFile;
  return kHttpOk;
}

}  // namespace

struct HttpClient::Native {
  HINTERNET session = nullptr;

  // A package or signature transfer: redirects followed, the client's
  // connect limit and proxy.
  static RequestOptions Transfer(int connect_timeout, const std::string& proxy) {
    RequestOptions options;
    options.follow_redirects = true;
    options.connect_timeout_seconds = connect_timeout;
    options.proxy = Utf8ToUtf16(proxy.empty() ? GetGlobalProxy() : proxy);
    return options;
  }

  // One request with the client's limits, following up to five redirects
  // when asked.
  int Perform(std::wstring url, const RequestOptions& options, int timeout_seconds,
              BodySink* sink) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeout_seconds);
    for (int redirects = 0;; ++redirects) {
      if (!IsWebScheme(url)) {
        return url.find(L"://") == std::wstring::npos ? kHttpUrlMalformat
                                                      : kHttpUnsupportedProtocol;
      }
      URL_COMPONENTS parts = {};
      parts.dwStructSize = sizeof(parts);
      parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength =
          parts.dwExtraInfoLength = static_cast<DWORD>(-1);
      if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) ||
          parts.dwHostNameLength == 0) {
        return kHttpUrlMalformat;
      }
      const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
      std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
      object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
      if (object.empty()) object = L"/";
      InternetHandle connection(WinHttpConnect(session, host.c_str(), parts.nPort, 0));
      if (!connection.handle) return ResultForError(GetLastError());
      const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
      InternetHandle request(WinHttpOpenRequest(
          connection.handle, options.method, object.c_str(), nullptr, WINHTTP_NO_REFERER,
          WINHTTP_DEFAULT_ACCEPT_TYPES, secure | WINHTTP_FLAG_ESCAPE_DISABLE));
      if (!request.handle) return ResultForError(GetLastError());
      std::wstring location;
      const int rc = Exchange(request.handle, options, url, deadline, sink, &location);
      if (rc != kHttpOk || location.empty()) return rc;
      if (redirects == kMaxRedirects) return kHttpTooManyRedirects;
      url = location;
    }
  }
};

void EnsureHttpLibraryInitialized() {
  // WinHTTP needs no process-wide start; loading it early keeps the first
  // request's time for the request.
  static std::once_flag once;
  std::call_once(once, [] { LoadLibraryW(L"winhttp.dll"); });
}

// WinHTTP is part of the system and mapped by other programs anyway.
bool UnloadIdleHttpLibrary() {
  return false;
}

void PreloadHttpLibrary() {
  EnsureHttpLibraryInitialized();
}

HttpClient::HttpClient(std::string proxy, int connect_timeout, int attempts, int dns_cache_timeout)
    : dns_cache_timeout_(dns_cache_timeout),
      connect_timeout_(connect_timeout),
      attempts_(attempts),
      headers_(DefaultRequestHeaders()),
      proxy_(std::move(proxy)) {
  EnsureHttpLibraryInitialized();
  native_ = std::make_unique<Native>();
  // The system's proxy settings (automatic where the system offers it); the
  // user agent goes out as a header, so the session's own is left empty.
  native_->session = WinHttpOpen(L"", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0);
  if (!native_->session) {
    native_->session = WinHttpOpen(L"", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0);
  }
}

HttpClient::~HttpClient() {
  if (native_->session) WinHttpCloseHandle(native_->session);
}

bool HttpClient::has_handle() const {
  return native_->session != nullptr;
}

int HttpClient::DownloadToFile(const std::string& url, const std::string& path,
                               Sha256Hasher* hasher) {
  if (!native_->session) return 1;
  const std::wstring wide_path = Utf8ToUtf16(path);
  // Until the body is complete the file is marked for deletion, so even a
  // process ended from outside (TerminateProcess) leaves no partial file:
  // the system removes it with the last handle.
  HANDLE file =
      CreateFileW(wide_path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  FILE_DISPOSITION_INFO dispose = {TRUE};
  SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof(dispose));

  uint64_t free_bytes = UINT64_MAX;
  {
    std::wstring folder = wide_path;
    const size_t slash = folder.find_last_of(L"\\/");
    folder = slash == std::wstring::npos ? L"." : folder.substr(0, slash + 1);
    ULARGE_INTEGER available;
    if (GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
      free_bytes = available.QuadPart;
    }
  }
  BodySink sink;
  sink.begin = [free_bytes](int64_t declared) {
    // A body declared larger than the free space would only fill the disk
    // before failing.
    if (declared < 0) return kHttpOk;
    const auto length = static_cast<uint64_t>(declared);
    return length <= free_bytes && free_bytes - length >= kFreeSpaceMarginBytes ? kHttpOk
                                                                                : kHttpWriteError;
  };
  sink.write = [file, hasher](const char* data, size_t size) {
    DWORD written = 0;
    if (!WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) || written != size) {
      return false;
    }
    if (hasher) hasher->Update(data, size);
    return true;
  };
  int result = native_->Perform(Utf8ToUtf16(url), Native::Transfer(connect_timeout_, proxy_),
                                timeout_, &sink);
  if (result == kHttpOk) {
    // A package that cannot be flushed to disk is not a downloaded package.
    dispose.DeleteFile = FALSE;
    if (!FlushFileBuffers(file) ||
        !SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof(dispose))) {
      result = kHttpWriteError;
    }
  }
  CloseHandle(file);
  if (result != kHttpOk) DeleteFileW(wide_path.c_str());
  return result;
}

int HttpClient::FetchText(const std::string& url, size_t max_bytes, std::string* body) {
  body->clear();
  if (!native_->session) return 1;
  BodySink sink;
  sink.begin = [max_bytes](int64_t declared) {
    return declared > static_cast<int64_t>(max_bytes) ? kHttpWriteError : kHttpOk;
  };
  sink.write = [body, max_bytes](const char* data, size_t size) {
    if (body->size() + size > max_bytes) return false;
    body->append(data, size);
    return true;
  };
  const int result = native_->Perform(Utf8ToUtf16(url), Native::Transfer(connect_timeout_, proxy_),
                                      timeout_, &sink);
  if (result != kHttpOk) body->clear();
  return result;
}

std::string HttpClient::BuildCookieText() {
  for (const auto& [name, value] : GetGlobalCookies()) cookies_.emplace(name, value);
  std::string text;
  for (const auto& [name, value] : cookies_) text += name + "=" + value + ";";
  return text;
}

int HttpClient::PostForm(const std::string& url, const std::string& body, std::string* response) {
  if (!native_->session) return 1;
  const std::string cookie_text = BuildCookieText();
  if (!cookie_text.empty()) headers_["Cookie"] = cookie_text;
  RequestOptions options;
  options.method = L"POST";
  options.body = &body;
  options.connect_timeout_seconds = connect_timeout_;
  for (const auto& [name, value] : headers_)
    options.headers += Utf8ToUtf16(name + ": " + value + "\r\n");
  { options.proxy = Utf8ToUtf16(proxy_.empty() ? GetGlobalProxy() : proxy_); }
  BodySink sink;
  sink.begin = [response](int64_t) {
    response->clear();
    return kHttpOk;
  };
  sink.write = [response](const char* data, size_t size) {
    response->append(data, size);
    return true;
  };
  int result = 1;
  for (int attempt = 0; attempt < attempts_; ++attempt) {
    result = native_->Perform(Utf8ToUtf16(url), options, timeout_, &sink);
    if (result == kHttpOk) break;
  }
  return result;
}

}  // namespace corvane
