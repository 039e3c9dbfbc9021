#include "ui/resource/win/gdi_font.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>

#include "base/string_util.h"
#include "ui/resource/skin_resources.h"

namespace ui {

namespace {

int CALLBACK CountFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

bool IsInstalled(const std::wstring& family) {
  if (family.empty() || family.size() >= LF_FACESIZE) return false;
  LOGFONTW probe = {};
  probe.lfCharSet = DEFAULT_CHARSET;
  std::wmemcpy(probe.lfFaceName, family.c_str(), family.size() + 1);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &probe, CountFamily, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

std::wstring Trimmed(std::wstring_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == L' ') ++begin;
  while (end > begin && text[end - 1] == L' ') --end;
  return std::wstring(text.substr(begin, end - begin));
}

// The face GDI gives for `family` when nothing in the lists is installed:
// whatever it substitutes, which GDI+ can then make a font of.
std::wstring SubstitutedFace(const std::wstring& family) {
  LOGFONTW request = {};
  request.lfHeight = -12;
  request.lfCharSet = DEFAULT_CHARSET;
  request.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  if (family.size() < LF_FACESIZE)
    std::wmemcpy(request.lfFaceName, family.c_str(), family.size() + 1);
  std::wstring face;
  if (HFONT font = CreateFontIndirectW(&request)) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    wchar_t name[LF_FACESIZE] = {};
    if (GetTextFaceW(dc, LF_FACESIZE, name) > 0) face = name;
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(font);
  }
  return face;
}

// A face the system has for the requested list: its first installed family,
// else the first of the UI families, else what GDI substitutes.
std::wstring ResolveFace(const std::wstring& families) {
  std::wstring face = FirstInstalledFamily(families);
  if (face.empty())
    face = FirstInstalledFamily(nbase::UTF8ToWide(SkinResources::kSystemFontFamilies));
  if (face.empty()) {
    const size_t comma = families.find(L',');
    face = SubstitutedFace(Trimmed(std::wstring_view(families).substr(0, comma)));
  }
  return face;
}

}  // namespace

GdiNativeFont::~GdiNativeFont() {
  if (font_) DeleteObject(font_);
}

std::wstring FirstInstalledFamily(const std::wstring& families) {
  std::wstring_view rest = families;
  while (!rest.empty()) {
    const size_t comma = rest.find(L',');
    std::wstring family = Trimmed(rest.substr(0, comma));
    if (IsInstalled(family)) return family;
    if (comma == std::wstring_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return std::wstring();
}

std::unique_ptr<NativeFont> CreateNativeFont(const NativeFontSpec& wanted) {
  // The stock GUI font supplies quality, pitch and the like, as the skins
  // were drawn with.
  LOGFONTW logfont = {};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(logfont), &logfont);
  const std::wstring face = ResolveFace(wanted.families);
  const size_t length = std::min<size_t>(face.size(), LF_FACESIZE - 1);
  std::wmemcpy(logfont.lfFaceName, face.c_str(), length);
  logfont.lfFaceName[length] = L'\0';
  logfont.lfCharSet = DEFAULT_CHARSET;
  // A character height: negative. INT_MIN has no positive counterpart.
  const int magnitude = wanted.pixel_size == INT_MIN ? INT_MAX : std::abs(wanted.pixel_size);
  logfont.lfHeight = -magnitude;
  logfont.lfWidth = 0;
  logfont.lfWeight = wanted.weight == 0 ? FW_DONTCARE : std::clamp(wanted.weight, 100, 1000);
  logfont.lfItalic = wanted.italic ? TRUE : FALSE;
  logfont.lfUnderline = FALSE;
  logfont.lfStrikeOut = FALSE;
  return std::make_unique<GdiNativeFont>(CreateFontIndirectW(&logfont), logfont);
}

const LOGFONTW* LogFontOf(const NativeFont* font) {
  auto* gdi = dynamic_cast<const GdiNativeFont*>(font);
  return gdi ? &gdi->logfont() : nullptr;
}

const GdiNativeFont& DefaultGdiFont() {
  static const GdiNativeFont* font = [] {
    NativeFontSpec wanted;
    wanted.families = nbase::UTF8ToWide(SkinResources::kSystemFontFamilies);
    wanted.pixel_size = 12;
    std::unique_ptr<NativeFont> made = CreateNativeFont(wanted);
    return static_cast<const GdiNativeFont*>(made.release());
  }();
  return *font;
}

}  // namespace ui
