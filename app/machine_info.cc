#include "app/machine_info.h"

#include <chrono>
#include <mutex>

#include "app/installer_constants.h"
#include "app/system/digest.h"
#include "app/system/embedded_resource.h"
#include "app/system/os_info.h"
#include "app/system/settings_store.h"
#include "base/string_util.h"

namespace corvane {

namespace {

// Difference between 1601-01-01 and 1970-01-01 in milliseconds.
constexpr uint64_t kEpochOffsetMs = 11644473600000ULL;

std::mutex g_cache_lock;
std::wstring g_machine_id;
std::wstring g_program_version;

}  // namespace

std::wstring Md5Hex(const std::wstring& text) {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring out;
  for (const uint8_t byte : corvane::Md5Digest(nbase::WideToUTF8(text))) {
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
  }
  return out;
}

std::wstring GetMachineId() {
  std::lock_guard<std::mutex> guard(g_cache_lock);
  if (!g_machine_id.empty()) return g_machine_id;
  std::wstring stored = ReadRegistryString(kAppInfoKey, L"UniqueId");
  if (!stored.empty()) {
    g_machine_id = stored;
    return g_machine_id;
  }
  std::wstring seed = nbase::UTF8ToWide(corvane::FreshGuidText());
  if (seed.empty()) seed = NowMillisecondsText();
  g_machine_id = Md5Hex(seed);
  WriteRegistryString(kAppInfoKey, L"UniqueId", g_machine_id);
  return g_machine_id;
}

std::wstring GetProgramVersion() {
  std::lock_guard<std::mutex> guard(g_cache_lock);
  if (g_program_version.empty()) {
#ifdef CORVANE_VERSION
    g_program_version = nbase::UTF8ToWide(CORVANE_VERSION);
#endif
    if (g_program_version.empty()) g_program_version = L"1.0.0.0";
  }
  return g_program_version;
}

std::wstring GetOsName() {
  return nbase::UTF8ToWide(corvane::ReadOsName());
}

std::wstring ChannelFromResourceBytes(const std::string& data) {
  size_t cut = std::min(data.size(), kMaxChannelResourceBytes);
  // Step back over continuation bytes so no character is split.
  if (cut < data.size()) {
    while (cut > 0 && (static_cast<unsigned char>(data[cut]) & 0xC0) == 0x80) --cut;
  }
  return nbase::UTF8ToWide(std::string_view(data).substr(0, cut));
}

bool ReadChannelResource(std::wstring* channel) {
  const std::optional<std::string> data = corvane::ReadEmbeddedResource("CHANNEL");
  if (!data) return false;
  *channel = ChannelFromResourceBytes(*data);
  return true;
}

std::wstring ReadRegistryString(const std::string& key_path, const std::wstring& name) {
  return nbase::UTF8ToWide(corvane::SettingsStore(key_path).Read(nbase::WideToUTF8(name)));
}

bool WriteRegistryString(const std::string& key_path, const std::wstring& name,
                         const std::wstring& value) {
  return corvane::SettingsStore(key_path).Write(nbase::WideToUTF8(name), nbase::WideToUTF8(value));
}

uint64_t NowMilliseconds() {
  const auto since_1970 = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return static_cast<uint64_t>(since_1970.count()) + kEpochOffsetMs;
}

std::wstring NowMillisecondsText() {
  return std::to_wstring(NowMilliseconds());
}

void ResetMachineInfoCachesForTesting() {
  std::lock_guard<std::mutex> guard(g_cache_lock);
  g_machine_id.clear();
  g_program_version.clear();
}

}  // namespace corvane
