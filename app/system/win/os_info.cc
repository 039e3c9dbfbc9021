#include "app/system/os_info.h"

#include <windows.h>

namespace corvane {

namespace {

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);

// RtlGetVersion tells the truth whatever the manifest lists; GetVersionEx
// stops at the newest system the manifest names.
bool RunningVersion(WindowsVersion* version) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto rtl_get_version = ntdll ? reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(
                                     GetProcAddress(ntdll, "RtlGetVersion")))
                               : nullptr;
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!rtl_get_version || rtl_get_version(&info) != 0) return false;
  version->major = info.dwMajorVersion;
  version->minor = info.dwMinorVersion;
  version->service_pack_major = info.wServicePackMajor;
  version->workstation = info.wProductType == VER_NT_WORKSTATION;
  return true;
}

}  // namespace

std::string ReadOsName(const std::string& /*os_release_path*/) {
  WindowsVersion version;
  return RunningVersion(&version) ? WindowsSystemName(version) : kUnknownOsName;
}

bool ProductLaunchNeedsGpuOff() {
  WindowsVersion version;
  return !RunningVersion(&version) || ProductNeedsGpuOff(version);
}

bool Is64BitMachine() {
  SYSTEM_INFO info = {};
  GetNativeSystemInfo(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
    case PROCESSOR_ARCHITECTURE_IA64:
    case PROCESSOR_ARCHITECTURE_ARM64:
      return true;
    default:
      return false;
  }
}

std::string StatisticsOsField() {
  return "windows";
}

}  // namespace corvane
