// The package check's primitives on CNG, against a key and signature that
// OpenSSL made (the vendor's tool): the two implementations must agree.
#include <gtest/gtest.h>

#include "app/package_signature.h"
#include "app/system/package_crypto.h"

namespace {

using corvane::DecodeBase64;
using corvane::Sha256Digest;
using corvane::Sha256Hasher;
using corvane::VerifyPackageSignature;

constexpr char kMessage[] = "corvane package";
// openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256; pkey -pubout -outform DER
constexpr char kKey[] =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAETaHyze/8YtnwlIEZ5MvES+Zej50VIJ7jbqzu+USJzKXDEVNevt94Dcf5A8"
    "T9bZQ09UJ9e5+YtOvcIauQ2tH5hQ==";
// openssl dgst -sha256 -sign over kMessage
constexpr char kSignature[] =
    "MEUCIFerN20mm9PqaPcetIoxSaeVyy6BcBz7LBsjjT274wHUAiEAzYeXm1Ha9nV0QPst4FlfF1ZVoOXYfuSyqvvcBbjE7a"
    "o=";
// A P-384 key: another curve never matches.
constexpr char kOtherCurveKey[] =
    "MHYwEAYHKoZIzj0CAQYFK4EEACIDYgAEXg7+9xRTkezuZkkki9mt2CZNmyU40uAFUKJWgwx7YyDCvZ/21fqJg3oOCZKze"
    "ZKgRlXQDURfZeGF0vqfYJrgQWS8rYYIpa4QV+K1qAe1B6L4XhCjpx9w88+mmqJOpFsm";

Sha256Digest DigestOf(const std::string& text, size_t piece) {
  Sha256Hasher hasher;
  for (size_t at = 0; at < text.size(); at += piece) {
    hasher.Update(text.data() + at, std::min(piece, text.size() - at));
  }
  return hasher.Finish().value_or(Sha256Digest{});
}

std::string Hex(const Sha256Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

TEST(WinPackageCrypto, Sha256InPiecesAndOnlyOnce) {
  EXPECT_EQ(Hex(DigestOf(kMessage, 1)),
            "2b5f6ed9b0b11de2d9c1a7046ab156e1eec1bfc670875ad543f2d307b9d28930");
  EXPECT_EQ(DigestOf(kMessage, 4), DigestOf(kMessage, 100));
  EXPECT_EQ(Hex(DigestOf("", 1)),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  Sha256Hasher hasher;
  EXPECT_TRUE(hasher.Finish().has_value());
  EXPECT_FALSE(hasher.Finish().has_value());
}

TEST(WinPackageCrypto, VerifiesOpenSslSignaturesAndNothingElse) {
  const std::string key = DecodeBase64(kKey).value();
  const std::string signature = DecodeBase64(kSignature).value();
  const Sha256Digest digest = DigestOf(kMessage, 7);
  EXPECT_TRUE(VerifyPackageSignature({key}, digest, signature));
  // Any later key may match.
  EXPECT_TRUE(
      VerifyPackageSignature({DecodeBase64(kOtherCurveKey).value(), key}, digest, signature));
  Sha256Digest tampered = digest;
  tampered[31] ^= 1;
  EXPECT_FALSE(VerifyPackageSignature({key}, tampered, signature));
  EXPECT_FALSE(VerifyPackageSignature({}, digest, signature));
  EXPECT_FALSE(VerifyPackageSignature({DecodeBase64(kOtherCurveKey).value()}, digest, signature));
  EXPECT_FALSE(VerifyPackageSignature({"not a key"}, digest, signature));
  // Damaged signatures: cut, lengthened, a flipped byte, a wrong outer tag.
  EXPECT_FALSE(VerifyPackageSignature({key}, digest, signature.substr(0, signature.size() - 1)));
  EXPECT_FALSE(VerifyPackageSignature({key}, digest, signature + '\0'));
  std::string flipped = signature;
  flipped[10] ^= 0x40;
  EXPECT_FALSE(VerifyPackageSignature({key}, digest, flipped));
  std::string wrong_tag = signature;
  wrong_tag[0] = 0x31;
  EXPECT_FALSE(VerifyPackageSignature({key}, digest, wrong_tag));
  EXPECT_FALSE(VerifyPackageSignature({key}, digest, ""));
}

}  // namespace
