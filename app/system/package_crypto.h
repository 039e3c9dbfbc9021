#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// The two cryptographic primitives behind the package check, each platform
// implementing them with its own library.

using Sha256Digest = std::array<uint8_t, 32>;

// SHA-256 of a byte stream given in pieces, so that a package is hashed while
// it arrives rather than read again from disk.
class Sha256Hasher {
 public:
  Sha256Hasher();
  ~Sha256Hasher();
  Sha256Hasher(const Sha256Hasher&) = delete;
  Sha256Hasher& operator=(const Sha256Hasher&) = delete;

  void Update(const void* data, size_t size);
  // The digest of every byte given; nullopt when the platform's digest is
  // unavailable or failed. Ends the hasher: later calls yield nullopt.
  std::optional<Sha256Digest> Finish();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// True when `der_signature` (an ECDSA-Sig-Value in DER) is a valid ECDSA
// P-256 signature of `digest` under one of `der_public_keys`
// (SubjectPublicKeyInfo in DER). Keys of another kind or curve never match.
bool VerifyPackageSignature(const std::vector<std::string>& der_public_keys,
                            const Sha256Digest& digest, const std::string& der_signature);

}  // namespace corvane
