#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// Longest channel resource kept; longer ones are cut (never inside a character).
constexpr size_t kMaxChannelResourceBytes = 260;

// The machine identifier: 32 upper-case hexadecimal digits, read from the
// settings store ("UniqueId") or made once from a fresh random UUID and
// stored there. Cached for the life of the process.
std::wstring GetMachineId();

// MD5 (RFC 1321) of the UTF-8 bytes of `text`, as 32 upper-case hex digits.
std::wstring Md5Hex(const std::wstring& text);

// The version stamped at build time, "1.0.0.0" without one.
std::wstring GetProgramVersion();

// The operating system's pretty name, or "unknown OperatingSystem.".
std::wstring GetOsName();

// The "CHANNEL" resource of the running program; false when it is absent.
bool ReadChannelResource(std::wstring* channel);
// The channel held by the resource bytes `data` (cut at 260 bytes).
std::wstring ChannelFromResourceBytes(const std::string& data);

// The settings store standing in for the current user's registry key.
std::wstring ReadRegistryString(const std::string& key_path, const std::wstring& name);
bool WriteRegistryString(const std::string& key_path, const std::wstring& name,
                         const std::wstring& value);

// Milliseconds since 1601-01-01 (UTC), and the same as decimal text.
uint64_t NowMilliseconds();
std::wstring NowMillisecondsText();

// Forgets the cached identifier and version, so tests can start afresh.
void ResetMachineInfoCachesForTesting();

}  // namespace corvane
