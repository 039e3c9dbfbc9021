#pragma once

// The installer's pages as the skin inspector paints them: the same skin
// archive (read from the installer binary), theme and scale as the window.

#include <optional>
#include <string>
#include <vector>

#include "tools/window_driver/window_driver.h"

namespace window_driver {

enum class Page { kWelcome, kWelcomeCustomize, kInstalling, kInstalled, kFailed };

struct PageState {
  PageState(Page shown = Page::kWelcome, int shown_percent = 0, bool hint = false)
      : page(shown), percent(shown_percent), slow_hint(hint) {}
  Page page;
  int percent;            // installing: the progress shown
  bool slow_hint;         // installing: the slow-download hint shown
  bool agreement = true;  // welcome: the agreement box ticked
  std::string directory;  // the install directory shown, when not empty
  int tabs = 0;           // Tab presses since the window opened: the focus ring
};

// The theme folder the installer picks for a scale in percent (by its DPI).
std::string ThemeForScale(int scale);
// The scale of a main window from its width (600 at 100 %, shadow or not).
int ScaleOfMainWindow(int width);

// Inspector arguments for basic/basic.xml in `state` (`installer` as the
// inspector names it).
std::vector<std::string> MainWindowArgs(const std::string& installer, int scale,
                                        const PageState& state);
// The skin archive of `installer` (a file of this machine) laid out by
// `inspector`, which may be a Windows program under Wine.
std::optional<SkinLayout> InspectMainWindow(const Program& inspector, const std::string& installer,
                                            int scale, const PageState& state, std::string* error);
std::optional<SkinLayout> InspectMessageBox(const Program& inspector, const std::string& installer,
                                            int scale, std::string* error);

// Root coordinates of a skin rectangle inside a window showing that skin.
Rect ToScreen(const TopLevel& window, const SkinLayout& layout, const Rect& skin_rect);

}  // namespace window_driver
