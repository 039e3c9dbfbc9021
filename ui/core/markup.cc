#include "ui/core/markup.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "base/ascii_widen.h"
#include "base/file_util.h"
#include "base/string_util.h"
#include "ui/core/global_manager.h"
#include "ui/core/name_chars.h"
#include "ui/core/skin_file.h"

namespace ui {

namespace {

constexpr size_t kFirstCapacity = 500;
// Zero bytes kept past the text's terminator, so the scans below may read
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

// What ends a run of text: the end, an entity, the closing quote of a value
// or the "<" after a content, and a space where whitespace collapses.
enum StopClass : uint8_t { kValueStop = 1, kContentStop = 2, kSpaceStop = 4 };
struct StopTable {
  uint8_t classes[256] = {};
  constexpr StopTable() {
    classes[0] = kValueStop | kContentStop;
    classes[static_cast<int>('&')] = kValueStop | kContentStop;
    classes[static_cast<int>('"')] = kValueStop;
    classes[static_cast<int>('<')] = kContentStop;
    classes[static_cast<int>(' ')] = kSpaceStop;
  }
};
constexpr StopTable kStopTable;

// The first stop at or after p for `stop` ('"' or '<'). Most runs are short
// and end sooner than a sixteen-byte step would: the first sixteen bytes
// are looked up one by one.
inline char* FindStop(char* p, char stop, bool preserve_whitespace) {
  const unsigned mask =
      (stop == '"' ? kValueStop : kContentStop) | (preserve_whitespace ? 0 : kSpaceStop);
  const auto is_stop = [mask](const char* q) {
    return (kStopTable.classes[static_cast<unsigned char>(*q)] & mask) != 0;
  };
  for (int k = 0; k < 16; k += 4, p += 4) {
    if (is_stop(p)) return p;
    if (is_stop(p + 1)) return p + 1;
    if (is_stop(p + 2)) return p + 2;
    if (is_stop(p + 3)) return p + 3;
  }
  return FindAny(p, stop, '&', preserve_whitespace ? '&' : ' ');
}

// Wide units past the last text's terminator, so sixteen may be stored from
// any position up to it.
constexpr size_t kWidePadding = 15;

// Decodes [s, end) to `out` as nbase::UTF8ToWideInto does, the common
// characters of a skin (ASCII, two and three bytes) inline; returns the end
// of what was written. `end` is the zero that ends the text, and a
// sequence's bytes are read four at a time (the buffer goes on past it).
wchar_t* DecodeRun(const char* s, const char* end, wchar_t* out) {
  const char* p = s;
  while (p < end) {
    const auto c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      *out++ = static_cast<wchar_t>(c);
      ++p;
      continue;
    }
    // The lead byte first; a continuation byte is never the zero at `end`.
    uint32_t w;
    std::memcpy(&w, p, sizeof(w));
    if ((w & 0xC0C0F0) == 0x8080E0) {
      const uint32_t cp = ((w & 0x0F) << 12) | ((w & 0x3F00) >> 2) | ((w >> 16) & 0x3F);
      if (cp < 0x800 || cp - 0xD800 < 0x800) break;
      *out++ = static_cast<wchar_t>(cp);
      p += 3;
    } else if ((w & 0xC0E0) == 0x80C0 && c >= 0xC2) {
      *out++ = static_cast<wchar_t>(((w & 0x1F) << 6) | ((w >> 8) & 0x3F));
      p += 2;
    } else {
      break;
    }
  }
  // The rest (four bytes, faults) as the text utilities decode it.
  if (p < end) out += nbase::UTF8ToWideInto(std::string_view(p, static_cast<size_t>(end - p)), out);
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

// Inline, so element names and attribute names each have their own branches
// to predict.
inline char* ScanName(char* p) {
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
  elements_.clear();
  element_texts_.clear();
  attribute_texts_.clear();
}

MarkupElement MarkupDocument::GetRoot() {
  if (elements_.size() < 2) return MarkupElement();
  return MarkupElement(this, 1);
}

namespace {

// Decodes the text holding the byte at offset `at` from there to its zero
// into `out` at the same offsets (the units it does not fill are never
// read). Returns the zero's offset.
inline size_t DecodeRest(const char* start, size_t at, wchar_t* out) {
  const char* const end = FindZero(start + at);
  *DecodeRun(start + at, end, out + at) = 0;
  return static_cast<size_t>(end - start);
}

// Widens the bytes from `start` through the zero that ends the text at
// `last` (the element's content) to `out`, so that each text in between
// starts at its offset from `start`: ASCII one unit a byte, sixteen at a
// time, and a text with other characters decoded from its first such byte
// (never into more units than bytes). Up to fifteen units past the last
// terminator may be overwritten. Returns the units taken, the last
// terminator included.
inline size_t WidenSpan(const char* start, const char* last, size_t i, wchar_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const size_t content = static_cast<size_t>(last - start);
  for (;;) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + i));
    nbase::WidenAscii16(bytes, out + i);
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
    i = DecodeRest(start, i + h, out);
    if (i >= content) return i + 1;
    ++i;
  }
}

