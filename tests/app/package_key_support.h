#pragma once

#include <string>
#include <vector>

#include "tests/app/app_test_support.h"

namespace app_test {

// Standard output (text) of a program run to its end (argv[0] searched on
// PATH); `status` receives its exit status when given.
std::string CommandOutput(const std::vector<std::string>& argv, int* status = nullptr);

struct KeyPair {
  std::string private_pem;
  std::string public_pem;
};

// A fresh ECDSA key pair in `dir`, made by scripts/sign-package --new-key
// (P-256) or by the openssl command for another curve.
KeyPair MakeKeyPair(const TempDir& dir, const std::string& name,
                    const std::string& curve = "P-256");

// The signature text scripts/sign-package writes for `package`.
std::string SignPackage(const std::string& private_pem, const std::string& package);

// A copy of the built installer in `dir` carrying `public_pems` as its
// package keys (scripts/restamp-key); no keys at all when empty.
std::string StampedInstallerCopy(const TempDir& dir, const std::string& name,
                                 const std::vector<std::string>& public_pems);

// The SubjectPublicKeyInfo (DER) of a PEM public key file (written beside it).
std::string PublicKeyDer(const std::string& public_pem);

// Lowercase hex of bytes.
std::string Hex(const void* data, size_t size);

}  // namespace app_test
