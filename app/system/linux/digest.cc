#include "app/system/digest.h"

#include <glib.h>

namespace corvane {

std::array<uint8_t, 16> Md5Digest(std::string_view bytes) {
  std::array<uint8_t, 16> digest{};
  GChecksum* sum = g_checksum_new(G_CHECKSUM_MD5);
  g_checksum_update(sum, reinterpret_cast<const guchar*>(bytes.data()),
                    static_cast<gssize>(bytes.size()));
  gsize length = digest.size();
  g_checksum_get_digest(sum, digest.data(), &length);
  g_checksum_free(sum);
  return digest;
}

std::string Base64Encode(std::string_view bytes) {
  gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  std::string out(encoded);
  g_free(encoded);
  return out;
}

std::string FreshGuidText() {
  gchar* uuid = g_uuid_string_random();
  if (!uuid) return std::string();
  gchar* upper = g_ascii_strup(uuid, -1);
  std::string text = std::string("{") + upper + "}";
  g_free(upper);
  g_free(uuid);
  return text;
}

}  // namespace corvane
