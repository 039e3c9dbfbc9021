#pragma once

#include <string>
#include <string_view>

namespace corvane {

// UTF-8 and UTF-16 through the system's converter. A surrogate pair becomes
// one four-byte sequence; a lone surrogate or a broken byte becomes U+FFFD.
// The seams take UTF-8; the Win32 calls take these wide strings.
std::wstring Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::wstring_view wide);

// The message of a Win32 error code, for diagnostics.
std::string Win32ErrorText(unsigned long code);

}  // namespace corvane
