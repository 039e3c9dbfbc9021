#include "app/endpoints.h"

#include <cstdlib>
#include <string_view>

namespace corvane {

namespace {

std::string FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return (value && *value) ? value : fallback;
}

}  // namespace

std::string PackageBaseUrl() {
  return FromEnvironment("CORVANE_PACKAGE_BASE_URL", CORVANE_PACKAGE_BASE_URL);
}

std::string StatisticsUrl() {
  return FromEnvironment("CORVANE_STATISTICS_URL", CORVANE_STATISTICS_URL);
}

std::string AgreementUrl() {
  return FromEnvironment("CORVANE_AGREEMENT_URL", CORVANE_AGREEMENT_URL);
}

bool IsWebAddress(const std::string& address) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  for (const std::string_view scheme : {"http://", "https://"}) {
    if (address.size() <= scheme.size()) continue;
    bool same = true;
    for (size_t i = 0; i < scheme.size() && same; ++i) same = lower(address[i]) == scheme[i];
    if (same) return true;
  }
  return false;
}

}  // namespace corvane
