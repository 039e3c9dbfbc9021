#include "app/system/os_info.h"

#include <tuple>

namespace corvane {

std::string WindowsSystemName(const WindowsVersion& v) {
  if (!v.workstation) return "Microsoft Windows Server";
  struct Row {
    unsigned major, minor, service_pack;
    const char* name;
  };
  static constexpr Row kRows[] = {
      {10, 0, 0, "Microsoft Windows 10"},       {6, 3, 0, "Microsoft Windows 8.1"},
      {6, 2, 0, "Microsoft Windows 8"},         {6, 1, 1, "Microsoft Windows 7 sp1"},
      {6, 1, 0, "Microsoft Windows 7"},         {6, 0, 2, "Microsoft Windows Vista sp2"},
      {6, 0, 1, "Microsoft Windows Vista sp1"}, {6, 0, 0, "Microsoft Windows Vista"},
      {5, 1, 3, "Microsoft Windows xp sp3"},    {5, 1, 2, "Microsoft Windows xp sp2"},
      {5, 1, 1, "Microsoft Windows xp sp1"},    {5, 1, 0, "Microsoft Windows xp"},
  };
  // Each row asks "this version or later" of major, minor and service pack
  // together, compared in that order.
  for (const Row& row : kRows) {
    if (std::tie(v.major, v.minor, v.service_pack_major) >=
        std::tie(row.major, row.minor, row.service_pack)) {
      return row.name;
    }
  }
  return kUnknownOsName;
}

bool ProductNeedsGpuOff(const WindowsVersion& v) {
  return std::tie(v.major, v.minor) < std::make_tuple(6u, 2u);
}

}  // namespace corvane
