#pragma once

#include <string>

// The vendor endpoints: build-time defaults, each overridden at run time by
// the environment variable of the same name when that is set and not empty.
std::string PackageBaseUrl();  // CORVANE_PACKAGE_BASE_URL
std::string StatisticsUrl();   // CORVANE_STATISTICS_URL
std::string AgreementUrl();    // CORVANE_AGREEMENT_URL
