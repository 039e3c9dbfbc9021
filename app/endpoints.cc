#include "app/endpoints.h"

#include <cstdlib>

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
