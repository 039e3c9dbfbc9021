#pragma once

#include <string>

namespace corvane {

// Shows an error box with `text` under the caption `title` (both UTF-8) and
// waits until the user dismisses it. False, showing nothing, without a
// display.
bool ShowErrorAlert(const std::string& title, const std::string& text);

}  // namespace corvane
