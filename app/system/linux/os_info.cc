#include "app/system/os_info.h"

#include <sys/utsname.h>

#include <fstream>

namespace corvane {

std::string ReadOsName(const std::string& os_release_path) {
  std::ifstream in(os_release_path);
  std::string line;
  const std::string key = "PRETTY_NAME=";
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return value.empty() ? kUnknownOsName : value;
  }
  return kUnknownOsName;
}

bool Is64BitMachine() {
  utsname u;
  if (uname(&u) != 0) return sizeof(void*) == 8;
  const std::string m = u.machine;
  return m.find("64") != std::string::npos || m == "s390x";
}

bool ProductLaunchNeedsGpuOff() {
  return false;
}

std::string StatisticsOsField() {
  return "linux";
}

}  // namespace corvane
