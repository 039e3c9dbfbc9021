#pragma once

#include <string>

namespace corvane {

// The vendor endpoints: build-time defaults, each overridden at run time by
// the environment variable of the same name when that is set and not empty.
std::string PackageBaseUrl();  // CORVANE_PACKAGE_BASE_URL
std::string StatisticsUrl();   // CORVANE_STATISTICS_URL
std::string AgreementUrl();    // CORVANE_AGREEMENT_URL

// True for an http:// or https:// address (scheme in any letter case). The
// installer fetches, posts to and opens nothing else: an override or a
// redirect to file://, ftp:// and the like is refused.
bool IsWebAddress(const std::string& address);

}  // namespace corvane
