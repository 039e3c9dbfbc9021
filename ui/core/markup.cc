#include "ui/core/markup.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "base/file_util.h"
#include "base/string_util.h"
#include "ui/core/global_manager.h"
#include "ui/core/name_chars.h"
#include "ui/core/skin_file.h"

namespace ui {

namespace {

constexpr size_t kFirstCapacity = 500;
// Zero bytes kept past the text's terminator, so the scan below may read
// sixteen bytes from any position up to the terminator.
constexpr size_t kPadding = 15;

// The first of 0, a, b or c at or after p; sixteen bytes per step. The stop
// characters are ASCII, which never occurs inside a multi-byte sequence.
inline char* FindAny(char* p, char a, char b, char c) {
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  const __m128i vc = _mm_set1_epi8(c);
  const __m128i zero = _mm_setzero_si128();
  for (;;) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_cmpeq_epi8(v, va)),
                                     _mm_or_si128(_mm_cmpeq_epi8(v, vb), _mm_cmpeq_epi8(v, vc)));
    const int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
}

// Wide units past the last text's terminator, so sixteen may be stored from
// any position up to it.
constexpr size_t kWidePadding = 15;

// Sixteen ASCII bytes (zeros included) as sixteen wide units.
inline void WidenAscii16(__m128i bytes, wchar_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
  const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
  auto* d = reinterpret_cast<__m128i*>(out);
  if constexpr (sizeof(wchar_t) == 2) {
    _mm_storeu_si128(d + 0, lo);
    _mm_storeu_si128(d + 1, hi);
  } else {
    _mm_storeu_si128(d + 0, _mm_unpacklo_epi16(lo, zero));
    _mm_storeu_si128(d + 1, _mm_unpackhi_epi16(lo, zero));
    _mm_storeu_si128(d + 2, _mm_unpacklo_epi16(hi, zero));
    _mm_storeu_si128(d + 3, _mm_unpackhi_epi16(hi, zero));
  }
}

// Decodes [s, end) to `out` as nbase::UTF8ToWideInto does, the common
// characters of a skin (ASCII, two and three bytes) inline; returns the end
// of what was written.
wchar_t* DecodeRun(const char* s, const char* end, wchar_t* out) {
  const auto* u = reinterpret_cast<const unsigned char*>(s);
  const auto* const e = reinterpret_cast<const unsigned char*>(end);
  while (u < e) {
    const unsigned c = u[0];
    if (c < 0x80) {
      *out++ = static_cast<wchar_t>(c);
      ++u;
    } else if ((c & 0xE0) == 0xC0 && e - u >= 2 && (u[1] & 0xC0) == 0x80 && c >= 0xC2) {
      *out++ = static_cast<wchar_t>(((c & 0x1F) << 6) | (u[1] & 0x3F));
      u += 2;
    } else if ((c & 0xF0) == 0xE0 && e - u >= 3 && (u[1] & 0xC0) == 0x80 && (u[2] & 0xC0) == 0x80) {
      const unsigned cp = ((c & 0x0F) << 12) | ((u[1] & 0x3F) << 6) | (u[2] & 0x3F);
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) break;
      *out++ = static_cast<wchar_t>(cp);
      u += 3;
    } else {
      break;
    }
  }
  // The rest (four bytes, faults) as the text utilities decode it.
  if (u < e) {
    const char* rest = reinterpret_cast<const char*>(u);
    out += nbase::UTF8ToWideInto(std::string_view(rest, static_cast<size_t>(end - rest)), out);
  }
  return out;
}

inline const char* FindZero(const char* p) {
  const __m128i zero = _mm_setzero_si128();
  for (;;) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(v, zero));
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
}

// A parse buffer for `length` bytes, with its terminator and padding.
std::unique_ptr<char[]> NewTextBuffer(size_t length) {
  std::unique_ptr<char[]> text(new char[length + 1 + kPadding]);
  std::fill_n(text.get() + length, 1 + kPadding, '\0');
  return text;
}

