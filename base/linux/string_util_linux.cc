#include <glib.h>

#include "base/string_util.h"

namespace nbase {

bool MBCSToWide(std::string_view text, const char* charset, std::wstring* out) {
  out->clear();
  GError* error = nullptr;
  gsize written = 0;
  gchar* utf8 = g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8", charset, nullptr,
                          &written, &error);
  if (utf8 == nullptr) {
    g_clear_error(&error);
    return false;
  }
  *out = UTF8ToWide(std::string_view(utf8, written));
  g_free(utf8);
  return true;
}

}  // namespace nbase
