#pragma once

#include <string>

namespace corvane {

// True where a user can answer a box: a display on Linux, an interactive
// (visible) window station on Windows. Unattended runs have none.
bool HasInteractiveSession();

// Shows an error box with `text` under the caption `title` (both UTF-8) and
// waits until the user dismisses it. False, showing nothing, without a
// display.
bool ShowErrorAlert(const std::string& title, const std::string& text);

// Asks "retry or cancel" with a warning box; true for retry. False, showing
// nothing, where there is nobody to ask (no display or interactive session).
bool AskRetryOrCancel(const std::string& title, const std::string& text);

}  // namespace corvane
