#include "app/package_signature.h"

#include <cstdint>

#include "app/system/embedded_resource.h"

namespace corvane {

namespace {

constexpr std::string_view kBeginKey = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kEndKey = "-----END PUBLIC KEY-----";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
  std::string symbols;
  symbols.reserve(text.size());
  for (char c : text) {
    if (!IsSpace(c)) symbols += c;
  }
  if (symbols.empty() || symbols.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  while (padding < 2 && symbols[symbols.size() - 1 - padding] == '=') ++padding;
  std::string out;
  out.reserve(symbols.size() / 4 * 3);
  uint32_t bits = 0;
  const size_t data_symbols = symbols.size() - padding;
  for (size_t i = 0; i < data_symbols; ++i) {
    const int value = Base64Value(symbols[i]);
    if (value < 0) return std::nullopt;
    bits = bits << 6 | static_cast<uint32_t>(value);
    if (i % 4 == 3) {
      out += static_cast<char>(bits >> 16);
      out += static_cast<char>(bits >> 8);
      out += static_cast<char>(bits);
      bits = 0;
    }
  }
  // Bits beyond the last byte must be zero: one text per byte string.
  if (padding == 1) {
    if (bits & 0x3) return std::nullopt;
    out += static_cast<char>(bits >> 10);
    out += static_cast<char>(bits >> 2);
  } else if (padding == 2) {
    if (bits & 0xF) return std::nullopt;
    out += static_cast<char>(bits >> 4);
  }
  return out;
}

PackageKeys ParsePackageKeys(std::string_view text) {
  PackageKeys keys;
  for (char c : text) {
    if (!IsSpace(c)) {
      keys.stamped = true;
      break;
    }
  }
  size_t at = 0;
  while ((at = text.find(kBeginKey, at)) != std::string_view::npos) {
    const size_t body = at + kBeginKey.size();
    const size_t end = text.find(kEndKey, body);
    if (end == std::string_view::npos) break;
    if (std::optional<std::string> der = DecodeBase64(text.substr(body, end - body))) {
      keys.der.push_back(std::move(*der));
    }
    at = end + kEndKey.size();
  }
  return keys;
}

PackageKeys ReadPackageKeyResource() {
  const std::optional<std::string> text = ReadEmbeddedResource(kPackageKeyResource);
  return text ? ParsePackageKeys(*text) : PackageKeys();
}

bool PackageSignatureMatches(const PackageKeys& keys, const Sha256Digest& digest,
                             std::string_view body) {
  if (body.size() > kMaxSignatureBodyBytes) return false;
  const std::optional<std::string> signature = DecodeBase64(body);
  return signature && VerifyPackageSignature(keys.der, digest, *signature);
}

}  // namespace corvane