// WidenSpan that first finds where the texts after the name start, from
// the same sixteen bytes: the first byte after a run of whitespace and
// zeros holding a zero, or (a value) the byte after it when that is an
// opening quote; between two texts there is nothing else.
// `found(offset, value)` gets each in order until it returns false.
template <typename Found>
inline size_t WidenAndFind(const char* start, const char* last, wchar_t* out, Found found) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i last_space = _mm_set1_epi8(32);
  const __m128i quote = _mm_set1_epi8('"');
  // A run holding a zero that reaches the end of the previous sixteen
  // bytes; an opening quote as their last byte.
  unsigned run_carry = 0;
  unsigned quote_carry = 0;
  for (size_t i = 0;;) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + i));
    nbase::WidenAscii16(bytes, out + i);
    const unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
    const unsigned spaces = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, last_space), bytes)));
    const unsigned quotes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, quote)));
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    // A zero added to the whitespace bits (zeros among them) carries to the
    // first byte after its run; a start on a quote moves to the byte after
    // it.
    const unsigned past = zeros + spaces + run_carry;
    run_carry = past >> 16;
    const unsigned starts = past & (spaces ^ 0xFFFF);
    const unsigned values = ((starts & quotes) << 1) | quote_carry;
    quote_carry = values >> 16;
    // Past a character of several bytes the rest of its text is decoded
    // below, and the search goes on after it.
    const unsigned h = high != 0 ? static_cast<unsigned>(__builtin_ctz(high)) : 16;
    unsigned texts = ((starts & ~quotes) | values) & ((2u << h) - 1) & 0xFFFF;
    for (; texts != 0; texts &= texts - 1) {
      const unsigned at = static_cast<unsigned>(__builtin_ctz(texts));
      // Done: the rest is widened again from this block on, or from the
      // content should the search have run past it (through the blanks
      // before a child's name).
      if (!found(i + at, ((values >> at) & 1) != 0)) {
        return WidenSpan(start, last, std::min(i, static_cast<size_t>(last - start)), out);
      }
    }
    if (h == 16) {
      i += 16;
      continue;
    }
    i = DecodeRest(start, i + h, out);
    if (i >= static_cast<size_t>(last - start)) return i + 1;
    ++i;
    run_carry = 1;
    quote_carry = 0;
  }
}

}  // namespace

// An element's texts lie between its name and the zero that ends its
// content, and are widened at their offsets from the name into the next free
// room of the wide store in one run: a builder reading them all writes one
// compact run. What is widened for an element (give or take the fifteen
// units a step may store past it) lies before the next element's name, as
// elements are numbered in document order, so the runs of all elements fit
// in the store's room for the whole text.
void MarkupDocument::PrepareElement(uint32_t index) {
  if (element_texts_.size() != elements_.size()) element_texts_.assign(elements_.size(), {});
  if (wide_capacity_ < length_ + 1 + kWidePadding) {
    wide_capacity_ = length_ + 1 + kWidePadding;
    wide_.reset(new wchar_t[wide_capacity_]);
    wide_used_ = 0;
  }
  const Element& e = elements_[index];
  const size_t content = e.data - e.name;
  wchar_t* const run = wide_.get() + wide_used_;
  ElementTexts texts;
  texts.name = run;
  texts.content = run + content;
  texts.first_attribute = static_cast<uint32_t>(attribute_texts_.size());
  // Attribute names and values alternate up to the start tag's ">" just
  // before the content (or the zero of its "/>", the content itself). A
  // value with no name before it (a "=" right after a value or the
  // element's name) ends them.
  bool value_next = false;
  wide_used_ +=
      WidenAndFind(text_.get() + e.name, text_.get() + e.data, run, [&](size_t offset, bool value) {
        if (value != value_next || offset + (value ? 0 : 1) >= content) {
          return false;
        }
        attribute_texts_.push_back(run + offset);
        value_next = !value;
        return !value || ++texts.attribute_count < MarkupElement::kMaxAttributes;
      });
  if (value_next) attribute_texts_.pop_back();  // a name without its value
  element_texts_[index] = texts;
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
inline char* MarkupDocument::Decode(char*& p, char stop) {
  // Up to the first entity (or collapsible space) the text stays in place.
  p = FindStop(p, stop, preserve_whitespace_);
  return *p == stop || *p == 0 ? p : DecodeFrom(p, stop);
}

// From the first entity (or collapsible space) on, each run up to the next
// one moves down as a whole.
char* MarkupDocument::DecodeFrom(char*& p, char stop) {
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
    char* const next = FindStop(p, stop, preserve_whitespace_);
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
