// SHA-256 and ECDSA P-256 through the system's CNG (bcrypt); the key's
// point is read from its SubjectPublicKeyInfo through crypt32.
#include "app/system/package_crypto.h"

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <cstring>

namespace corvane {

namespace {

// The two halves of a DER ECDSA-Sig-Value (SEQUENCE { r INTEGER, s INTEGER })
// as the 64-byte big-endian r || s that CNG verifies. False for anything
// else, including values wider than the curve.
bool RawSignatureFromDer(const std::string& der, std::array<uint8_t, 64>* raw) {
  size_t at = 0;
  auto byte = [&der, &at](uint8_t* out) {
    if (at >= der.size()) return false;
    *out = static_cast<uint8_t>(der[at++]);
    return true;
  };
  // Short-form lengths only: a P-256 signature is at most 72 bytes.
  auto header = [&byte](uint8_t tag, size_t* length) {
    uint8_t t = 0;
    uint8_t l = 0;
    if (!byte(&t) || t != tag || !byte(&l) || l >= 0x80) return false;
    *length = l;
    return true;
  };
  size_t sequence = 0;
  if (!header(0x30, &sequence) || sequence != der.size() - 2) return false;
  raw->fill(0);
  for (int half = 0; half < 2; ++half) {
    size_t length = 0;
    if (!header(0x02, &length) || length == 0 || at + length > der.size()) return false;
    const auto* value = reinterpret_cast<const uint8_t*>(der.data() + at);
    at += length;
    // Both are positive (no sign bit); a leading zero only keeps it clear.
    if (value[0] & 0x80) return false;
    while (length > 1 && value[0] == 0) {
      ++value;
      --length;
    }
    if (length > 32) return false;
    std::copy(value, value + length, raw->begin() + half * 32 + (32 - length));
  }
  return at == der.size();
}

// The ECDSA P-256 provider, opened once for the life of the process.
BCRYPT_ALG_HANDLE Ecdsa() {
  static BCRYPT_ALG_HANDLE algorithm = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    return BCryptOpenAlgorithmProvider(&handle, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) == 0
               ? handle
               : nullptr;
  }();
  return algorithm;
}

}  // namespace

class Sha256Hasher::Impl {
 public:
  Impl() {
    if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
        BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0) != 0) {
      failed_ = true;
    }
  }
  ~Impl() {
    if (hash_) BCryptDestroyHash(hash_);
    if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  void Update(const void* data, size_t size) {
    const auto* bytes = static_cast<const UCHAR*>(data);
    while (!failed_ && !finished_ && size > 0) {
      const ULONG piece = static_cast<ULONG>(std::min<size_t>(size, 1u << 30));
      failed_ = BCryptHashData(hash_, const_cast<UCHAR*>(bytes), piece, 0) != 0;
      bytes += piece;
      size -= piece;
    }
  }
  std::optional<Sha256Digest> Finish() {
    if (failed_ || finished_) return std::nullopt;
    finished_ = true;
    Sha256Digest digest;
    if (BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0) != 0) {
      return std::nullopt;
    }
    return digest;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
  bool failed_ = false;
  bool finished_ = false;
};

Sha256Hasher::Sha256Hasher() : impl_(std::make_unique<Impl>()) {}
Sha256Hasher::~Sha256Hasher() = default;

void Sha256Hasher::Update(const void* data, size_t size) {
  impl_->Update(data, size);
}

std::optional<Sha256Digest> Sha256Hasher::Finish() {
  return impl_->Finish();
}

bool VerifyPackageSignature(const std::vector<std::string>& der_public_keys,
                            const Sha256Digest& digest, const std::string& der_signature) {
  std::array<uint8_t, 64> raw;
  if (!RawSignatureFromDer(der_signature, &raw)) return false;
  for (const std::string& der_key : der_public_keys) {
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(
            X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, reinterpret_cast<const BYTE*>(der_key.data()),
            static_cast<DWORD>(der_key.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &size)) {
      continue;
    }
    // Only P-256 keys: the curve is the algorithm's parameter.
    const bool p256 =
        info->Algorithm.pszObjId && std::string(info->Algorithm.pszObjId) == szOID_ECC_PUBLIC_KEY &&
        info->Algorithm.Parameters.cbData == 10 &&
        std::string(reinterpret_cast<const char*>(info->Algorithm.Parameters.pbData), 10) ==
            std::string("\x06\x08\x2a\x86\x48\xce\x3d\x03\x01\x07", 10);
    // The point as the uncompressed 04 || X || Y, imported as an ECDSA key.
    const CRYPT_BIT_BLOB& point = info->PublicKey;
    const bool uncompressed = p256 && point.cbData == 65 && point.pbData[0] == 0x04;
    std::array<uint8_t, sizeof(BCRYPT_ECCKEY_BLOB) + 64> blob{};
    if (uncompressed) {
      BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
      std::memcpy(blob.data(), &header, sizeof(header));
      std::memcpy(blob.data() + sizeof(header), point.pbData + 1, 64);
    }
    LocalFree(info);
    BCRYPT_KEY_HANDLE key = nullptr;
    const bool imported = uncompressed && Ecdsa() &&
                          BCryptImportKeyPair(Ecdsa(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                                              blob.data(), static_cast<ULONG>(blob.size()), 0) == 0;
    if (!imported) continue;
    const NTSTATUS status = BCryptVerifySignature(key, nullptr, const_cast<UCHAR*>(digest.data()),
                                                  static_cast<ULONG>(digest.size()), raw.data(),
                                                  static_cast<ULONG>(raw.size()), 0);
    BCryptDestroyKey(key);
    if (status == 0) return true;
  }
  return false;
}

}  // namespace corvane
