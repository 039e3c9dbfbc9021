#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class MarkupDocument;

// A light handle on one element of a parsed document (two words, copied by
// value), valid while its document is neither reloaded nor released. The
// document locates an element's attributes on first access; only the first
// kMaxAttributes are visible.
class MarkupElement {
 public:
  static constexpr int kMaxAttributes = 64;
  // Values copied by name are cut to this many characters.
  static constexpr size_t kMaxValueLength = 499;

  MarkupElement() = default;
  MarkupElement(MarkupDocument* document, uint32_t index) : document_(document), index_(index) {}

  bool IsValid() const { return index_ != 0; }
  inline MarkupElement GetParent() const;
  inline MarkupElement GetChild() const;
  inline MarkupElement GetSibling() const;
  inline bool HasChildren() const;
  inline bool HasSiblings() const;
  // First child whose name equals `name` exactly.
  MarkupElement GetChild(std::wstring_view name) const;

  // Texts point into the document's buffer (zero-terminated); "" for an
  // invalid handle or index.
  inline const wchar_t* GetName() const;
  inline const wchar_t* GetValue() const;

  inline int GetAttributeCount() const;
  bool HasAttributes() const { return GetAttributeCount() > 0; }
  inline const wchar_t* GetAttributeName(int index) const;
  inline const wchar_t* GetAttributeValue(int index) const;
  // First attribute named exactly `name`; the value is cut to kMaxValueLength.
  bool GetAttributeValue(std::wstring_view name, std::wstring* value) const;
  bool HasAttribute(std::wstring_view name) const;

 private:
  const wchar_t* FindAttribute(std::wstring_view name) const;

  MarkupDocument* document_ = nullptr;
  uint32_t index_ = 0;
};

// A non-validating in-place parser for the skins' markup subset: elements,
// double-quoted attributes, character content, comments and processing
// instructions (skipped), and the five named entities. The whole document is
// one UTF-8 buffer, parsed in place; elements are records of byte offsets
// into it. An element's names, values and content are widened together the
// first time any of them is read, into a wide store that has room for every
// text (a UTF-8 text never has more characters than bytes); reading changes
// the document: one thread only.
class MarkupDocument {
 public:
  static constexpr size_t kMaxFileSize = 4 * 1024 * 1024;
  // Deeper nesting is refused rather than exhausting the stack.
  static constexpr int kMaxDepth = 512;

  MarkupDocument() = default;
  MarkupDocument(const MarkupDocument&) = delete;
  MarkupDocument& operator=(const MarkupDocument&) = delete;

  // Parses a copy of `text` (up to its first zero character).
  bool Load(std::wstring_view text);
  // Drops a leading byte order mark, converts from UTF-8 and parses.
  bool LoadFromUtf8(std::string_view utf8);
  // A relative path is taken from the resource root.
  bool LoadFromFile(const std::wstring& path);
  void Release();

  void SetPreserveWhitespace(bool preserve) { preserve_whitespace_ = preserve; }
  bool IsPreserveWhitespace() const { return preserve_whitespace_; }

  MarkupElement GetRoot();
  // Number of element records including the placeholder at index 0.
  size_t GetElementCount() const { return elements_.size(); }

  const wchar_t* GetLastErrorMessage() const { return error_message_; }
  const wchar_t* GetLastErrorLocation() const { return error_location_; }

 private:
  friend class MarkupElement;

  struct Element {
    uint32_t name;
    uint32_t child;
    uint32_t next;
    uint32_t parent;
    uint32_t data;
  };

  // Parses `length` bytes of UTF-8 (no zero among them).
  bool ParseUtf8(const char* utf8, size_t length);
  // Forgets the text, keeping the memory of the tables.
  void Clear();
  bool Parse();
  bool ParseLevel(char*& p, uint32_t parent, int depth);
  bool ParseAttributes(char*& p);
  char* Decode(char*& p, char stop);
  char* DecodeFrom(char*& p, char stop);
  uint32_t ReserveElement();
  bool Fail(const wchar_t* message, const char* location);
  void SetError(const wchar_t* message, const char* location);
  uint32_t Offset(const char* p) const { return static_cast<uint32_t>(p - text_.get()); }
  // What a read of an element finds: its texts widened, its attributes
  // located. Prepared on the first read of any of it.
  struct ElementTexts {
    const wchar_t* name = nullptr;  // null until prepared
    const wchar_t* content = nullptr;
    uint32_t first_attribute = 0;  // in attribute_texts_: name, value, ...
    uint32_t attribute_count = 0;
  };
  const ElementTexts& TextsOf(uint32_t index) {
    if (index >= element_texts_.size() || element_texts_[index].name == nullptr) {
      PrepareElement(index);
    }
    return element_texts_[index];
  }
  void PrepareElement(uint32_t index);
  std::unique_ptr<char[]> text_;
  size_t length_ = 0;
  std::vector<Element> elements_;
  // An element's texts are widened together into the next free room of
  // the wide store, which has room for every text with its terminator (a
  // text never has more characters than bytes) and is kept by a reload.
  std::unique_ptr<wchar_t[]> wide_;
  size_t wide_capacity_ = 0;
  size_t wide_used_ = 0;
  std::vector<ElementTexts> element_texts_;
  std::vector<const wchar_t*> attribute_texts_;
  wchar_t error_message_[100] = {};
  wchar_t error_location_[50] = {};
  bool preserve_whitespace_ = true;
};

// Read for every text of a skin, so kept inline.

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

const wchar_t* MarkupElement::GetName() const {
  if (!IsValid()) return L"";
  return document_->TextsOf(index_).name;
}

const wchar_t* MarkupElement::GetValue() const {
  if (!IsValid()) return L"";
  return document_->TextsOf(index_).content;
}

int MarkupElement::GetAttributeCount() const {
  if (!IsValid()) return 0;
  return static_cast<int>(document_->TextsOf(index_).attribute_count);
}

const wchar_t* MarkupElement::GetAttributeName(int index) const {
  if (index < 0 || index >= GetAttributeCount()) return L"";
  return document_->attribute_texts_[document_->TextsOf(index_).first_attribute + 2 * index];
}

const wchar_t* MarkupElement::GetAttributeValue(int index) const {
  if (index < 0 || index >= GetAttributeCount()) return L"";
  return document_->attribute_texts_[document_->TextsOf(index_).first_attribute + 2 * index + 1];
}

}  // namespace ui
