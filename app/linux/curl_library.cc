// The HTTP library is loaded when first used instead of with the program:
// libcurl and the libraries it needs (TLS, Kerberos, LDAP, SSH ...) are
// about thirty shared objects whose loading would otherwise delay the first
// frame of the window. The first use is on a worker thread (statistics or
// download), so the window does not wait for it.
//
// Only the functions the installer calls are forwarded. Each option or
// information request passes one value, a long, a pointer or a curl_off_t,
// all passed alike in one 64-bit register, so the value is forwarded as a
// 64-bit integer.

#define CURL_DISABLE_TYPECHECK 1
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <cstdint>
#include <mutex>

static_assert(sizeof(long) == 8 && sizeof(void*) == 8 && sizeof(curl_off_t) == 8,
              "options are forwarded as one 64-bit value");

namespace {

struct CurlFunctions {
  CURLcode (*global_init)(long) = nullptr;
  CURL* (*easy_init)() = nullptr;
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easy_perform)(CURL*) = nullptr;
  void (*easy_cleanup)(CURL*) = nullptr;
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
  curl_slist* (*slist_append)(curl_slist*, const char*) = nullptr;
  void (*slist_free_all)(curl_slist*) = nullptr;
  bool complete = false;
};

template <typename T>
void Bind(void* library, const char* name, T* slot) {
  *slot = reinterpret_cast<T>(dlsym(library, name));
}

// All or nothing: without the library every call fails as libcurl's own
// calls fail without memory.
const CurlFunctions& Curl() {
  static CurlFunctions functions;
  static std::once_flag once;
  std::call_once(once, [] {
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    CurlFunctions f;
    Bind(library, "curl_global_init", &f.global_init);
    Bind(library, "curl_easy_init", &f.easy_init);
    Bind(library, "curl_easy_setopt", &f.easy_setopt);
    Bind(library, "curl_easy_perform", &f.easy_perform);
    Bind(library, "curl_easy_cleanup", &f.easy_cleanup);
    Bind(library, "curl_easy_getinfo", &f.easy_getinfo);
    Bind(library, "curl_slist_append", &f.slist_append);
    Bind(library, "curl_slist_free_all", &f.slist_free_all);
    f.complete = f.global_init && f.easy_init && f.easy_setopt && f.easy_perform &&
                 f.easy_cleanup && f.easy_getinfo && f.slist_append && f.slist_free_all;
    if (f.complete) functions = f;
  });
  return functions;
}

}  // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
  return Curl().complete ? Curl().global_init(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
  return Curl().complete ? Curl().easy_init() : nullptr;
}

CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
  if (!Curl().complete) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, option);
  const int64_t value = va_arg(args, int64_t);
  va_end(args);
  return Curl().easy_setopt(handle, option, value);
}

CURLcode curl_easy_perform(CURL* handle) {
  return Curl().complete ? Curl().easy_perform(handle) : CURLE_FAILED_INIT;
}

void curl_easy_cleanup(CURL* handle) {
  if (Curl().complete) Curl().easy_cleanup(handle);
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
  if (!Curl().complete) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, info);
  void* out = va_arg(args, void*);
  va_end(args);
  return Curl().easy_getinfo(handle, info, out);
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  return Curl().complete ? Curl().slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
  if (Curl().complete) Curl().slist_free_all(list);
}

}  // extern "C"
