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

// One user-visible character (a code point) is one wchar_t on Linux and one or
// two UTF-16 code units on Windows. Indices below are in wchar_t units; every
// cut, caret move and count goes through these so that no surrogate pair is
// ever split.
bool IsHighSurrogate(wchar_t c);
bool IsLowSurrogate(wchar_t c);
// Index just past the character that starts at `index` (text.size() at most).
size_t NextCharBoundary(std::wstring_view text, size_t index);
// Index of the start of the character that ends at `index` (0 at least).
size_t PrevCharBoundary(std::wstring_view text, size_t index);
// `index` itself when it is a boundary, else the start of its character.
size_t AlignToCharBoundary(std::wstring_view text, size_t index);
// Number of characters (code points).
size_t CharCount(std::wstring_view text);
// Length of the longest prefix of at most `max_units` units that ends on a
// character boundary.
size_t TruncateAtCharBoundary(std::wstring_view text, size_t max_units);
// Unit count of the first `chars` characters (text.size() when it has fewer).
size_t UnitsForChars(std::wstring_view text, size_t chars);
// The code point of the character at `index` (a lone surrogate is returned as is).
char32_t CodePointAt(std::wstring_view text, size_t index);
// Appends `code_point` to `out` as one or two units.
void AppendCodePoint(char32_t code_point, std::wstring* out);

}  // namespace nbase
