#pragma once

#include <optional>
#include <string>
#include <utility>

namespace app_test {

// The built skin archive (build/resources/theme.zip) as bytes.
std::string BuiltThemeArchive();

// The middle of control `name` of the main window on the welcome page, in
// window coordinates, as the installer lays it out at 100 % on a desktop
// without compositing (Xvfb). nullopt when the skin lacks it. Starts and
// shuts down the global manager: call it before or after a test's own skin.
std::optional<std::pair<int, int>> MainWindowControlCenter(const std::wstring& name);

}  // namespace app_test
