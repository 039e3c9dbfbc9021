#pragma once

// Helpers of the DirectWrite layout's tests.

#include <dwrite.h>
#include <wrl/client.h>

#include <string>

namespace ui::dwrite_test {

// A family the system has that has (or lacks) U+4E2D, or empty.
inline std::wstring FindFamily(bool with_chinese) {
  Microsoft::WRL::ComPtr<IDWriteFactory> factory;
  Microsoft::WRL::ComPtr<IDWriteFontCollection> fonts;
  if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                 reinterpret_cast<IUnknown**>(factory.GetAddressOf()))) ||
      FAILED(factory->GetSystemFontCollection(&fonts, FALSE))) {
    return {};
  }
  for (UINT32 i = 0; i < fonts->GetFontFamilyCount(); ++i) {
    Microsoft::WRL::ComPtr<IDWriteFontFamily> family;
    Microsoft::WRL::ComPtr<IDWriteFont> font;
    Microsoft::WRL::ComPtr<IDWriteLocalizedStrings> names;
    BOOL has = FALSE;
    if (FAILED(fonts->GetFontFamily(i, &family)) ||
        FAILED(family->GetFirstMatchingFont(DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                            DWRITE_FONT_STYLE_NORMAL, &font)) ||
        FAILED(font->HasCharacter(0x4E2D, &has)) || (has != FALSE) != with_chinese ||
        FAILED(family->GetFamilyNames(&names))) {
      continue;
    }
    wchar_t name[128] = {};
    if (SUCCEEDED(names->GetString(0, name, 128))) return name;
  }
  return {};
}

// The first family of a comma-separated list that the system has, or empty.
inline std::wstring FirstPresentFamily(const std::wstring& list) {
  Microsoft::WRL::ComPtr<IDWriteFactory> factory;
  Microsoft::WRL::ComPtr<IDWriteFontCollection> fonts;
  if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                 reinterpret_cast<IUnknown**>(factory.GetAddressOf()))) ||
      FAILED(factory->GetSystemFontCollection(&fonts, FALSE))) {
    return {};
  }
  size_t from = 0;
  while (from < list.size()) {
    size_t comma = list.find(L',', from);
    if (comma == std::wstring::npos) comma = list.size();
    std::wstring name = list.substr(from, comma - from);
    name.erase(0, name.find_first_not_of(L' '));
    name.erase(name.find_last_not_of(L' ') + 1);
    UINT32 index = 0;
    BOOL exists = FALSE;
    if (SUCCEEDED(fonts->FindFamilyName(name.c_str(), &index, &exists)) && exists) return name;
    from = comma + 1;
  }
  return {};
}

}  // namespace ui::dwrite_test
