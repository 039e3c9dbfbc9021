#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class MarkupDocument;

// A light handle on one element of a parsed document; copied by value and
// valid while its document is neither reloaded nor released. Attributes are
// located on first access; only the first kMaxAttributes are visible.
class MarkupElement {
 public:
  static constexpr int kMaxAttributes = 64;
  // Values copied by name are cut to this many characters.
  static constexpr size_t kMaxValueLength = 499;

  MarkupElement() = default;
  MarkupElement(MarkupDocument* document, uint32_t index) : document_(document), index_(index) {}

  bool IsValid() const { return index_ != 0; }
  MarkupElement GetParent() const;
  MarkupElement GetChild() const;
  MarkupElement GetSibling() const;
  bool HasChildren() const;
  bool HasSiblings() const;
  // First child whose name equals `name` exactly.
  MarkupElement GetChild(std::wstring_view name) const;

  // Texts point into the document's buffer (zero-terminated); "" for an
  // invalid handle or index.
  const wchar_t* GetName() const;
  const wchar_t* GetValue() const;

  int GetAttributeCount() const;
  bool HasAttributes() const;
  const wchar_t* GetAttributeName(int index) const;
  const wchar_t* GetAttributeValue(int index) const;
  // First attribute named exactly `name`; the value is cut to kMaxValueLength.
  bool GetAttributeValue(std::wstring_view name, std::wstring* value) const;
  bool HasAttribute(std::wstring_view name) const;

 private:
  void MapAttributes() const;
  const wchar_t* FindAttribute(std::wstring_view name) const;

  MarkupDocument* document_ = nullptr;
  uint32_t index_ = 0;
  mutable bool mapped_ = false;
  mutable int attribute_count_ = 0;
  mutable uint32_t attributes_[kMaxAttributes][2] = {};  // name and value offsets
};

// A non-validating in-place parser for the skins' markup subset: elements,
// double-quoted attributes, character content, comments and processing
// instructions (skipped), and the five named entities. The whole document is
// one UTF-8 buffer, parsed in place; elements are records of byte offsets
// into it. A name or value is widened the first time it is read, into a wide
// buffer at the same offset as its bytes (a UTF-8 text never has more
// characters than bytes), so reading changes the document: one thread only.
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
  bool Parse();
  bool ParseLevel(char*& p, uint32_t parent, int depth);
  bool ParseAttributes(char*& p);
  char* Decode(char*& p, char stop);
  uint32_t ReserveElement();
  bool Fail(const wchar_t* message, const char* location);
  void SetError(const wchar_t* message, const char* location);
  uint32_t Offset(const char* p) const { return static_cast<uint32_t>(p - text_.get()); }
  // The zero-terminated text at a byte offset, widened on first use.
  const wchar_t* WideAt(uint32_t offset);
  const char* BytesAt(uint32_t offset) const { return text_.get() + offset; }

  std::unique_ptr<char[]> text_;
  size_t length_ = 0;
  // Allocated on first read; a bit per byte offset already widened.
  std::unique_ptr<wchar_t[]> wide_;
  std::vector<uint64_t> widened_;
  std::vector<Element> elements_;
  wchar_t error_message_[100] = {};
  wchar_t error_location_[50] = {};
  bool preserve_whitespace_ = true;
};

}  // namespace ui
