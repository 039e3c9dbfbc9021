#pragma once

namespace corvane {

// Identifiers and fixed texts shared by the installer's parts.

// Thread identifiers in the thread registry.
constexpr int kThreadUi = 0;
constexpr int kThreadGlobalMisc = 2;
constexpr int kThreadHttp = 6;

constexpr wchar_t kMainThreadName[] = L"MainThread";
constexpr wchar_t kGlobalMiscThreadName[] = L"Global Misc Thread";
constexpr wchar_t kHttpThreadName[] = L"http Thread";

// Substituted for "%s" in every installer message.
constexpr wchar_t kDisplayName[] = L"Corvane视频转换器";

// The settings key that keeps "UniqueId" and "Channel" between runs.
constexpr char kAppInfoKey[] = "Software\\corvane\\AppInfo";

constexpr char kStatisticsAppName[] = "CorvaneOnlineInstaller";
constexpr char kProductExecutable[] = "corvane.exe";
constexpr char kPackageFileName[] = "corvaneInstaller.exe";
constexpr char kSingleInstanceName[] = "CorvaneInstaller";

// Result codes of the installer's own making.
constexpr int kResultNoHandle = 1;
constexpr int kResultFileNotWritable = 2;
// The package's signature is missing or invalid (installers with a vendor key).
constexpr int kResultPackageNotSigned = 3;

}  // namespace corvane
