// The HTTP library is loaded when first used instead of with the program:
// libcurl and the libraries it needs (TLS, Kerberos, LDAP, SSH ...) are
// about thirty shared objects whose loading would otherwise delay the first
// frame of the window. The first use is on a worker thread (statistics or
// download), so the window does not wait for it. Once no transfer handle is
// left, UnloadIdleHttpLibrary lets it go again (its pages and those of most of
// what it brought in, about 4 MB resident; OpenSSL and p11-kit stay, as they
// forbid their own unloading); the next use loads it anew in a few
// milliseconds.
//
// Only the functions the installer calls are forwarded. Each option or
// information request passes one value, a long, a pointer or a curl_off_t,
// all passed alike in one 64-bit register, so the value is forwarded as a
// 64-bit integer.

#define CURL_DISABLE_TYPECHECK 1
#include <curl/curl.h>
#include <dlfcn.h>
#include <openssl/crypto.h>
#include <openssl/ssl.h>

#include <cstdarg>
#include <cstdint>
#include <mutex>

#include "app/http_client.h"

static_assert(sizeof(long) == 8 && sizeof(void*) == 8 && sizeof(curl_off_t) == 8,
              "options are forwarded as one 64-bit value");

namespace {

struct CurlFunctions {
  CURLcode (*global_init)(long) = nullptr;
  void (*global_cleanup)() = nullptr;
  CURL* (*easy_init)() = nullptr;
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easy_perform)(CURL*) = nullptr;
  void (*easy_cleanup)(CURL*) = nullptr;
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
  curl_slist* (*slist_append)(curl_slist*, const char*) = nullptr;
  void (*slist_free_all)(curl_slist*) = nullptr;
};

struct Library {
  std::mutex lock;
  void* handle = nullptr;
  CurlFunctions f;
  // The flags of the program's curl_global_init, repeated after a reload.
  long init_flags = -1;
  bool initialised = false;  // the library loaded now
  // Transfer handles and header lists alive: the library stays while any is.
  int in_use = 0;
  // A transfer that timed out or was aborted may leave libcurl's resolver
  // thread running inside the library: then it is never unloaded.
  bool pinned = false;
};

Library& Lib() {
  static Library* library = new Library();  // used until the process ends
  return *library;
}

template <typename T>
bool Bind(void* library, const char* name, T* slot) {
  *slot = reinterpret_cast<T>(dlsym(library, name));
  return *slot != nullptr;
}

// OpenSSL's error texts are read only into messages the installer never
// shows, yet loading them keeps about 600 KiB of libcrypto resident for
// good (it cannot be unloaded). Asked for first, this start leaves them out
// of libcurl's start too.
void StartTlsWithoutErrorTexts() {
  static bool started = false;
  if (started) return;
  started = true;
  void* ssl = dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL);
  if (!ssl) return;
  using Init = int (*)(uint64_t, const OPENSSL_INIT_SETTINGS*);
  if (auto init = reinterpret_cast<Init>(dlsym(ssl, "OPENSSL_init_ssl"))) {
    init(OPENSSL_INIT_NO_LOAD_SSL_STRINGS | OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS, nullptr);
  }
}

// All or nothing: without the library every call fails as libcurl's own
// calls fail without memory. Called with the lock held.
bool Load(Library& lib) {
  if (lib.handle) return true;
  StartTlsWithoutErrorTexts();
  void* handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  CurlFunctions f;
  const bool complete = Bind(handle, "curl_global_init", &f.global_init) &&
                        Bind(handle, "curl_global_cleanup", &f.global_cleanup) &&
                        Bind(handle, "curl_easy_init", &f.easy_init) &&
                        Bind(handle, "curl_easy_setopt", &f.easy_setopt) &&
                        Bind(handle, "curl_easy_perform", &f.easy_perform) &&
                        Bind(handle, "curl_easy_cleanup", &f.easy_cleanup) &&
                        Bind(handle, "curl_easy_getinfo", &f.easy_getinfo) &&
                        Bind(handle, "curl_slist_append", &f.slist_append) &&
                        Bind(handle, "curl_slist_free_all", &f.slist_free_all);
  if (!complete) {
    dlclose(handle);
    return false;
  }
  lib.handle = handle;
  lib.f = f;
  lib.initialised = lib.init_flags >= 0 && f.global_init(lib.init_flags) == CURLE_OK;
  return true;
}

