// The system downloader on Windows is the URL moniker (URLDownloadToFileW),
// held to the limits of the HTTP pass by its status callback: 15 s to the
// first data and between data, 300 s in all, at most five redirects, none
// to another scheme.
#include "app/system_downloader.h"

#include <windows.h>

#include <urlmon.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/system/package_crypto.h"
#include "app/system/win/wide_text.h"

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirects = 5;

bool IsWebUrl(const std::wstring& url) {
  auto starts = [&url](const wchar_t* scheme) {
    const size_t n = wcslen(scheme);
    return url.size() > n && _wcsnicmp(url.c_str(), scheme, n) == 0;
  };
  return starts(L"http://") || starts(L"https://");
}

// The value of header `name` (lower case, with its colon) in a block of
// response headers, blanks trimmed; empty when it is not there.
std::wstring HeaderText(LPCWSTR headers, const std::wstring& name) {
  if (!headers) return std::wstring();
  const std::wstring text = headers;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    if (end - start > name.size() &&
        _wcsnicmp(text.c_str() + start, name.c_str(), name.size()) == 0) {
      std::wstring value = text.substr(start + name.size(), end - start - name.size());
      const size_t first = value.find_first_not_of(L" \t");
      const size_t last = value.find_last_not_of(L" \t\r");
      return first == std::wstring::npos ? std::wstring() : value.substr(first, last - first + 1);
    }
    start = end + 1;
  }
  return std::wstring();
}

int64_t HeaderNumber(LPCWSTR headers, const std::wstring& name) {
  const std::wstring value = HeaderText(headers, name);
  return value.empty() ? -1 : _wcstoi64(value.c_str(), nullptr, 10);
}

int64_t FileBytes(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The callback of one transfer. Every notification is progress; a
// watchdog thread aborts the binding when the limits pass without one.
class BoundedCallback : public IBindStatusCallback, public IHttpNegotiate {
 public:
  BoundedCallback(Clock::time_point deadline) : deadline_(deadline) {}

  // IUnknown; the object lives on the caller's stack for the whole call.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
      *out = static_cast<IBindStatusCallback*>(this);
    } else if (iid == IID_IHttpNegotiate) {
      *out = static_cast<IHttpNegotiate*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override { return --references_; }

  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD, IBinding* binding) override {
    std::lock_guard<std::mutex> guard(lock_);
    binding_ = binding;
    if (binding_) binding_->AddRef();
    return S_OK;
  }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG progress, ULONG, ULONG status, LPCWSTR text) override {
    // Wine follows redirects without telling: each request sent counts.
    if (status == BINDSTATUS_SENDINGREQUEST && ++requests_ > kMaxRedirects + 1) {
      return Refuse(kHttpTooManyRedirects);
    }
    if (status == BINDSTATUS_REDIRECTING) {
      // A redirect to another scheme, or a sixth one, ends the transfer.
      if (++redirects_ > kMaxRedirects) return Refuse(kHttpTooManyRedirects);
      if (!text || !IsWebUrl(text)) return Refuse(kHttpUnsupportedProtocol);
    }
    if (status == BINDSTATUS_BEGINDOWNLOADDATA || status == BINDSTATUS_DOWNLOADINGDATA ||
        status == BINDSTATUS_ENDDOWNLOADDATA) {
      if (progress != last_progress_) {
        last_progress_ = progress;
        Touch();
      }
    }
    return Expired() ? Refuse(kHttpOperationTimedOut) : S_OK;
  }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (binding_) binding_->Release();
    binding_ = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
    // Always from the server: a cached package could be an old one.
    *flags =
        BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE | BINDF_RESYNCHRONIZE;
    if (info && info->cbSize >= sizeof(BINDINFO)) info->dwBindVerb = BINDVERB_GET;
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

  // IHttpNegotiate
  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additional) override {
    if (additional) *additional = nullptr;
    return S_OK;
  }
  STDMETHODIMP OnResponse(DWORD status, LPCWSTR headers, LPCWSTR, LPWSTR* additional) override {
    if (additional) *additional = nullptr;
    Touch();
    status_ = status;
    declared_ = HeaderNumber(headers, L"content-length:");
    location_is_web_ = IsWebUrl(HeaderText(headers, L"location:"));
    // An error page is not a package.
    if (status >= 400) {
      refused_ = kHttpReturnedError;
      return E_ABORT;
    }
    return S_OK;
  }

  // The watchdog: aborts the binding once no progress came in time.
  void Watch(const std::atomic<bool>* finished) {
    std::unique_lock<std::mutex> guard(lock_);
    while (!*finished) {
      if (Expired() && binding_) {
        if (refused_ == 0) refused_ = kHttpOperationTimedOut;
        // Abort may report the stop at once, which takes the lock.
        IBinding* binding = binding_;
        binding->AddRef();
        guard.unlock();
        binding->Abort();
        binding->Release();
        guard.lock();
      }
      wake_.wait_for(guard, std::chrono::milliseconds(200));
    }
  }
  void Stop() { wake_.notify_all(); }

  // The reason this side ended the transfer, or 0.
  int refused() const { return refused_; }
  // What the moniker's "success" means: 0 when the final answer was a whole
  // 2xx body within the redirect limit, else libcurl's number for it.
  int Verdict(const std::wstring& path) const {
    if (requests_ > kMaxRedirects + 1) return kHttpTooManyRedirects;
    // A reset before any answer.
    if (status_ == 0) return kHttpRecvError;
    // A redirect the moniker did not follow: to another scheme, or nowhere.
    if (status_ >= 300 && status_ < 400) {
      return location_is_web_ ? kHttpReturnedError : kHttpUnsupportedProtocol;
    }
    if (status_ < 200 || status_ >= 300) return kHttpReturnedError;
    // The moniker takes a connection closed early for the end of the body.
    if (declared_ >= 0 && FileBytes(path) < declared_) return kHttpPartialFile;
    return 0;
  }

 private:
  HRESULT Refuse(int code) {
    refused_ = code;
    return E_ABORT;
  }
  void Touch() { last_activity_ = Clock::now().time_since_epoch().count(); }
  bool Expired() const {
    const Clock::time_point now = Clock::now();
    const Clock::time_point last{Clock::duration(last_activity_.load())};
    return now >= deadline_ || now - last >= std::chrono::seconds(kSystemDownloadIdleSeconds);
  }

  const Clock::time_point deadline_;
  std::atomic<Clock::rep> last_activity_{Clock::now().time_since_epoch().count()};
  std::atomic<ULONG> references_{1};
  std::atomic<int> refused_{0};
  std::mutex lock_;
  std::condition_variable wake_;
  IBinding* binding_ = nullptr;
  int redirects_ = 0;
  ULONG last_progress_ = 0;
  std::atomic<int> requests_{0};
  std::atomic<DWORD> status_{0};
  std::atomic<int64_t> declared_{-1};
  std::atomic<bool> location_is_web_{false};
};

