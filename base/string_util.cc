#include "base/string_util.h"

#include "base/build_config.h"

#if defined(__SSE2__)
#include "base/ascii_widen.h"
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>

namespace nbase {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

template <typename Str, typename View>
std::vector<Str> Tokenize(View text, View separators) {
  std::vector<Str> pieces;
  size_t start = 0;
  while (start < text.size()) {
    start = text.find_first_not_of(separators, start);
    if (start == View::npos) break;
    size_t end = text.find_first_of(separators, start);
    if (end == View::npos) end = text.size();
    pieces.emplace_back(text.substr(start, end - start));
    start = end;
  }
  return pieces;
}

template <typename Str, typename View>
size_t ReplaceAll(View find, View replace, Str* text) {
  if (find.empty() || text == nullptr) return 0;
  size_t count = 0;
  size_t pos = 0;
  while ((pos = text->find(find, pos)) != Str::npos) {
    text->replace(pos, find.size(), replace);
    pos += replace.size();
    ++count;
  }
  return count;
}

template <typename Str, typename View>
Str NormalizeSeparators(View path) {
  Str out;
  out.reserve(path.size());
  for (auto c : path) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  return out;
}

}  // namespace

namespace {

// How undecodable input and unencodable characters are treated.
enum class Mode {
  // Text: they become U+FFFD, so the output is always valid.
  kText,
  // File-system names, kept losslessly. Linux names are bytes: each byte of
  // an invalid sequence becomes one code point U+DC80..U+DCFF (which valid
  // UTF-8 never yields) and is written back as that byte. Windows names are
  // UTF-16 and may hold unpaired surrogates: those are written as the
  // three-byte form of their code point (WTF-8) and read back as they were.
  kNativePath,
};

constexpr uint32_t kEscapeBase = 0xDC00;
constexpr bool kEscapeBytes = !kWideIsUtf16;
constexpr bool kKeepSurrogates = kWideIsUtf16;
// Marks a byte kept by the escape in what the encoder's walk reports.
constexpr uint32_t kRawByte = 0x80000000u;

bool IsSurrogate(uint32_t cp) {
  return cp >= 0xD800 && cp <= 0xDFFF;
}

bool IsEscapedByte(uint32_t cp) {
  return cp >= kEscapeBase + 0x80 && cp <= kEscapeBase + 0xFF;
}

// Widens sixteen ASCII bytes to sixteen characters.
void WidenAscii16(const unsigned char* s, wchar_t* out) {
#if defined(__SSE2__)
  nbase::WidenAscii16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), out);
#else
  for (int k = 0; k < 16; ++k) out[k] = s[k];
#endif
}

// Writes at most utf8.size() units: every input byte yields at most one (a
// four-byte sequence yields a surrogate pair where wide text is UTF-16).
// Returns the number written.
size_t DecodeUTF8Into(std::string_view utf8, Mode mode, wchar_t* out) {
  wchar_t* const begin = out;
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* const end = s + utf8.size();
  const bool escape_bytes = kEscapeBytes && mode == Mode::kNativePath;
  const bool keep_surrogates = kKeepSurrogates && mode == Mode::kNativePath;
  auto invalid = [&](size_t count) {
    if (!escape_bytes) {
      *out++ = kReplacement;
      return;
    }
    for (size_t k = 0; k < count; ++k) *out++ = static_cast<wchar_t>(kEscapeBase + s[k]);
  };
  while (s < end) {
    // Markup and paths are mostly ASCII: sixteen bytes at a time while they are.
    while (end - s >= 16) {
      uint64_t halves[2];
      std::memcpy(halves, s, sizeof(halves));
      if ((halves[0] | halves[1]) & 0x8080808080808080ull) break;
      WidenAscii16(s, out);
      out += 16;
      s += 16;
    }
    if (s == end) break;
    const unsigned char c = *s;
    if (c < 0x80) {
      *out++ = c;
      ++s;
      continue;
    }
    int len;
    uint32_t cp;
    uint32_t min;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    } else {
      invalid(1);
      ++s;
      continue;
    }
    int taken = 1;
    while (taken < len && s + taken < end && IsContinuation(s[taken])) {
      cp = (cp << 6) | (s[taken] & 0x3F);
      ++taken;
    }
    if (taken < len || cp < min || cp > 0x10FFFF || (IsSurrogate(cp) && !keep_surrogates)) {
      invalid(static_cast<size_t>(taken));
    } else if (kWideIsUtf16 && cp >= 0x10000) {
      *out++ = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
      *out++ = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      *out++ = static_cast<wchar_t>(cp);
    }
    s += taken;
  }
  return static_cast<size_t>(out - begin);
}

