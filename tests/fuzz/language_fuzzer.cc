// Language files and archive path normalisation: both take text straight
// from skin data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/string_util.h"
#include "ui/core/global_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ui::GlobalManager::ClearLanguageStrings();
  ui::GlobalManager::LoadLanguageData(text);
  for (const wchar_t* key : {L"STRING_OK", L"STRING_CANCEL", L"A", L""}) {
    volatile size_t sink = ui::GlobalManager::GetLanguageString(key).size();
    (void)sink;
  }

  const std::wstring path = nbase::UTF8ToWide(text);
  const std::wstring once = ui::GlobalManager::NormalizeArchivePath(path);
  // Normalising is idempotent and never leaves "\", "//" or a leading "/".
  if (ui::GlobalManager::NormalizeArchivePath(once) != once) __builtin_trap();
  if (once.find(L'\\') != std::wstring::npos || once.find(L"//") != std::wstring::npos ||
      (!once.empty() && once[0] == L'/')) {
    __builtin_trap();
  }
  return 0;
}
