#include "app/system/digest.h"

#include <windows.h>

#include <objbase.h>
#include <wincrypt.h>

#include <cstdio>
#include <mutex>

namespace corvane {

namespace {

// The MD5 functions advapi32 exports by name (they have no header).
struct Md5Context {
  ULONG i[2];
  ULONG buf[4];
  unsigned char in[64];
  unsigned char digest[16];
};
using Md5Init = void(WINAPI*)(Md5Context*);
using Md5Update = void(WINAPI*)(Md5Context*, const unsigned char*, unsigned int);
using Md5Final = void(WINAPI*)(Md5Context*);

struct Md5Functions {
  Md5Init init = nullptr;
  Md5Update update = nullptr;
  Md5Final final = nullptr;
};

// Looked up once and kept for the life of the process.
const Md5Functions& Md5() {
  static Md5Functions functions;
  static std::once_flag once;
  std::call_once(once, [] {
    HMODULE advapi = LoadLibraryW(L"advapi32.dll");
    if (!advapi) return;
    auto find = [advapi](const char* name) {
      return reinterpret_cast<void*>(GetProcAddress(advapi, name));
    };
    functions.init = reinterpret_cast<Md5Init>(find("MD5Init"));
    functions.update = reinterpret_cast<Md5Update>(find("MD5Update"));
    functions.final = reinterpret_cast<Md5Final>(find("MD5Final"));
  });
  return functions;
}

}  // namespace

std::array<uint8_t, 16> Md5Digest(std::string_view bytes) {
  std::array<uint8_t, 16> digest{};
  const Md5Functions& md5 = Md5();
  if (!md5.init || !md5.update || !md5.final) return digest;
  Md5Context context = {};
  md5.init(&context);
  // The length is 32-bit: feed long input in pieces.
  constexpr size_t kPiece = 1u << 30;
  for (size_t done = 0; done < bytes.size(); done += kPiece) {
    const size_t n = std::min(kPiece, bytes.size() - done);
    md5.update(&context, reinterpret_cast<const unsigned char*>(bytes.data() + done),
               static_cast<unsigned int>(n));
  }
  md5.final(&context);
  std::copy(std::begin(context.digest), std::end(context.digest), digest.begin());
  return digest;
}

std::string Base64Encode(std::string_view bytes) {
  if (bytes.empty()) return std::string();
  const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
  const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
  const auto size = static_cast<DWORD>(bytes.size());
  DWORD length = 0;
  if (!CryptBinaryToStringA(data, size, flags, nullptr, &length) || length == 0) {
    return std::string();
  }
  std::string out(length, '\0');
  if (!CryptBinaryToStringA(data, size, flags, out.data(), &length)) return std::string();
  // The returned length leaves out the terminating zero.
  out.resize(length);
  return out;
}

std::string FreshGuidText() {
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return std::string();
  char text[128];
  std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

}  // namespace corvane
