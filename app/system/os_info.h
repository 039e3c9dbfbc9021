#pragma once

#include <string>

namespace corvane {

constexpr char kUnknownOsName[] = "unknown OperatingSystem.";

// Linux: PRETTY_NAME of the os-release file (quotes removed), or
// kUnknownOsName when the file or the field is missing or empty. Windows: the
// running system's name from WindowsSystemName (the path is not read).
std::string ReadOsName(const std::string& os_release_path = "/etc/os-release");

// True on a 64-bit machine architecture (x86_64, aarch64, ...).
bool Is64BitMachine();

// The "os" field of the statistics: "linux" or "windows".
std::string StatisticsOsField();

// What the Windows system-name table looks at.
struct WindowsVersion {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned service_pack_major = 0;
  bool workstation = true;
};

// The first matching row of the system-name table: "Microsoft Windows
// Server" for any server, then "Microsoft Windows 10", "... 8.1", "... 8",
// "... 7 sp1", "... 7", "... Vista sp2/sp1", "... Vista", "... xp sp3/sp2/
// sp1", "... xp", each for that version or later; kUnknownOsName below 5.1.
std::string WindowsSystemName(const WindowsVersion& version);

// True for systems older than Windows 8 (6.2), where the product starts
// with "--disable-gpu"; the version of a system that cannot say counts as
// old.
bool ProductNeedsGpuOff(const WindowsVersion& version);

// Whether the product starts with "--disable-gpu" here: never on Linux; on
// Windows by ProductNeedsGpuOff for the running system (RtlGetVersion).
bool ProductLaunchNeedsGpuOff();

}  // namespace corvane