std::wstring DecodeUTF8(std::string_view utf8, Mode mode) {
  std::wstring out(utf8.size(), L'\0');
  out.resize(DecodeUTF8Into(utf8, mode, out.data()));
  return out;
}

// Calls `fn` with every code point `wide` is written as, in order: a
// surrogate pair is one code point, and a byte kept by the escape is
// reported as kRawByte | byte.
template <typename Fn>
void ForEachEncoded(std::wstring_view wide, Mode mode, Fn&& fn) {
  const bool escape_bytes = kEscapeBytes && mode == Mode::kNativePath;
  const bool keep_surrogates = kKeepSurrogates && mode == Mode::kNativePath;
  const size_t n = wide.size();
  for (size_t i = 0; i < n; ++i) {
    uint32_t cp = static_cast<uint32_t>(wide[i]);
    if (cp < 0x80) {
      fn(cp);
      continue;
    }
    if constexpr (kWideIsUtf16) {
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n) {
        const uint32_t low = static_cast<uint32_t>(wide[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          fn(0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
          ++i;
          continue;
        }
      }
    }
    if (escape_bytes && IsEscapedByte(cp)) {
      fn(kRawByte | (cp - kEscapeBase));
    } else if (cp > 0x10FFFF || (IsSurrogate(cp) && !keep_surrogates)) {
      fn(kReplacement);
    } else {
      fn(cp);
    }
  }
}

size_t EncodedSize(uint32_t cp) {
  if (cp & kRawByte) return 1;
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Sized first, then written in place: no growth while encoding.
std::string EncodeUTF8(std::wstring_view wide, Mode mode) {
  size_t size = 0;
  ForEachEncoded(wide, mode, [&size](uint32_t cp) { size += EncodedSize(cp); });
  std::string out(size, '\0');
  char* o = out.data();
  ForEachEncoded(wide, mode, [&o](uint32_t cp) {
    if (cp & kRawByte) {
      *o++ = static_cast<char>(cp & 0xFF);
    } else if (cp < 0x80) {
      *o++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
      *o++ = static_cast<char>(0xC0 | (cp >> 6));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *o++ = static_cast<char>(0xE0 | (cp >> 12));
      *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *o++ = static_cast<char>(0xF0 | (cp >> 18));
      *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  });
  return out;
}

}  // namespace

std::wstring UTF8ToWide(std::string_view utf8) {
  return DecodeUTF8(utf8, Mode::kText);
}

size_t UTF8ToWideInto(std::string_view utf8, wchar_t* out) {
  return DecodeUTF8Into(utf8, Mode::kText, out);
}

std::string WideToUTF8(std::wstring_view wide) {
  return EncodeUTF8(wide, Mode::kText);
}

std::wstring NativePathToWide(std::string_view bytes) {
  return DecodeUTF8(bytes, Mode::kNativePath);
}

std::string WideToNativePath(std::wstring_view wide) {
  return EncodeUTF8(wide, Mode::kNativePath);
}

std::wstring StringPrintfV(const wchar_t* format, va_list args) {
  constexpr size_t kMax = 32u * 1024 * 1024;
  for (size_t size = 1024; size <= kMax; size *= 2) {
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[size]);
    va_list copy;
    va_copy(copy, args);
    errno = 0;
    const int written = std::vswprintf(buffer.get(), size, format, copy);
    va_end(copy);
    if (written >= 0 && static_cast<size_t>(written) < size) {
      return std::wstring(buffer.get(), static_cast<size_t>(written));
    }
    // vswprintf reports -1 both for overflow and for text it cannot convert;
    // a bigger buffer cannot help the second.
    if (written < 0 && errno == EILSEQ) break;
  }
  return std::wstring();
}

std::wstring StringPrintf(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring result = StringPrintfV(format, args);
  va_end(args);
  return result;
}

std::vector<std::wstring> StringTokenize(std::wstring_view text, std::wstring_view separators) {
  return Tokenize<std::wstring>(text, separators);
}

std::vector<std::string> StringTokenize(std::string_view text, std::string_view separators) {
  return Tokenize<std::string>(text, separators);
}

size_t StringReplaceAll(std::wstring_view find, std::wstring_view replace, std::wstring* text) {
  return ReplaceAll(find, replace, text);
}

size_t StringReplaceAll(std::string_view find, std::string_view replace, std::string* text) {
  return ReplaceAll(find, replace, text);
}

std::wstring NormalizePathSeparators(std::wstring_view path) {
  return NormalizeSeparators<std::wstring>(path);
}

std::string NormalizePathSeparators(std::string_view path) {
  return NormalizeSeparators<std::string>(path);
}

bool EqualsIgnoreAsciiCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x += L'a' - L'A';
    if (y >= L'A' && y <= L'Z') y += L'a' - L'A';
    if (x != y) return false;
  }
  return true;
}

