#pragma once

#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

namespace nbase {

// Wide strings hold one Unicode code point per wchar_t; narrow strings are UTF-8.
// Invalid UTF-8 sequences become U+FFFD; lone surrogates and out-of-range code
// points are written as U+FFFD too, so the output is always valid.
std::wstring UTF8ToWide(std::string_view utf8);
// The same into a buffer of at least utf8.size() characters (never more are
// written); returns the number written.
size_t UTF8ToWideInto(std::string_view utf8, wchar_t* out);
std::string WideToUTF8(std::wstring_view wide);

// File-system names and arguments are bytes, usually but not always UTF-8.
// These convert them losslessly: valid UTF-8 decodes as above, and every
// byte of an invalid sequence becomes one code point U+DC80..U+DCFF, which
// WideToNativePath turns back into that byte. So
// WideToNativePath(NativePathToWide(b)) == b for any bytes b. WideToUTF8
// shows such a code point as U+FFFD.
std::wstring NativePathToWide(std::string_view bytes);
std::string WideToNativePath(std::wstring_view wide);

// Converts text in a named character set (iconv name, e.g. "GBK") to wide.
// Returns false and leaves `out` empty when the charset is unknown or the
// text is not valid in it.
bool MBCSToWide(std::string_view text, const char* charset, std::wstring* out);

// printf-style formatting into a wide string. Tries a 1024-character buffer
// first and doubles it on overflow, up to 32 Mi characters; a result that
// still does not fit yields an empty string.
std::wstring StringPrintf(const wchar_t* format, ...);
std::wstring StringPrintfV(const wchar_t* format, va_list args);

// Splits at any of `separators`; runs of separators count as one and empty
// pieces are dropped.
std::vector<std::wstring> StringTokenize(std::wstring_view text, std::wstring_view separators);
std::vector<std::string> StringTokenize(std::string_view text, std::string_view separators);

// Replaces every occurrence of `find` (which must not be empty) and returns
// the number of replacements.
size_t StringReplaceAll(std::wstring_view find, std::wstring_view replace, std::wstring* text);
size_t StringReplaceAll(std::string_view find, std::string_view replace, std::string* text);

// Turns "\" into "/" and collapses runs of separators into one. A leading
// "//" is kept as "/".
std::wstring NormalizePathSeparators(std::wstring_view path);
std::string NormalizePathSeparators(std::string_view path);

// Case-insensitive comparison of ASCII letters only; other code points must
// match exactly.
bool EqualsIgnoreAsciiCase(std::wstring_view a, std::wstring_view b);

}  // namespace nbase
