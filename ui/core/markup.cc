#include "ui/core/markup.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>

#include "base/file_util.h"
#include "base/string_util.h"
#include "ui/core/global_manager.h"

namespace ui {

namespace {

constexpr size_t kFirstCapacity = 500;
// Zero characters kept past the text's terminator, so the scan below may read
// four characters from any position up to the terminator.
constexpr size_t kPadding = 3;

typedef uint32_t Chars4 __attribute__((vector_size(16)));
static_assert(sizeof(wchar_t) == sizeof(uint32_t));

// The first of 0, a, b or c at or after p; four characters per step.
wchar_t* FindAny(wchar_t* p, wchar_t a, wchar_t b, wchar_t c) {
  const Chars4 va = {static_cast<uint32_t>(a), static_cast<uint32_t>(a), static_cast<uint32_t>(a),
                     static_cast<uint32_t>(a)};
  const Chars4 vb = {static_cast<uint32_t>(b), static_cast<uint32_t>(b), static_cast<uint32_t>(b),
                     static_cast<uint32_t>(b)};
  const Chars4 vc = {static_cast<uint32_t>(c), static_cast<uint32_t>(c), static_cast<uint32_t>(c),
                     static_cast<uint32_t>(c)};
  for (;;) {
    Chars4 v;
    std::memcpy(&v, p, sizeof(v));
    const auto hit = (v == 0) | (v == va) | (v == vb) | (v == vc);
    uint64_t halves[2];
    std::memcpy(halves, &hit, sizeof(halves));
    if (halves[0] | halves[1]) break;
    p += 4;
  }
  while (*p != 0 && *p != a && *p != b && *p != c) ++p;
  return p;
}

// A parse buffer for `length` characters, with its terminator and padding.
std::unique_ptr<wchar_t[]> NewTextBuffer(size_t length) {
  std::unique_ptr<wchar_t[]> text(new wchar_t[length + 1 + kPadding]);
  std::fill_n(text.get() + length, 1 + kPadding, L'\0');
  return text;
}

bool IsWhitespace(wchar_t c) {
  return c > 0 && c <= 32;
}

wchar_t* SkipWhitespace(wchar_t* p) {
  while (IsWhitespace(*p)) ++p;
  return p;
}

// ASCII name characters as a bitmap: names are most of a skin's text.
constexpr uint64_t AsciiNameBits(int half) {
  uint64_t bits = 0;
  for (int c = half * 64; c < half * 64 + 64; ++c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
        c == ':') {
      bits |= uint64_t{1} << (c - half * 64);
    }
  }
  return bits;
}
constexpr uint64_t kAsciiNameBits[2] = {AsciiNameBits(0), AsciiNameBits(1)};

bool IsNameChar(wchar_t c) {
  if (c >= 0 && c < 0x80) return (kAsciiNameBits[c >> 6] >> (c & 63)) & 1;
  // Locale-independent, so a name parses the same in every environment.
  return c <= 0x10FFFF && g_unichar_isalnum(static_cast<gunichar>(c));
}

wchar_t* ScanName(wchar_t* p) {
  while (IsNameChar(*p)) ++p;
  return p;
}

struct Entity {
  const wchar_t* text;
  size_t length;
  wchar_t value;
};

constexpr Entity kEntities[] = {
    {L"&amp;", 5, L'&'},  {L"&lt;", 4, L'<'},    {L"&gt;", 4, L'>'},
    {L"&quot;", 6, L'"'}, {L"&apos;", 6, L'\''},
};

// Copies at most `capacity - 1` characters of a zero-terminated text.
template <size_t N>
void CopyTruncated(wchar_t (&out)[N], const wchar_t* text) {
  size_t n = 0;
  if (text != nullptr) {
    while (n + 1 < N && text[n] != 0) {
      out[n] = text[n];
      ++n;
    }
  }
  out[n] = 0;
}

}  // namespace

// ---------------------------------------------------------------- MarkupDocument

bool MarkupDocument::Load(std::wstring_view text) {
  Release();
  const size_t length = std::min(text.size(), text.find(L'\0'));
  text_ = NewTextBuffer(length);
  std::copy_n(text.data(), length, text_.get());
  return Parse();
}

