// Resources are Win32 resources of the executable, compiled with windres:
// the custom type named like the resource, with the identifier the installer
// gives it ("THEME" 136, "CHANNEL" 138, anything else 1).
#include "app/system/embedded_resource.h"

#include <windows.h>

#include "app/system/win/wide_text.h"

namespace corvane {

namespace {

std::optional<std::string> ReadResourceOf(HMODULE module, const std::string& name) {
  const std::wstring type = Utf8ToUtf16(name);
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(ResourceIdentifier(name)), type.c_str());
  if (!info) return std::nullopt;
  const DWORD size = SizeofResource(module, info);
  HGLOBAL loaded = LoadResource(module, info);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return std::nullopt;
  return std::string(static_cast<const char*>(data), size);
}

}  // namespace

std::optional<std::string> ReadEmbeddedResource(const std::string& name) {
  return ReadResourceOf(nullptr, name);
}

std::optional<std::string> ReadProgramResource(const std::string& file, const std::string& name) {
  // Mapped as data: nothing of the program runs, and a file that is no
  // program fails here.
  HMODULE module = LoadLibraryExW(Utf8ToUtf16(file).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return std::nullopt;
  std::optional<std::string> data = ReadResourceOf(module, name);
  FreeLibrary(module);
  return data;
}

}  // namespace corvane