bool HashFile(const std::wstring& path, Sha256Hasher* hasher) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::vector<char> block(256 * 1024);
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) &&
         got > 0) {
    hasher->Update(block.data(), got);
  }
  CloseHandle(file);
  return ok;
}

int ResultForMoniker(HRESULT hr) {
  switch (hr) {
    case INET_E_RESOURCE_NOT_FOUND:
      return kHttpCouldntResolveHost;
    case INET_E_CANNOT_CONNECT:
      return kHttpCouldntConnect;
    case INET_E_CONNECTION_TIMEOUT:
      return kHttpOperationTimedOut;
    case INET_E_UNKNOWN_PROTOCOL:
      return kHttpUnsupportedProtocol;
    case INET_E_CANNOT_INSTANTIATE_OBJECT:
    case INET_E_DOWNLOAD_FAILURE:
    default:
      return kHttpRecvError;
  }
}

}  // namespace

bool SystemDownloaderAvailable(const std::string& url) {
  return IsWebUrl(Utf8ToUtf16(url));
}

int DesktopTransfer(const std::string& url, const std::string& path, int timeout_seconds,
                    Sha256Hasher* hasher) {
  const std::wstring wide_url = Utf8ToUtf16(url);
  const std::wstring wide_path = Utf8ToUtf16(path);
  if (!IsWebUrl(wide_url)) return kHttpUnsupportedProtocol;
  // The moniker creates the file itself, from its cache once the body is
  // complete; a folder that is not there fails like a file that cannot be
  // opened. The probe leaves nothing behind.
  {
    HANDLE probe =
        CreateFileW(wide_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return kResultFileNotWritable;
    CloseHandle(probe);
  }
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  BoundedCallback callback(Clock::now() + std::chrono::seconds(timeout_seconds));
  std::atomic<bool> finished{false};
  std::thread watchdog([&] { callback.Watch(&finished); });
  const HRESULT hr = URLDownloadToFileW(nullptr, wide_url.c_str(), wide_path.c_str(), 0, &callback);
  finished = true;
  callback.Stop();
  watchdog.join();
  if (SUCCEEDED(com)) CoUninitialize();
  int result = 0;
  if (callback.refused() != 0) {
    result = callback.refused();
  } else if (hr != S_OK) {
    result = ResultForMoniker(hr);
  } else {
    result = callback.Verdict(wide_path);
  }
  // The moniker writes the file itself; the digest is taken from it.
  if (result == 0 && hasher && !HashFile(wide_path, hasher)) result = kHttpWriteError;
  if (result != 0) DeleteFileW(wide_path.c_str());
  return result;
}

bool SystemDownload(const std::string& url, const std::string& path, int timeout_seconds,
                    Sha256Hasher* hasher) {
  if (!SystemDownloaderAvailable(url)) {
    DeleteFileW(Utf8ToUtf16(path).c_str());
    return false;
  }
  return DesktopTransfer(url, path, timeout_seconds, hasher) == 0;
}

}  // namespace corvane
