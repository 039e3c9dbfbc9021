// Resources are Win32 resources of the executable, compiled with windres:
// the custom type named like the resource, with the identifier the installer
// gives it ("THEME" 136, "CHANNEL" 138, anything else 1).
#include "app/system/embedded_resource.h"

#include <windows.h>

#include "app/system/win/wide_text.h"

namespace corvane {

std::optional<std::string> ReadEmbeddedResource(const std::string& name) {
  const std::wstring type = Utf8ToUtf16(name);
  HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(ResourceIdentifier(name)), type.c_str());
  if (!info) return std::nullopt;
  const DWORD size = SizeofResource(nullptr, info);
  HGLOBAL loaded = LoadResource(nullptr, info);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return std::nullopt;
  return std::string(static_cast<const char*>(data), size);
}

}  // namespace corvane
