#include "tools/window_driver/installer_pages.h"

namespace window_driver {

std::string ThemeForScale(int scale) {
  const int dpi = scale * 96 / 100;
  if (dpi <= 100) return "themes/default";
  if (dpi <= 131) return "themes/default-hdpi";
  return "themes/default-xhdpi";
}

int ScaleOfMainWindow(int width) {
  for (int scale : {100, 125, 150, 175, 200, 225, 250, 300}) {
    const int plain = 600 * scale / 100;
    // The shadow adds 14 px a side at 100 %; an uncomposited screen drops it.
    if (width == plain || width == plain + 2 * (14 * scale / 100)) return scale;
  }
  return 100;
}

std::vector<std::string> MainWindowArgs(const std::string& installer, int scale,
                                        const PageState& state) {
  std::vector<std::string> args = {"--installer",        installer, "--theme",
                                   ThemeForScale(scale), "--scale", std::to_string(scale)};
  auto set = [&args](const char* name, const std::string& assignment) {
    args.insert(args.end(), {"--set", name, assignment});
  };
  const bool welcome = state.page == Page::kWelcome || state.page == Page::kWelcomeCustomize;
  if (!welcome) set("welcompage", "visible=false");
  switch (state.page) {
    case Page::kWelcome:
      break;
    case Page::kWelcomeCustomize: {
      set("customizebar", "visible=true");
      set("btn_expand", "bkimage=icon_up.png");
      // The window grows by the bar; the inspector's size is without shadow
      // growth, so name it whole.
      const int shadow = 14 * scale / 100;
      args.insert(args.end(), {"--size", std::to_string(600 * scale / 100 + 2 * shadow) + "x" +
                                             std::to_string(448 * scale / 100 + 2 * shadow)});
      break;
    }
    case Page::kInstalling:
      set("installpage", "visible=true");
      set("btn_exit", "visible=false");
      set("progress_install", "value=" + std::to_string(state.percent));
      set("progress_install_value",
          "text=正在安装，请不要关闭：" + std::to_string(state.percent) + "%");
      if (state.slow_hint) set("downloadAlert", "visible=true");
      break;
    case Page::kInstalled:
      set("installedpage", "visible=true");
      break;
    case Page::kFailed:
      set("installfaildpage", "visible=true");
      break;
  }
  if (!state.directory.empty()) set("edit_installdir", "text=" + state.directory);
  if (!state.agreement) {
    set("checkbox_agreement", "selected=false");
    set("btn_startinstall", "enabled=false");
  }
  if (state.tabs > 0) args.insert(args.end(), {"--tab", std::to_string(state.tabs)});
  args.push_back("basic/basic.xml");
  return args;
}

std::optional<SkinLayout> InspectMainWindow(const Program& inspector, const std::string& installer,
                                            int scale, const PageState& state, std::string* error) {
  return SkinLayout::Inspect(inspector, MainWindowArgs(inspector.FileName(installer), scale, state),
                             error);
}

std::optional<SkinLayout> InspectMessageBox(const Program& inspector, const std::string& installer,
                                            int scale, std::string* error) {
  return SkinLayout::Inspect(
      inspector,
      {"--installer", inspector.FileName(installer), "--theme", ThemeForScale(scale), "--scale",
       std::to_string(scale), "msgbox/msgbox.xml"},
      error);
}

Rect ToScreen(const TopLevel& window, const SkinLayout& layout, const Rect& skin_rect) {
  const int offset = layout.OffsetFor(window.rect.width());
  return skin_rect.Offset(window.rect.left + offset, window.rect.top + offset);
}

}  // namespace window_driver
