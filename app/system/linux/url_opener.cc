#include "app/system/url_opener.h"

#include <gio/gio.h>

#include "app/system/process.h"

namespace corvane {

bool LaunchUri(const std::string& uri) {
  if (uri.empty()) return false;
  GError* error = nullptr;
  if (g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error)) return true;
  g_clear_error(&error);
  return SpawnDetachedSearchPath({"xdg-open", uri}) == 0;
}

}  // namespace corvane