bool IsHighSurrogate(wchar_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

size_t NextCharBoundary(std::wstring_view text, size_t index) {
  if (index >= text.size()) return text.size();
  if (IsHighSurrogate(text[index]) && index + 1 < text.size() && IsLowSurrogate(text[index + 1]))
    return index + 2;
  return index + 1;
}

size_t PrevCharBoundary(std::wstring_view text, size_t index) {
  if (index == 0) return 0;
  if (index > text.size()) return text.size();
  if (index >= 2 && IsLowSurrogate(text[index - 1]) && IsHighSurrogate(text[index - 2]))
    return index - 2;
  return index - 1;
}

size_t AlignToCharBoundary(std::wstring_view text, size_t index) {
  if (index >= text.size()) return text.size();
  if (index > 0 && IsLowSurrogate(text[index]) && IsHighSurrogate(text[index - 1]))
    return index - 1;
  return index;
}

size_t CharCount(std::wstring_view text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); i = NextCharBoundary(text, i)) ++count;
  return count;
}

size_t TruncateAtCharBoundary(std::wstring_view text, size_t max_units) {
  return AlignToCharBoundary(text, max_units);
}

size_t UnitsForChars(std::wstring_view text, size_t chars) {
  size_t i = 0;
  for (; chars > 0 && i < text.size(); --chars) i = NextCharBoundary(text, i);
  return i;
}

char32_t CodePointAt(std::wstring_view text, size_t index) {
  if (index >= text.size()) return 0;
  const size_t next = NextCharBoundary(text, index);
  if (next - index == 2) {
    return 0x10000 + ((static_cast<char32_t>(text[index]) - 0xD800) << 10) +
           (static_cast<char32_t>(text[index + 1]) - 0xDC00);
  }
  return static_cast<char32_t>(text[index]);
}

void AppendCodePoint(char32_t code_point, std::wstring* out) {
  if (sizeof(wchar_t) == 2 && code_point >= 0x10000) {
    code_point -= 0x10000;
    out->push_back(static_cast<wchar_t>(0xD800 + (code_point >> 10)));
    out->push_back(static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF)));
    return;
  }
  out->push_back(static_cast<wchar_t>(code_point));
}

}  // namespace nbase
