#pragma once

#include <string>

namespace corvane {

constexpr char kUnknownOsName[] = "unknown OperatingSystem.";

// PRETTY_NAME of the os-release file (quotes removed), or kUnknownOsName
// when the file or the field is missing or empty.
std::string ReadOsName(const std::string& os_release_path = "/etc/os-release");

// True on a 64-bit machine architecture (x86_64, aarch64, ...).
bool Is64BitMachine();

}  // namespace corvane
