#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// The platform's own digest, encoding and identifier services: GLib on
// Linux; advapi32's MD5 functions, crypt32 and CoCreateGuid on Windows.

// MD5 (RFC 1321) of `bytes`.
std::array<uint8_t, 16> Md5Digest(std::string_view bytes);

// Standard Base64 (RFC 4648: "+" and "/", "=" padding, no line breaks).
std::string Base64Encode(std::string_view bytes);

// A fresh random identifier as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in
// upper case; empty when none can be made.
std::string FreshGuidText();

}  // namespace corvane
