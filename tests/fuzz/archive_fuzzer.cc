// Arbitrary bytes as the in-memory skin archive: opening, locating and
// inflating entries must fail cleanly on damaged or hostile archives.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/core/global_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!ui::GlobalManager::OpenArchive(data, size, "")) return 0;
  for (const wchar_t* name : {L"a.txt", L"resources/themes/default/global.xml",
                              L"resources/lang/zh_CN/gdstrings.ini", L"dir/../B.TXT"}) {
    if (auto entry = ui::GlobalManager::ReadArchiveEntry(name)) {
      volatile size_t sink = entry->size();
      (void)sink;
    }
  }
  ui::GlobalManager::CloseArchive();
  return 0;
}
