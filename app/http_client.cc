#include "app/http_client.h"

#include <mutex>

namespace corvane {

namespace {

// Never destroyed: uploads on worker threads may still read them at exit.
std::mutex g_globals_lock;
std::map<std::string, std::string>& GlobalCookies() {
  static auto* cookies = new std::map<std::string, std::string>;
  return *cookies;
}
std::string& GlobalProxy() {
  static auto* proxy = new std::string;
  return *proxy;
}

}  // namespace

void SetGlobalCookie(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> guard(g_globals_lock);
  GlobalCookies().erase(name);
  GlobalCookies().emplace(name, value);
}

std::map<std::string, std::string> GetGlobalCookies() {
  std::lock_guard<std::mutex> guard(g_globals_lock);
  return GlobalCookies();
}

void ClearGlobalCookiesForTesting() {
  std::lock_guard<std::mutex> guard(g_globals_lock);
  GlobalCookies().clear();
}

void SetGlobalProxy(const std::string& proxy) {
  std::lock_guard<std::mutex> guard(g_globals_lock);
  GlobalProxy() = proxy;
}

std::string GetGlobalProxy() {
  std::lock_guard<std::mutex> guard(g_globals_lock);
  return GlobalProxy();
}

std::map<std::string, std::string> DefaultRequestHeaders() {
  return {{"Accept-Charset", "utf-8;q=0.7,*;q=0.3"},
          {"Accept-Language", "en-US,en;q=0.9"},
          {"Accept-Encoding", "deflate"},
          {"Cache-Control", "no-cache"},
          {"Connection", "close"},
          {"User-Agent",
           "Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) "
           "Chrome/56.0.2924.90 Safari/537.36 2345Explorer/9.3.2.17331"}};
}

}  // namespace corvane
