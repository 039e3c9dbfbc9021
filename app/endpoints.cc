#include "app/endpoints.h"

#include <cstdlib>

#include <glib.h>

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
  for (const char* scheme : {"http://", "https://"}) {
    const size_t length = std::char_traits<char>::length(scheme);
    if (address.size() > length && g_ascii_strncasecmp(address.c_str(), scheme, length) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace corvane
