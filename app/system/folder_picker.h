#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ui {
class NativeWindow;
}

namespace corvane {

// Asks the user for a folder without blocking the UI loop.
class FolderPicker {
 public:
  // The chosen folder as file-system bytes, or nullopt when cancelled.
  using Done = std::function<void(std::optional<std::string> folder)>;

  virtual ~FolderPicker() = default;
  // Shows a chooser modal to `owner`, titled `title` (UTF-8), opened at
  // `start_folder`. `done` runs once, later, on the UI thread. False when no
  // chooser can be shown here; `done` is then never called.
  virtual bool Pick(ui::NativeWindow* owner, const std::string& title,
                    const std::string& start_folder, Done done) = 0;
};

// The desktop's folder chooser. On Linux GtkFileChooserNative in
// select-folder mode (a sandboxed desktop gets its portal, elsewhere GTK's
// own dialog); on Windows the shell's folder dialog. It shows nothing
// without a desktop or over a window that is not one of the desktop's.
std::unique_ptr<FolderPicker> MakeDesktopFolderPicker();

// `folder` + "/brightmoor/corvane": the product always gets its own folder
// under the chosen one.
std::string ProductFolderUnder(const std::string& folder);

}  // namespace corvane