// A function of the loaded library, or null; for calls on a handle or list
// that is alive, which keeps the library loaded.
template <typename T>
T Loaded(T CurlFunctions::*slot) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  return lib.handle ? lib.f.*slot : nullptr;
}

void Released() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  --lib.in_use;
}

// The results after which libcurl has joined its resolver thread, if it
// started one: the lookup was over before the transfer ended.
bool LeavesNoThread(CURLcode result) {
  switch (result) {
    case CURLE_OK:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_WRITE_ERROR:
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
      return true;
    default:
      return false;
  }
}

}  // namespace

namespace corvane {

bool UnloadIdleHttpLibrary() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  if (!lib.handle || lib.in_use > 0 || lib.pinned) return false;
  if (lib.initialised) lib.f.global_cleanup();
  dlclose(lib.handle);
  lib.handle = nullptr;
  lib.f = CurlFunctions();
  lib.initialised = false;
  return true;
}

void PreloadHttpLibrary() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  Load(lib);
}

}  // namespace corvane

extern "C" {

CURLcode curl_global_init(long flags) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  if (!Load(lib)) return CURLE_FAILED_INIT;
  lib.init_flags = flags;
  if (lib.initialised) return CURLE_OK;
  const CURLcode result = lib.f.global_init(flags);
  lib.initialised = result == CURLE_OK;
  return result;
}

CURL* curl_easy_init() {
  Library& lib = Lib();
  CURL* (*easy_init)() = nullptr;
  {
    std::lock_guard<std::mutex> hold(lib.lock);
    if (!Load(lib)) return nullptr;
    ++lib.in_use;
    easy_init = lib.f.easy_init;
  }
  CURL* handle = easy_init();
  if (!handle) Released();
  return handle;
}

CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
  const auto setopt = Loaded(&CurlFunctions::easy_setopt);
  if (!setopt || !handle) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, option);
  const int64_t value = va_arg(args, int64_t);
  va_end(args);
  return setopt(handle, option, value);
}

CURLcode curl_easy_perform(CURL* handle) {
  const auto perform = Loaded(&CurlFunctions::easy_perform);
  if (!perform || !handle) return CURLE_FAILED_INIT;
  const CURLcode result = perform(handle);
  if (!LeavesNoThread(result)) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> hold(lib.lock);
    lib.pinned = true;
  }
  return result;
}

void curl_easy_cleanup(CURL* handle) {
  const auto cleanup = Loaded(&CurlFunctions::easy_cleanup);
  if (!cleanup || !handle) return;
  cleanup(handle);
  Released();
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
  const auto getinfo = Loaded(&CurlFunctions::easy_getinfo);
  if (!getinfo || !handle) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, info);
  void* out = va_arg(args, void*);
  va_end(args);
  return getinfo(handle, info, out);
}

// A new list (appended to none) is a use until it is freed.
curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  Library& lib = Lib();
  curl_slist* (*append)(curl_slist*, const char*) = nullptr;
  {
    std::lock_guard<std::mutex> hold(lib.lock);
    if (!Load(lib)) return nullptr;
    if (!list) ++lib.in_use;
    append = lib.f.slist_append;
  }
  curl_slist* result = append(list, text);
  if (!list && !result) Released();
  return result;
}

void curl_slist_free_all(curl_slist* list) {
  const auto free_all = Loaded(&CurlFunctions::slist_free_all);
  if (!free_all || !list) return;
  free_all(list);
  Released();
}

}  // extern "C"
