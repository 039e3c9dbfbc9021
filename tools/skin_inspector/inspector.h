#pragma once

// The skin inspector's parts: the options, the headless picture and tree,
// and the skin in a real window (--show), which each target opens on its
// own desktop.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/geometry/geometry.h"
#include "ui/host/window_impl_base.h"

namespace inspector {

struct Options {
  std::string resources;
  std::string installer;
  std::string theme = "themes/default";
  std::string lang = "lang/zh_CN";
  int scale = 100;
  bool theme_given = false;
  bool scale_given = false;
  bool show = false;
  bool watch = false;
  int tabs = 0;
  ui::CSize size;
  std::string png;
  std::string skin;
  struct Setting {
    std::string name;
    std::string attribute;
    std::string value;
  };
  std::vector<Setting> settings;
};

// The program's arguments (argv[0] left out) in UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);
std::optional<Options> ParseOptions(const std::vector<std::string>& args);

// Builds, lays out and paints the skin headlessly: prints the tree, writes
// the picture. With o.show only the checks run (nothing is printed but
// missing pictures). 0 on success, 1 when the skin does not build.
int Inspect(const Options& o);

// The skin in a real window of this target's desktop, rebuilt in place on
// changes with --watch. The theme and scale follow the desktop's DPI unless
// given.
int Show(Options o);
// The desktop's DPI picks theme and scale when the options do not.
void ApplyDesktopDpi(Options* o, int dpi);

// The skin in a real window. Clicks on named controls are printed, so that
// scripts can check that input reaches the controls.
class InspectorWindow : public ui::WindowImplBase {
 public:
  InspectorWindow(std::wstring folder, std::wstring file, std::function<void()> on_gone)
      : folder_(std::move(folder)), file_(std::move(file)), on_gone_(std::move(on_gone)) {}

  std::wstring GetSkinFolder() override { return folder_; }
  std::wstring GetSkinFile() override { return file_; }
  std::wstring GetWindowClassName() const override { return L"SkinInspector"; }
  void InitWindow() override;
  void OnInitLayout() override;
  void OnFinalMessage() override;

  void Forget() { on_gone_ = nullptr; }

 private:
  std::wstring folder_;
  std::wstring file_;
  std::function<void()> on_gone_;
};

// The skin's folder ("basic/") and file ("basic.xml") of a skin path.
std::wstring SkinFolder(const std::string& skin);
std::wstring SkinFile(const std::string& skin);

// The skin's one window on the desktop, built anew in place when the skin
// changes.
class Preview {
 public:
  // `on_closed` runs when the user closed the window.
  Preview(const Options& o, std::function<void()> on_closed)
      : o_(o), on_closed_(std::move(on_closed)) {}
  ~Preview();
  Preview(const Preview&) = delete;
  Preview& operator=(const Preview&) = delete;

  // Builds, centres and shows the window; false, saying why, when the skin
  // does not build.
  bool Open();
  // A new window where the old one stands; when the skin does not build,
  // says why and keeps the old one (false).
  bool Rebuild(std::wstring* error);
  // Where the window stands (or stood).
  const ui::UiRect& place() const { return place_; }

 private:
  bool Build(const ui::UiRect* place, std::wstring* error);

  const Options& o_;
  std::function<void()> on_closed_;
  InspectorWindow* window_ = nullptr;
  ui::UiRect place_;
};

}  // namespace inspector
