#include "ui/core/window_builder.h"

#include <cwchar>
#include <string_view>

#include "base/string_util.h"

namespace ui {

namespace {

// Decimal like the runtime's wide-to-integer conversion: leading blanks and a
// sign, digits up to the first other character, 0 when there are none.
int ParseDecimal(const std::wstring& text) {
  const long value = std::wcstol(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

// "#AARRGGBB" without its first character, read as base 16; a value that does
// not fit in 32 bits saturates.
uint32_t ParseColor(const std::wstring& value) {
  if (value.empty()) return 0;
  const unsigned long long argb = std::wcstoull(value.c_str() + 1, nullptr, 16);
  return argb > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(argb);
}

bool IsTrue(const MarkupElement& element, std::wstring_view name) {
  std::wstring value;
  return element.GetAttributeValue(name, &value) && value == L"true";
}

}  // namespace

Control* WindowBuilder::Build(const std::wstring& xml, CreateControlCallback callback,
                              Window* /*window*/, Box* /*parent*/, Box* /*root_box*/) {
  if (!LoadDocument(xml)) return nullptr;
  callback_ = std::move(callback);
  MarkupElement root = markup_.GetRoot();
  if (!root.IsValid()) return nullptr;

  if (std::wstring_view(root.GetName()) == L"Global") ApplyGlobal(root);
  // Window settings and the control tree join here with the control classes.
  return nullptr;
}

bool WindowBuilder::LoadDocument(const std::wstring& xml) {
  markup_.SetPreserveWhitespace(true);
  if (!xml.empty() && xml[0] == L'<') return markup_.Load(xml);
  if (!GlobalManager::IsUseZip()) return markup_.LoadFromFile(xml);
  std::optional<std::string> data =
      GlobalManager::ReadArchiveEntry(GlobalManager::GetResourceRoot() + xml);
  if (!data) {
    markup_.Release();
    return false;
  }
  return markup_.LoadFromUtf8(*data);
}

void WindowBuilder::ApplyGlobal(const MarkupElement& root) {
  for (int i = 0; i < root.GetAttributeCount(); ++i) {
    const std::wstring_view name = root.GetAttributeName(i);
    const std::wstring value = root.GetAttributeValue(i);
    if (name == L"defaultfontcolor") {
      GlobalManager::SetDefaultColorName(value);
    } else if (name == L"disabledfontcolor") {
      GlobalManager::SetDefaultDisabledColorName(value);
    } else if (name == L"linkfontcolor" || name == L"linkhoverfontcolor" ||
               name == L"selectedcolor") {
      // Only makes sure the colour exists; nothing reads these back.
      GlobalManager::GetTextColor(value);
    }
  }
  for (MarkupElement child = root.GetChild(); child.IsValid(); child = child.GetSibling()) {
    const std::wstring_view tag = child.GetName();
    if (tag == L"Font") {
      AddGlobalFont(child);
    } else if (tag == L"TextColor") {
      AddGlobalTextColor(child);
    } else if (tag == L"Class") {
      AddGlobalClass(child);
    }
    // "Image" is accepted and ignored; other children are controls, which a
    // style sheet does not keep.
  }
}

void WindowBuilder::AddGlobalFont(const MarkupElement& element) {
  std::wstring face;
  element.GetAttributeValue(L"name", &face);
  std::wstring size_text;
  const int size = element.GetAttributeValue(L"size", &size_text) ? ParseDecimal(size_text) : 12;
  if (face.empty()) return;
  GlobalManager::AddFont(face, size, IsTrue(element, L"bold"), IsTrue(element, L"underline"),
                         IsTrue(element, L"italic"));
}

void WindowBuilder::AddGlobalTextColor(const MarkupElement& element) {
  std::wstring name;
  std::wstring value;
  if (element.GetAttributeValue(L"name", &name) && element.GetAttributeValue(L"value", &value)) {
    GlobalManager::AddTextColor(name, ParseColor(value));
  }
}

void WindowBuilder::AddGlobalClass(const MarkupElement& element) {
  std::wstring name;
  std::wstring value;
  element.GetAttributeValue(L"name", &name);
  element.GetAttributeValue(L"value", &value);
  if (!name.empty()) GlobalManager::AddClass(name, value);
}

}  // namespace ui
