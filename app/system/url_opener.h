#pragma once

#include <string>

namespace corvane {

// Opens `uri` with the desktop's default handler (GIO); when there is none or
// it fails, runs "xdg-open uri". False when neither could be started.
bool LaunchUri(const std::string& uri);

}  // namespace corvane
