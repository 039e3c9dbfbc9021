// Replaces one resource of a built Windows executable, the way the system
// updates resources (BeginUpdateResource / UpdateResource /
// EndUpdateResource), so the file stays a valid, runnable program:
//   restamp_resource.exe FILE TYPE ID DATA_FILE
// TYPE is a resource type name such as CHANNEL, ID its number. Every
// language version of that resource is replaced by one neutral one. Exit 0
// on success, 1 when the file cannot be updated, 2 for wrong arguments.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Found {
  std::vector<WORD> languages;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
  reinterpret_cast<Found*>(found)->languages.push_back(language);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fputs("usage: restamp_resource FILE TYPE ID DATA_FILE\n", stderr);
    return 2;
  }
  const wchar_t* file = argv[1];
  const wchar_t* type = argv[2];
  const int id = _wtoi(argv[3]);
  if (id <= 0) return 2;
  std::ifstream in(argv[4], std::ios::binary);
  if (!in) {
    std::fputs("restamp_resource: cannot read the data file\n", stderr);
    return 2;
  }
  std::stringstream data;
  data << in.rdbuf();
  const std::string bytes = data.str();

  // The languages the resource has now: each is removed.
  Found found;
  if (HMODULE module = LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(id), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&found));
    FreeLibrary(module);
  }
  HANDLE update = BeginUpdateResourceW(file, FALSE);
  if (!update) {
    std::fprintf(stderr, "restamp_resource: cannot open the file (error %lu)\n", GetLastError());
    return 1;
  }
  bool ok = true;
  const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
  for (WORD language : found.languages) {
    if (language != neutral) {
      ok = ok && UpdateResourceW(update, type, MAKEINTRESOURCEW(id), language, nullptr, 0);
    }
  }
  ok = ok && UpdateResourceW(update, type, MAKEINTRESOURCEW(id), neutral,
                             const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  if (!EndUpdateResourceW(update, ok ? FALSE : TRUE) || !ok) {
    std::fprintf(stderr, "restamp_resource: the update failed (error %lu)\n", GetLastError());
    return 1;
  }
  return 0;
}