bool IsWhitespace(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u > 0 && u <= 32;
}

char* SkipWhitespace(char* p) {
  while (IsWhitespace(*p)) ++p;
  return p;
}

// Length of the UTF-8 sequence at p when it is a valid character that
// counts as a letter or digit, else 0. Invalid sequences read as U+FFFD,
// which is neither.
int NameCharLength(const char* p) {
  const auto* s = reinterpret_cast<const unsigned char*>(p);
  int len;
  uint32_t cp;
  uint32_t min;
  if ((s[0] & 0xE0) == 0xC0) {
    len = 2, cp = s[0] & 0x1F, min = 0x80;
  } else if ((s[0] & 0xF0) == 0xE0) {
    len = 3, cp = s[0] & 0x0F, min = 0x800;
  } else if ((s[0] & 0xF8) == 0xF0) {
    len = 4, cp = s[0] & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  for (int k = 1; k < len; ++k) {
    if ((s[k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[k] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  // Locale-independent, so a name parses the same in every environment.
  return IsNameLetterOrDigit(cp) ? len : 0;
}

// Byte classes for names: most of a skin's text is names, scanned through
// this table. Non-ASCII bytes start a character that is checked whole.
enum NameClass : uint8_t { kNotName = 0, kAsciiName = 1, kMultiByte = 2 };
struct NameTable {
  uint8_t classes[256] = {};
  constexpr NameTable() {
    for (int c = 0; c < 256; ++c) {
      const bool ascii_name = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9') || c == '_' || c == ':';
      classes[c] = ascii_name ? kAsciiName : c >= 0x80 ? kMultiByte : kNotName;
    }
  }
};
constexpr NameTable kNameTable;

uint8_t NameClassOf(const char* p) {
  return kNameTable.classes[static_cast<unsigned char>(*p)];
}

char* ScanName(char* p) {
  for (;;) {
    // Four at a time while they are ASCII name characters.
    while (NameClassOf(p) == kAsciiName && NameClassOf(p + 1) == kAsciiName &&
           NameClassOf(p + 2) == kAsciiName && NameClassOf(p + 3) == kAsciiName) {
      p += 4;
    }
    while (NameClassOf(p) == kAsciiName) ++p;
    if (NameClassOf(p) != kMultiByte) return p;
    const int len = NameCharLength(p);
    if (len == 0) return p;
    p += len;
  }
}

struct EntityMatch {
  char value;
  int length;
};

bool Matches(const char* p, const char* text) {
  for (; *text != 0; ++p, ++text) {
    if (*p != *text) return false;
  }
  return true;
}

EntityMatch MatchEntity(const char* p) {
  switch (p[1]) {
    case 'a':
      if (Matches(p + 2, "mp;")) return {'&', 5};
      if (Matches(p + 2, "pos;")) return {'\'', 6};
      break;
    case 'l':
      if (Matches(p + 2, "t;")) return {'<', 4};
      break;
    case 'g':
      if (Matches(p + 2, "t;")) return {'>', 4};
      break;
    case 'q':
      if (Matches(p + 2, "uot;")) return {'"', 6};
      break;
    default:
      break;
  }
  return {0, 0};
}

// Copies at most `capacity - 1` units of a zero-terminated text, never half
// a character.
template <size_t N>
void CopyTruncated(wchar_t (&out)[N], const wchar_t* text) {
  const std::wstring_view view = text != nullptr ? std::wstring_view(text) : std::wstring_view();
  const size_t n = nbase::TruncateAtCharBoundary(view, N - 1);
  std::copy_n(view.data(), n, out);
  out[n] = 0;
}

}  // namespace

// ---------------------------------------------------------------- MarkupDocument

bool MarkupDocument::Load(std::wstring_view text) {
  const std::string utf8 = nbase::WideToUTF8(text.substr(0, text.find(L'\0')));
  return ParseUtf8(utf8.data(), utf8.size());
}

bool MarkupDocument::LoadFromUtf8(std::string_view utf8) {
  if (utf8.size() > 2 && utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  // A zero byte, copied as it is, ends the text for the parser as in Load.
  return ParseUtf8(utf8.data(), utf8.size());
}

bool MarkupDocument::ParseUtf8(const char* utf8, size_t length) {
  Clear();
  text_ = NewTextBuffer(length);
  std::memcpy(text_.get(), utf8, length);
  length_ = length;
  return Parse();
}

bool MarkupDocument::LoadFromFile(const std::wstring& path) {
  Release();
  std::wstring full = nbase::NormalizePathSeparators(path);
  if (full.empty() || !IsAbsoluteSkinPath(full)) full = GlobalManager::GetResourceRoot() + full;

  std::string bytes;
  switch (nbase::ReadWholeFile(SkinFilePath(full), kMaxFileSize, &bytes)) {
    case nbase::ReadFileStatus::kOk:
      break;
    case nbase::ReadFileStatus::kCannotOpen:
      return Fail(L"Error opening file", "");
    case nbase::ReadFileStatus::kTooLarge:
      return Fail(L"File too large", "");
    case nbase::ReadFileStatus::kReadError:
      return Fail(L"Could not read file", "");
  }
  if (bytes.empty()) return Fail(L"File is empty", "");
  return LoadFromUtf8(bytes);
}

void MarkupDocument::Release() {
  Clear();
  wide_.reset();
  wide_capacity_ = 0;
  elements_.shrink_to_fit();
  element_texts_.shrink_to_fit();
  attribute_texts_.shrink_to_fit();
}

// The tables and the wide store keep their memory for a new text: a
// document that is loaded again then does not regrow them step by step.
void MarkupDocument::Clear() {
  text_.reset();
  length_ = 0;
  wide_used_ = 0;
  wide_blocks_.clear();
  elements_.clear();
  element_texts_.clear();
  attribute_texts_.clear();
}

MarkupElement MarkupDocument::GetRoot() {
  if (elements_.size() < 2) return MarkupElement();
  return MarkupElement(this, 1);
}

namespace {

// Widens the zero-terminated text at `p` to `out`, sixteen units at a
// time, never storing at or past `limit`. Returns the terminator written
// (and in `text_end` the text's zero byte), or null when the room was too
// small.
inline wchar_t* WidenTextInto(const char* p, wchar_t* out, const wchar_t* limit,
                              const char** text_end) {
  const __m128i zero = _mm_setzero_si128();
  for (size_t i = 0;; i += 16) {
    if (limit - (out + i) < 16) return nullptr;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    WidenAscii16(bytes, out + i);
    const unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    if ((zeros | high) == 0) continue;
    const unsigned z = zeros != 0 ? static_cast<unsigned>(__builtin_ctz(zeros)) : 16;
    const unsigned h = high != 0 ? static_cast<unsigned>(__builtin_ctz(high)) : 16;
    if (z < h) {
      // ASCII to the end: the zero was widened as the terminator.
      *text_end = p + i + z;
      return out + i + z;
    }
    // A character of several bytes: from there the text is decoded (and
    // may come out shorter than its bytes).
    const char* const first = p + i + h;
    const char* const end = FindZero(first);
    if (limit - (out + i + h) < end - first + 1) return nullptr;
    wchar_t* const terminator = DecodeRun(first, end, out + i + h);
    *terminator = 0;
    *text_end = end;
    return terminator;
  }
}

// Widens the bytes from `start` through the zero that ends the text at
// `last` (the element's content) to `out`, so that each text in between
// starts at its offset from `start`: ASCII one unit a byte, sixteen at a
// time, and a text with other characters decoded from its first such byte
// (never into more units than bytes). Returns the units taken, the last
// terminator included, or 0 when the room up to `limit` is too small.
inline size_t WidenSpan(const char* start, const char* last, wchar_t* out, const wchar_t* limit) {
  const __m128i zero = _mm_setzero_si128();
  const size_t content = static_cast<size_t>(last - start);
  for (size_t i = 0;;) {
    if (limit - (out + i) < 16) return 0;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + i));
    WidenAscii16(bytes, out + i);
    unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
    // Zeros before the content end earlier texts.
    if (i < content) zeros &= content - i >= 16 ? 0u : ~0u << (content - i);
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    const unsigned z = zeros != 0 ? static_cast<unsigned>(__builtin_ctz(zeros)) : 16;
    const unsigned h = high != 0 ? static_cast<unsigned>(__builtin_ctz(high)) : 16;
    if (h >= z) {
      if (z < 16) return i + z + 1;
      i += 16;
      continue;
    }
    // The text holding the byte is decoded from there to its end; the
    // units it does not fill are never read.
    const char* const first = start + i + h;
    const char* const end = FindZero(first);
    if (limit - (out + i + h) < end - first + 1 + 16) return 0;
    *DecodeRun(first, end, out + i + h) = 0;
    i = static_cast<size_t>(end - start);
    if (i >= content) return i + 1;
    ++i;
  }
}

}  // namespace

inline const wchar_t* MarkupDocument::WidenText(const char*& p) {
  wchar_t* out = wide_.get() + wide_used_;
  const char* end = nullptr;
  wchar_t* terminator = WidenTextInto(p, out, wide_.get() + wide_capacity_, &end);
  if (terminator != nullptr) {
    wide_used_ += static_cast<size_t>(terminator - out) + 1;
  } else {
    const size_t room = static_cast<size_t>(FindZero(p) - p) + 1 + kWidePadding;
    wide_blocks_.emplace_back(new wchar_t[room]);
    out = wide_blocks_.back().get();
    WidenTextInto(p, out, out + room, &end);
  }
  p = end + 1;
  return out;
}

// Names and values are the zero-terminated texts the parser left between
// the element name and its content. They are widened in one run with what
// lies between them; should the store lack room, each on its own.
void MarkupDocument::PrepareElement(uint32_t index) {
  if (element_texts_.size() != elements_.size()) element_texts_.assign(elements_.size(), {});
  if (wide_capacity_ < length_ + 1 + kWidePadding) {
    wide_capacity_ = length_ + 1 + kWidePadding;
    wide_.reset(new wchar_t[wide_capacity_]);
    wide_used_ = 0;
  }
  const Element& e = elements_[index];
  const char* const start = text_.get() + e.name;
  const char* const content = text_.get() + e.data;
  wchar_t* const run = wide_.get() + wide_used_;
  const size_t units = WidenSpan(start, content, run, wide_.get() + wide_capacity_);
  if (units != 0) {
    wide_used_ += units;
    element_texts_[index] = LocateTexts(e, [start, run](const char*& p) -> const wchar_t* {
      const wchar_t* const text = run + (p - start);
      p = FindZero(p) + 1;
      return text;
    });
  } else {
    element_texts_[index] = LocateTexts(e, [this](const char*& p) { return WidenText(p); });
  }
}

template <typename TextAt>
MarkupDocument::ElementTexts MarkupDocument::LocateTexts(const Element& e, TextAt text_at) {
  ElementTexts texts;
  texts.first_attribute = static_cast<uint32_t>(attribute_texts_.size());
  const char* const end = text_.get() + e.data;
  const char* p = text_.get() + e.name;
  texts.name = text_at(p);
  auto skip = [&](const char* q) {
    while (q < end && IsWhitespace(*q)) ++q;
    return q;
  };
  while (texts.attribute_count < MarkupElement::kMaxAttributes) {
    p = skip(p);
    if (p >= end || *p == 0) break;
    const wchar_t* const name = text_at(p);
    p = skip(p);
    if (p >= end) break;
    ++p;  // the opening quote
    attribute_texts_.push_back(name);
    attribute_texts_.push_back(text_at(p));
    ++texts.attribute_count;
  }
  const char* content = text_.get() + e.data;
  texts.content = text_at(content);
  return texts;
}

bool MarkupDocument::Parse() {
  elements_.clear();
  ReserveElement();  // the placeholder at index 0
  error_message_[0] = 0;
  error_location_[0] = 0;
  char* p = text_.get();
  if (!ParseLevel(p, 0, 0)) return false;
  // A stray end tag after the last element is not a document end.
  if (*p != 0) return Fail(L"Expected start tag", p);
  return true;
}

uint32_t MarkupDocument::ReserveElement() {
  if (elements_.size() == elements_.capacity()) {
    const size_t capacity = elements_.capacity();
    elements_.reserve(capacity == 0 ? kFirstCapacity : capacity + capacity / 2 + kFirstCapacity);
  }
  elements_.push_back(Element{0, 0, 0, 0, 0});
  return static_cast<uint32_t>(elements_.size() - 1);
}

void MarkupDocument::SetError(const wchar_t* message, const char* location) {
  CopyTruncated(error_message_, message);
  // Only the first characters are kept: widen no more bytes than they take.
  const size_t most = 4 * std::size(error_location_);
  const std::string_view bytes(location, location != nullptr ? strnlen(location, most) : 0);
  CopyTruncated(error_location_, nbase::UTF8ToWide(bytes).c_str());
}

bool MarkupDocument::Fail(const wchar_t* message, const char* location) {
  SetError(message, location);
  Release();
  return false;
}

// One nesting level: the siblings under `parent`. Returns at the parent's end
// tag ("</" left in place) or at the end of the text.
bool MarkupDocument::ParseLevel(char*& p, uint32_t parent, int depth) {
  if (depth > kMaxDepth) return Fail(L"Elements nested too deeply", p);
  uint32_t previous = 0;
  for (;;) {
    p = SkipWhitespace(p);
    // Only the document level may end here: an element still open means the
    // text was cut short, and half a skin must not build half a window.
    if (*p == 0) return parent == 0 ? true : Fail(L"Expected end-tag start", p);
    if (*p != '<') return Fail(L"Expected start tag", p);
    if (p[1] == '/') return true;
    *p++ = 0;
    p = SkipWhitespace(p);

    if (*p == '!' || *p == '?') {
      const char first = *p == '!' ? '-' : '?';
      // The first "->" (or "?>") after the "!" (or "?"), found by its ">".
      p = FindAny(p + 1, '>', '>', '>');
      while (*p != 0 && p[-1] != first) p = FindAny(p + 1, '>', '>', '>');
      if (*p != 0) ++p;
      continue;
    }

    p = SkipWhitespace(p);
    const uint32_t index = ReserveElement();
    Element& element = elements_[index];
    element.name = Offset(p);
    element.parent = parent;
    if (previous != 0) {
      elements_[previous].next = index;
    } else if (parent != 0) {
      elements_[parent].child = index;
    }
    previous = index;

    char* const name = p;
    char* const name_end = ScanName(p);
    p = name_end;
    if (*p == 0) return Fail(L"Error parsing element name", p);
    if (!ParseAttributes(p)) return false;

    p = SkipWhitespace(p);
    if (p[0] == '/' && p[1] == '>') {
      elements_[index].data = Offset(p);
      *p = 0;
      p += 2;
      *name_end = 0;
      continue;
    }
    if (*p != '>') return Fail(L"Expected start-tag closing", p);
    ++p;
    *name_end = 0;
    elements_[index].data = Offset(p);

    char* const content_end = Decode(p, '<');
    if (p[0] == '<' && p[1] != '/') {
      if (!ParseLevel(p, index, depth + 1)) return false;
    }
    if (p[0] != '<' || p[1] != '/') return Fail(L"Expected end-tag start", p);

    *content_end = 0;
    p = SkipWhitespace(p + 2);
    const size_t name_length = static_cast<size_t>(name_end - name);
    for (size_t k = 0; k < name_length; ++k) {
      // The name holds no zero, so a mismatch stops at the text's end.
      if (p[k] != name[k]) return Fail(L"Unmatched closing tag", p);
    }
    p = SkipWhitespace(p + name_length);
    if (*p != '>') return Fail(L"Unmatched closing tag", p);
    ++p;
  }
}

bool MarkupDocument::ParseAttributes(char*& p) {
  if (*p == '>') return true;
  if (IsWhitespace(*p)) *p++ = 0;
  p = SkipWhitespace(p);
  while (*p != 0 && *p != '>' && *p != '/') {
    char* const name_end = ScanName(p);
    p = SkipWhitespace(name_end);
    if (*p != '=') return Fail(L"Error while parsing attributes", p);
    *p = ' ';
    *name_end = 0;
    p = SkipWhitespace(p + 1);
    if (*p != '"') return Fail(L"Expected attribute value", p);
    ++p;
    char* const value_end = Decode(p, '"');
    if (*p == 0) return Fail(L"Error while parsing attribute string", p);
    const bool shortened = value_end != p;
    *value_end = 0;
    if (shortened) *p = ' ';
    p = SkipWhitespace(p + 1);
  }
  return true;
}

// Decodes in place up to `stop` (or the end); `p` is left on the stop
// character. Returns the end of the decoded text. When the text shrank, the
// end gets a terminator and the gap up to `p` is blanked, so the attribute
// walk over zero-separated strings never meets stale characters.
char* MarkupDocument::Decode(char*& p, char stop) {
  const char space = preserve_whitespace_ ? '&' : ' ';
  // Up to the first entity (or collapsible space) the text stays in place;
  // after it, each run up to the next one moves down as a whole.
  p = FindAny(p, stop, '&', space);
  char* out = p;
  while (*p != 0 && *p != stop) {
    if (*p == '&') {
      const EntityMatch entity = MatchEntity(p);
      if (entity.length != 0) {
        *out++ = entity.value;
        p += entity.length;
      } else {
        *out++ = *p++;
      }
    } else {
      *out++ = *p++;
      if (!preserve_whitespace_) p = SkipWhitespace(p);
    }
    char* const next = FindAny(p, stop, '&', space);
    if (out == p) {
      out = p = next;
    } else if (next - p > 32) {
      std::memmove(out, p, static_cast<size_t>(next - p));
      out += next - p;
      p = next;
    } else {
      // Runs between entities are short: not worth a call.
      while (p < next) *out++ = *p++;
    }
  }
  if (out != p) {
    *out = 0;
    std::fill(out + 1, p, ' ');
  }
  return out;
}

// ----------------------------------------------------------------- MarkupElement

MarkupElement MarkupElement::GetChild(std::wstring_view name) const {
  for (MarkupElement child = GetChild(); child.IsValid(); child = child.GetSibling()) {
    if (name == child.GetName()) return child;
  }
  return MarkupElement();
}

const wchar_t* MarkupElement::FindAttribute(std::wstring_view name) const {
  const int count = GetAttributeCount();
  for (int i = 0; i < count; ++i) {
    if (name == GetAttributeName(i)) return GetAttributeValue(i);
  }
  return nullptr;
}

bool MarkupElement::GetAttributeValue(std::wstring_view name, std::wstring* value) const {
  const wchar_t* found = FindAttribute(name);
  if (found == nullptr) return false;
  if (value != nullptr) {
    const std::wstring_view v(found);
    value->assign(v.substr(0, nbase::TruncateAtCharBoundary(v, kMaxValueLength)));
  }
  return true;
}

bool MarkupElement::HasAttribute(std::wstring_view name) const {
  return FindAttribute(name) != nullptr;
}

}  // namespace ui
