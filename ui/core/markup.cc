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
  // The element table keeps its memory for the new text: a document that is
  // loaded again then does not regrow it step by step.
  std::vector<Element> elements;
  elements.swap(elements_);
  Release();
  elements.clear();
  elements_.swap(elements);
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
  text_.reset();
  length_ = 0;
  wide_.reset();
  widened_.clear();
  widened_.shrink_to_fit();
  elements_.clear();
  elements_.shrink_to_fit();
}

MarkupElement MarkupDocument::GetRoot() {
  if (elements_.size() < 2) return MarkupElement();
  return MarkupElement(this, 1);
}

const wchar_t* MarkupDocument::WideAt(uint32_t offset) {
  if (!wide_) {
    wide_.reset(new wchar_t[length_ + 1]);
    widened_.assign(length_ / 64 + 1, 0);
  }
  uint64_t& word = widened_[offset / 64];
  const uint64_t bit = uint64_t{1} << (offset % 64);
  wchar_t* const out = wide_.get() + offset;
  if ((word & bit) == 0) {
    const char* const bytes = text_.get() + offset;
    // The bytes up to the terminator never yield more characters than
    // bytes, so the text and its terminator stay within the same span.
    out[nbase::UTF8ToWideInto(std::string_view(bytes, std::strlen(bytes)), out)] = 0;
    word |= bit;
  }
  return out;
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

MarkupElement MarkupElement::GetParent() const {
  if (!IsValid()) return MarkupElement();
  return MarkupElement(document_, document_->elements_[index_].parent);
}

MarkupElement MarkupElement::GetChild() const {
  if (!IsValid()) return MarkupElement();
  return MarkupElement(document_, document_->elements_[index_].child);
}

MarkupElement MarkupElement::GetSibling() const {
  if (!IsValid()) return MarkupElement();
  return MarkupElement(document_, document_->elements_[index_].next);
}

bool MarkupElement::HasChildren() const {
  return IsValid() && document_->elements_[index_].child != 0;
}

bool MarkupElement::HasSiblings() const {
  return IsValid() && document_->elements_[index_].next != 0;
}

MarkupElement MarkupElement::GetChild(std::wstring_view name) const {
  for (MarkupElement child = GetChild(); child.IsValid(); child = child.GetSibling()) {
    if (name == child.GetName()) return child;
  }
  return MarkupElement();
}

const wchar_t* MarkupElement::GetName() const {
  if (!IsValid()) return L"";
  return document_->WideAt(document_->elements_[index_].name);
}

const wchar_t* MarkupElement::GetValue() const {
  if (!IsValid()) return L"";
  return document_->WideAt(document_->elements_[index_].data);
}

// Walks the zero-separated name/value pairs the parser left between the
// element name and its content.
void MarkupElement::MapAttributes() const {
  if (mapped_) return;
  mapped_ = true;
  attribute_count_ = 0;
  if (!IsValid()) return;
  const char* const text = document_->BytesAt(0);
  const MarkupDocument::Element& e = document_->elements_[index_];
  const char* const end = text + e.data;
  const char* p = text + e.name;
  p += std::strlen(p) + 1;
  auto skip = [&](const char* q) {
    while (q < end && IsWhitespace(*q)) ++q;
    return q;
  };
  while (attribute_count_ < kMaxAttributes) {
    p = skip(p);
    if (p >= end || *p == 0) break;
    const char* const name = p;
    p += std::strlen(p) + 1;
    p = skip(p);
    if (p >= end) break;
    ++p;  // the opening quote
    attributes_[attribute_count_][0] = static_cast<uint32_t>(name - text);
    attributes_[attribute_count_][1] = static_cast<uint32_t>(p - text);
    ++attribute_count_;
    p += std::strlen(p) + 1;
  }
}

int MarkupElement::GetAttributeCount() const {
  MapAttributes();
  return attribute_count_;
}

bool MarkupElement::HasAttributes() const {
  return GetAttributeCount() > 0;
}

const wchar_t* MarkupElement::GetAttributeName(int index) const {
  MapAttributes();
  if (index < 0 || index >= attribute_count_) return L"";
  return document_->WideAt(attributes_[index][0]);
}

const wchar_t* MarkupElement::GetAttributeValue(int index) const {
  MapAttributes();
  if (index < 0 || index >= attribute_count_) return L"";
  return document_->WideAt(attributes_[index][1]);
}

const wchar_t* MarkupElement::FindAttribute(std::wstring_view name) const {
  MapAttributes();
  for (int i = 0; i < attribute_count_; ++i) {
    if (name == document_->WideAt(attributes_[i][0])) return document_->WideAt(attributes_[i][1]);
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