bool MarkupDocument::LoadFromUtf8(std::string_view utf8) {
  if (utf8.size() > 2 && utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  Release();
  // Converted straight into the parse buffer; it never needs more characters
  // than there are bytes. A zero character ends the text, as in Load.
  text_ = NewTextBuffer(utf8.size());
  const size_t length = nbase::UTF8ToWideInto(utf8, text_.get());
  std::fill_n(text_.get() + length, 1 + kPadding, L'\0');
  return Parse();
}

bool MarkupDocument::LoadFromFile(const std::wstring& path) {
  Release();
  std::wstring full = nbase::NormalizePathSeparators(path);
  if (full.empty() || full[0] != L'/') full = GlobalManager::GetResourceRoot() + full;

  const std::string native = nbase::ResolvePathIgnoringCase(nbase::WideToUTF8(full));
  const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) close(fd);
    return Fail(L"Error opening file", L"");
  }
  const size_t size = static_cast<size_t>(st.st_size);
  const wchar_t* failure = nullptr;
  std::string bytes;
  if (size == 0) {
    failure = L"File is empty";
  } else if (size > kMaxFileSize) {
    failure = L"File too large";
  } else {
    bytes.resize(size);
    size_t done = 0;
    while (done < size) {
      const ssize_t n = read(fd, bytes.data() + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (done != size) failure = L"Could not read file";
  }
  close(fd);
  if (failure != nullptr) return Fail(failure, L"");
  return LoadFromUtf8(bytes);
}

void MarkupDocument::Release() {
  text_.reset();
  elements_.clear();
  elements_.shrink_to_fit();
}

MarkupElement MarkupDocument::GetRoot() {
  if (elements_.size() < 2) return MarkupElement();
  return MarkupElement(this, 1);
}

bool MarkupDocument::Parse() {
  elements_.clear();
  ReserveElement();  // the placeholder at index 0
  error_message_[0] = 0;
  error_location_[0] = 0;
  wchar_t* p = text_.get();
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

void MarkupDocument::SetError(const wchar_t* message, const wchar_t* location) {
  CopyTruncated(error_message_, message);
  CopyTruncated(error_location_, location);
}

bool MarkupDocument::Fail(const wchar_t* message, const wchar_t* location) {
  SetError(message, location);
  Release();
  return false;
}

// One nesting level: the siblings under `parent`. Returns at the parent's end
// tag ("</" left in place) or at the end of the text.
bool MarkupDocument::ParseLevel(wchar_t*& p, uint32_t parent, int depth) {
  if (depth > kMaxDepth) return Fail(L"Elements nested too deeply", p);
  uint32_t previous = 0;
  for (;;) {
    p = SkipWhitespace(p);
    // Only the document level may end here: an element still open means the
    // text was cut short, and half a skin must not build half a window.
    if (*p == 0) return parent == 0 ? true : Fail(L"Expected end-tag start", p);
    if (*p != L'<') return Fail(L"Expected start tag", p);
    if (p[1] == L'/') return true;
    *p++ = 0;
    p = SkipWhitespace(p);

    if (*p == L'!' || *p == L'?') {
      const wchar_t first = *p == L'!' ? L'-' : L'?';
      while (*p != 0 && !(p[0] == first && p[1] == L'>')) ++p;
      if (*p != 0) p += 2;
      continue;
    }

    p = SkipWhitespace(p);
    const uint32_t index = ReserveElement();
    elements_[index].name = Offset(p);
    elements_[index].parent = parent;
    if (previous != 0) {
      elements_[previous].next = index;
    } else if (parent != 0) {
      elements_[parent].child = index;
    }
    previous = index;

    wchar_t* const name = p;
    wchar_t* const name_end = ScanName(p);
    p = name_end;
    if (*p == 0) return Fail(L"Error parsing element name", p);
    if (!ParseAttributes(p)) return false;

    p = SkipWhitespace(p);
    if (p[0] == L'/' && p[1] == L'>') {
      elements_[index].data = Offset(p);
      *p = 0;
      p += 2;
      *name_end = 0;
      continue;
    }
    if (*p != L'>') return Fail(L"Expected start-tag closing", p);
    ++p;
    *name_end = 0;
    elements_[index].data = Offset(p);

    wchar_t* const content_end = Decode(p, L'<');
    if (p[0] == L'<' && p[1] != L'/') {
      if (!ParseLevel(p, index, depth + 1)) return false;
    }
    if (p[0] != L'<' || p[1] != L'/') return Fail(L"Expected end-tag start", p);

    *content_end = 0;
    p = SkipWhitespace(p + 2);
    const size_t name_length = static_cast<size_t>(name_end - name);
    if (std::wcsncmp(p, name, name_length) != 0) return Fail(L"Unmatched closing tag", p);
    p = SkipWhitespace(p + name_length);
    if (*p != L'>') return Fail(L"Unmatched closing tag", p);
    ++p;
  }
}

bool MarkupDocument::ParseAttributes(wchar_t*& p) {
  if (*p == L'>') return true;
  if (IsWhitespace(*p)) *p++ = 0;
  p = SkipWhitespace(p);
  while (*p != 0 && *p != L'>' && *p != L'/') {
    wchar_t* const name_end = ScanName(p);
    p = SkipWhitespace(name_end);
    if (*p != L'=') return Fail(L"Error while parsing attributes", p);
    *p = L' ';
    *name_end = 0;
    p = SkipWhitespace(p + 1);
    if (*p != L'"') return Fail(L"Expected attribute value", p);
    ++p;
    wchar_t* const value_end = Decode(p, L'"');
    if (*p == 0) return Fail(L"Error while parsing attribute string", p);
    const bool shortened = value_end != p;
    *value_end = 0;
    if (shortened) *p = L' ';
    p = SkipWhitespace(p + 1);
  }
  return true;
}

// Decodes in place up to `stop` (or the end); `p` is left on the stop
// character. Returns the end of the decoded text. When the text shrank, the
// end gets a terminator and the gap up to `p` is blanked, so the attribute
// walk over zero-separated strings never meets stale characters.
wchar_t* MarkupDocument::Decode(wchar_t*& p, wchar_t stop) {
  // Up to the first entity (or collapsible space) the text stays in place.
  p = FindAny(p, stop, L'&', preserve_whitespace_ ? L'&' : L' ');
  wchar_t* out = p;
  while (*p != 0 && *p != stop) {
    if (*p == L'&') {
      bool decoded = false;
      for (const Entity& e : kEntities) {
        if (std::wcsncmp(p, e.text, e.length) == 0) {
          *out++ = e.value;
          p += e.length;
          decoded = true;
          break;
        }
      }
      if (!decoded) *out++ = *p++;
    } else if (*p == L' ') {
      *out++ = *p++;
      if (!preserve_whitespace_) p = SkipWhitespace(p);
    } else {
      *out++ = *p++;
    }
  }
  if (out != p) {
    *out = 0;
    for (wchar_t* gap = out + 1; gap < p; ++gap) *gap = L' ';
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
  return document_->text_.get() + document_->elements_[index_].name;
}

const wchar_t* MarkupElement::GetValue() const {
  if (!IsValid()) return L"";
  return document_->text_.get() + document_->elements_[index_].data;
}

// Walks the zero-separated name/value pairs the parser left between the
// element name and its content.
void MarkupElement::MapAttributes() const {
  if (mapped_) return;
  mapped_ = true;
  attribute_count_ = 0;
  if (!IsValid()) return;
  const wchar_t* const text = document_->text_.get();
  const MarkupDocument::Element& e = document_->elements_[index_];
  const wchar_t* const end = text + e.data;
  const wchar_t* p = text + e.name;
  p += std::wcslen(p) + 1;
  auto skip = [&](const wchar_t* q) {
    while (q < end && IsWhitespace(*q)) ++q;
    return q;
  };
  while (attribute_count_ < kMaxAttributes) {
    p = skip(p);
    if (p >= end || *p == 0) break;
    const wchar_t* const name = p;
    p += std::wcslen(p) + 1;
    p = skip(p);
    if (p >= end) break;
    ++p;  // the opening quote
    attributes_[attribute_count_][0] = static_cast<uint32_t>(name - text);
    attributes_[attribute_count_][1] = static_cast<uint32_t>(p - text);
    ++attribute_count_;
    p += std::wcslen(p) + 1;
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
  return document_->text_.get() + attributes_[index][0];
}

const wchar_t* MarkupElement::GetAttributeValue(int index) const {
  MapAttributes();
  if (index < 0 || index >= attribute_count_) return L"";
  return document_->text_.get() + attributes_[index][1];
}

const wchar_t* MarkupElement::FindAttribute(std::wstring_view name) const {
  MapAttributes();
  const wchar_t* const text = IsValid() ? document_->text_.get() : nullptr;
  for (int i = 0; i < attribute_count_; ++i) {
    if (name == text + attributes_[i][0]) return text + attributes_[i][1];
  }
  return nullptr;
}

bool MarkupElement::GetAttributeValue(std::wstring_view name, std::wstring* value) const {
  const wchar_t* found = FindAttribute(name);
  if (found == nullptr) return false;
  if (value != nullptr) {
    std::wstring_view v(found);
    value->assign(v.substr(0, kMaxValueLength));
  }
  return true;
}

bool MarkupElement::HasAttribute(std::wstring_view name) const {
  return FindAttribute(name) != nullptr;
}

}  // namespace ui
