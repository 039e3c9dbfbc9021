#include "ui/text/win/dwrite_context.h"

#include "base/string_util.h"
#include "ui/resource/skin_resources.h"

namespace ui::dwrite {

namespace {

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.remove_suffix(1);
  return s;
}

std::wstring FamilyName(IDWriteFontFamily* family) {
  ComPtr<IDWriteLocalizedStrings> names;
  if (FAILED(family->GetFamilyNames(&names))) return {};
  UINT32 index = 0;
  BOOL exists = FALSE;
  if (FAILED(names->FindLocaleName(L"en-us", &index, &exists)) || !exists) index = 0;
  UINT32 length = 0;
  if (FAILED(names->GetStringLength(index, &length))) return {};
  std::wstring name(length + 1, L'\0');
  if (FAILED(names->GetString(index, name.data(), length + 1))) return {};
  name.resize(length);
  return name;
}

}  // namespace

std::shared_ptr<Context> Context::Create() {
  ComPtr<IDWriteFactory> factory;
  if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                 reinterpret_cast<IUnknown**>(factory.GetAddressOf())))) {
    return nullptr;
  }
  ComPtr<IDWriteFontCollection> fonts;
  if (FAILED(factory->GetSystemFontCollection(&fonts, FALSE))) return nullptr;
  return std::make_shared<Context>(std::move(factory), std::move(fonts));
}

Context::Context(ComPtr<IDWriteFactory> factory, ComPtr<IDWriteFontCollection> fonts)
    : factory_(std::move(factory)), fonts_(std::move(fonts)) {
  factory_.As(&factory2_);
}

void Context::AddFamilies(std::wstring_view list, std::vector<Family>* out) {
  while (!list.empty()) {
    const size_t comma = list.find(L',');
    const std::wstring name(Trim(list.substr(0, comma)));
    list = comma == std::wstring_view::npos ? std::wstring_view() : list.substr(comma + 1);
    if (name.empty()) continue;
    bool known = false;
    for (const Family& f : *out) known = known || _wcsicmp(f.name.c_str(), name.c_str()) == 0;
    if (known) continue;
    UINT32 index = 0;
    BOOL exists = FALSE;
    if (FAILED(fonts_->FindFamilyName(name.c_str(), &index, &exists)) || !exists) continue;
    ComPtr<IDWriteFontFamily> family;
    ComPtr<IDWriteFont> font;
    if (FAILED(fonts_->GetFontFamily(index, &family)) ||
        FAILED(family->GetFirstMatchingFont(DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                            DWRITE_FONT_STYLE_NORMAL, &font))) {
      continue;
    }
    out->push_back(Family{name, std::move(font)});
  }
}

Context::Resolved& Context::Resolve(const std::wstring& list) {
  auto it = resolved_.find(list);
  if (it != resolved_.end()) return it->second;
  Resolved r;
  AddFamilies(list, &r.families);
  AddFamilies(nbase::UTF8ToWide(SkinResources::kSystemFontFamilies), &r.families);
  if (r.families.empty()) {
    // None of the named families: the system's first family still draws.
    ComPtr<IDWriteFontFamily> family;
    ComPtr<IDWriteFont> font;
    if (fonts_->GetFontFamilyCount() > 0 && SUCCEEDED(fonts_->GetFontFamily(0, &family)) &&
        SUCCEEDED(family->GetFirstMatchingFont(DWRITE_FONT_WEIGHT_NORMAL,
                                               DWRITE_FONT_STRETCH_NORMAL, DWRITE_FONT_STYLE_NORMAL,
                                               &font))) {
      r.families.push_back(Family{FamilyName(family.Get()), std::move(font)});
    }
  }
  r.primary = r.families.empty() ? std::wstring() : r.families.front().name;
  return resolved_.emplace(list, std::move(r)).first->second;
}

const std::wstring& Context::PrimaryFamily(const std::wstring& list) {
  return Resolve(list).primary;
}

const std::wstring& Context::FamilyFor(const std::wstring& list, char32_t c) {
  Resolved& r = Resolve(list);
  if (r.families.empty()) return r.primary;
  auto has = [&](size_t i) {
    BOOL exists = FALSE;
    return SUCCEEDED(r.families[i].font->HasCharacter(c, &exists)) && exists;
  };
  // Most characters are the primary family's; only the others are looked up
  // again and remembered.
  if (has(0)) return r.primary;
  auto it = r.choice.find(c);
  if (it == r.choice.end()) {
    size_t choice = 0;
    for (size_t i = 1; i < r.families.size() && choice == 0; ++i) {
      if (has(i)) choice = i;
    }
    it = r.choice.emplace(c, choice).first;
  }
  return r.families[it->second].name;
}

}  // namespace ui::dwrite
