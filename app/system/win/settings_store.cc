// The settings store on Windows is the current user's registry key itself
// (HKEY_CURRENT_USER\<key path>), values of type REG_SZ.
#include "app/system/settings_store.h"

#include <windows.h>

#include <vector>

#include "app/system/win/wide_text.h"

namespace corvane {

namespace {

// Longest value read, in bytes. Anything longer is not one of ours (an
// identifier is 32 characters, a channel at most 260) and reads as missing.
constexpr DWORD kMaxValueBytes = 64 * 1024;

std::wstring KeyPath(const std::string& file_path) {
  constexpr char kRoot[] = "HKEY_CURRENT_USER\\";
  return Utf8ToUtf16(std::string_view(file_path).substr(sizeof(kRoot) - 1));
}

}  // namespace

SettingsStore::SettingsStore(const std::string& key_path)
    : file_path_("HKEY_CURRENT_USER\\" + key_path) {
  const size_t last = key_path.find_last_of('\\');
  group_ = last == std::string::npos ? key_path : key_path.substr(last + 1);
}

std::string SettingsStore::Read(const std::string& name) const {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(file_path_).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return std::string();
  }
  const std::wstring value_name = Utf8ToUtf16(name);
  DWORD type = 0;
  DWORD size = 0;
  std::string result;
  // Only text values are text: a number or binary data under our name was
  // not written by us and is not read as characters.
  if (RegQueryValueExW(key, value_name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size <= kMaxValueBytes) {
    // One spare character: a stored value need not end in a zero.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    DWORD got = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key, value_name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &got) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
      const size_t units = got / sizeof(wchar_t);
      std::wstring text(buffer.data(), units);
      // The text ends at the first zero character.
      text.resize(std::wstring(text.c_str()).size());
      result = Utf16ToUtf8(text);
    }
  }
  RegCloseKey(key);
  return result;
}

bool SettingsStore::Write(const std::string& name, const std::string& value) const {
  const std::wstring path = KeyPath(file_path_);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ | KEY_WRITE, &key) !=
          ERROR_SUCCESS &&
      RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring text = Utf8ToUtf16(value);
  const LONG rc = RegSetValueExW(key, Utf8ToUtf16(name).c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

}  // namespace corvane
