// OpenSSL's libcrypto, loaded when a package is first checked: the installer
// starts without it, and by then libcurl has usually mapped it already, so
// loading it costs next to nothing. Only the declarations are taken from the
// headers; the functions are looked up by name.
#include "app/system/package_crypto.h"

#include <dlfcn.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstring>
#include <mutex>

namespace corvane {

namespace {

struct Crypto {
  decltype(&EVP_MD_CTX_new) md_ctx_new = nullptr;
  decltype(&EVP_MD_CTX_free) md_ctx_free = nullptr;
  decltype(&EVP_sha256) sha256 = nullptr;
  decltype(&EVP_DigestInit_ex) digest_init = nullptr;
  decltype(&EVP_DigestUpdate) digest_update = nullptr;
  decltype(&EVP_DigestFinal_ex) digest_final = nullptr;
  decltype(&d2i_PUBKEY) d2i_pubkey = nullptr;
  decltype(&EVP_PKEY_free) pkey_free = nullptr;
  decltype(&EVP_PKEY_get_base_id) pkey_base_id = nullptr;
  decltype(&EVP_PKEY_get_group_name) pkey_group_name = nullptr;
  decltype(&EVP_PKEY_CTX_new) pkey_ctx_new = nullptr;
  decltype(&EVP_PKEY_CTX_free) pkey_ctx_free = nullptr;
  decltype(&EVP_PKEY_verify_init) verify_init = nullptr;
  decltype(&EVP_PKEY_CTX_set_signature_md) set_signature_md = nullptr;
  decltype(&EVP_PKEY_verify) verify = nullptr;
  bool complete = false;
};

template <typename T>
bool Bind(void* library, const char* name, T* slot) {
  *slot = reinterpret_cast<T>(dlsym(library, name));
  return *slot != nullptr;
}

// All or nothing: without the library no digest is made and no signature
// verifies, so a checked installer refuses every package.
const Crypto& Lib() {
  static Crypto crypto;
  static std::once_flag once;
  std::call_once(once, [] {
    void* library = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    Crypto c;
    c.complete = Bind(library, "EVP_MD_CTX_new", &c.md_ctx_new) &&
                 Bind(library, "EVP_MD_CTX_free", &c.md_ctx_free) &&
                 Bind(library, "EVP_sha256", &c.sha256) &&
                 Bind(library, "EVP_DigestInit_ex", &c.digest_init) &&
                 Bind(library, "EVP_DigestUpdate", &c.digest_update) &&
                 Bind(library, "EVP_DigestFinal_ex", &c.digest_final) &&
                 Bind(library, "d2i_PUBKEY", &c.d2i_pubkey) &&
                 Bind(library, "EVP_PKEY_free", &c.pkey_free) &&
                 Bind(library, "EVP_PKEY_get_base_id", &c.pkey_base_id) &&
                 Bind(library, "EVP_PKEY_get_group_name", &c.pkey_group_name) &&
                 Bind(library, "EVP_PKEY_CTX_new", &c.pkey_ctx_new) &&
                 Bind(library, "EVP_PKEY_CTX_free", &c.pkey_ctx_free) &&
                 Bind(library, "EVP_PKEY_verify_init", &c.verify_init) &&
                 Bind(library, "EVP_PKEY_CTX_set_signature_md", &c.set_signature_md) &&
                 Bind(library, "EVP_PKEY_verify", &c.verify);
    if (c.complete) crypto = c;
  });
  return crypto;
}

bool IsP256(EVP_PKEY* key) {
  if (Lib().pkey_base_id(key) != EVP_PKEY_EC) return false;
  char group[64] = {};
  size_t length = 0;
  if (Lib().pkey_group_name(key, group, sizeof(group), &length) != 1) return false;
  return std::strcmp(group, "prime256v1") == 0;
}

bool VerifyWithKey(const std::string& der_key, const Sha256Digest& digest,
                   const std::string& der_signature) {
  const auto* cursor = reinterpret_cast<const unsigned char*>(der_key.data());
  EVP_PKEY* key = Lib().d2i_pubkey(nullptr, &cursor, static_cast<long>(der_key.size()));
  if (!key) return false;
  bool valid = false;
  // Trailing bytes after the key mean the block is not one key.
  if (cursor == reinterpret_cast<const unsigned char*>(der_key.data()) + der_key.size() &&
      IsP256(key)) {
    EVP_PKEY_CTX* context = Lib().pkey_ctx_new(key, nullptr);
    valid = context && Lib().verify_init(context) == 1 &&
            Lib().set_signature_md(context, Lib().sha256()) == 1 &&
            Lib().verify(context, reinterpret_cast<const unsigned char*>(der_signature.data()),
                         der_signature.size(), digest.data(), digest.size()) == 1;
    if (context) Lib().pkey_ctx_free(context);
  }
  Lib().pkey_free(key);
  return valid;
}

}  // namespace

class Sha256Hasher::Impl {
 public:
  Impl() {
    if (!Lib().complete) return;
    context_ = Lib().md_ctx_new();
    ok_ = context_ && Lib().digest_init(context_, Lib().sha256(), nullptr) == 1;
  }
  ~Impl() {
    if (context_) Lib().md_ctx_free(context_);
  }

  void Update(const void* data, size_t size) {
    if (ok_ && size > 0) ok_ = Lib().digest_update(context_, data, size) == 1;
  }

  std::optional<Sha256Digest> Finish() {
    if (!ok_) return std::nullopt;
    ok_ = false;
    Sha256Digest digest;
    unsigned int length = 0;
    if (Lib().digest_final(context_, digest.data(), &length) != 1 || length != digest.size()) {
      return std::nullopt;
    }
    return digest;
  }

 private:
  EVP_MD_CTX* context_ = nullptr;
  bool ok_ = false;
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
  if (!Lib().complete || der_signature.empty()) return false;
  for (const std::string& key : der_public_keys) {
    if (VerifyWithKey(key, digest, der_signature)) return true;
  }
  return false;
}

}  // namespace corvane
