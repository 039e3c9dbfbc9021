#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/system/package_crypto.h"

namespace corvane {

// The resource that holds the vendor's package keys: text with one or more
// PEM blocks "-----BEGIN PUBLIC KEY-----" ... "-----END PUBLIC KEY-----"
// (ECDSA P-256 SubjectPublicKeyInfo, as `openssl pkey -pubout` writes them),
// concatenated; text outside the blocks is ignored. Several keys let the
// vendor sign with a new key while installers with the old one are out.
constexpr char kPackageKeyResource[] = "PKGKEY";

// A signature body is a few hundred bytes at most; more is not a signature.
constexpr size_t kMaxSignatureBodyBytes = 4096;

struct PackageKeys {
  // Anything but white space in the resource: from then on only a package
  // with a valid signature is run, even if no block in it is a usable key.
  bool stamped = false;
  // The decoded blocks, SubjectPublicKeyInfo in DER.
  std::vector<std::string> der;
};

PackageKeys ParsePackageKeys(std::string_view text);
// The running installer's keys; not stamped when the resource is absent.
PackageKeys ReadPackageKeyResource();

// Standard Base64 (RFC 4648, "=" padding) with white space anywhere ignored
// and nothing else tolerated; nullopt for any other text.
std::optional<std::string> DecodeBase64(std::string_view text);

// True when `body` (Base64 of a DER ECDSA signature, as the vendor's
// signature address answers it) signs `digest` under one of the keys.
bool PackageSignatureMatches(const PackageKeys& keys, const Sha256Digest& digest,
                             std::string_view body);

}  // namespace corvane
