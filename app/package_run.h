#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/statistics.h"

namespace corvane {

constexpr int kPackageRuns = 3;

struct PackageRunOutcome {
  int code = 0;     // last exit code, -10002, or errno when it cannot start
  int retries = 0;  // failed runs
  int64_t cost_seconds = 0;
};

// The package's argument vector: path, "/S", "/D=" + directory (one argument
// each, so a directory with blanks arrives whole).
std::vector<std::string> PackageArguments(const std::wstring& package_path,
                                          const std::wstring& install_dir);

// Runs the package until it exits with 0, at most three times.
PackageRunOutcome RunPackageRuns(const std::wstring& package_path, const std::wstring& install_dir);

// The "InstallTimeCost" data: cost, ret, retryTime.
EventData InstallRecordData(const PackageRunOutcome& outcome);

// Runs the package and reports "InstallTimeCost"; returns the last code.
int RunPackage(const std::wstring& package_path, const std::wstring& install_dir);

// True while a process named exactly "corvane.exe" runs.
bool IsProductRunning();

// install directory + the platform's separator + "corvane.exe".
std::wstring ProductExecutable(const std::wstring& install_dir);

// Starts the installed product detached: without arguments on current
// systems, with "--disable-gpu" on Windows before 8 (ProductLaunchNeedsGpuOff).
// Returns 0 or the system's error code of the failure.
int LaunchProduct(const std::wstring& install_dir);

// Removes leading and trailing blanks (32) and control characters up to 29.
std::wstring TrimUrl(const std::wstring& address);

// Opens the trimmed address in the user's browser.
bool OpenUrl(const std::wstring& address);

}  // namespace corvane
