#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/system/single_instance.h"
#include "base/framework_thread.h"

namespace corvane {

// A worker framework thread that registers itself under its identifier for
// the time its loop runs.
class MiscThread : public nbase::FrameworkThread {
 public:
  MiscThread(int identifier, std::string name);
  ~MiscThread() override;
  int identifier() const { return identifier_; }

 protected:
  void Init() override;
  void Cleanup() override;

 private:
  int identifier_;
};

// The steps of start-up that reach outside this thread's own work; tests and
// the main window replace them.
struct StartupHooks {
  // Another installer holds the single-instance lock: true to try again.
  std::function<bool()> ask_retry_second_instance;
  // The system DPI, and the UI library's scale in percent (100 when off).
  std::function<int()> system_dpi;
  std::function<int()> scale_percent;
  // Opens the skin archive and starts the resource manager on the theme
  // folder; false when the skin could not be opened.
  std::function<bool(const std::wstring& theme_folder)> start_skin;
  std::function<void()> stop_skin;
  // Creates and shows the main window (last step of Init).
  std::function<void()> create_main_window;
  // The statistics uploads (and the HTTP library's start) wait for the main
  // window's first frame, which releases them (at most 2 s).
  bool uploads_wait_for_first_frame = false;
};

// The hooks of the windowed program: the retry prompt, the UI library's DPI,
// the THEME resource.
StartupHooks DefaultStartupHooks();

// The second-instance prompt ("重试" / "取消"); true for retry. Cancel where
// nobody can be asked.
bool AskRetrySecondInstance();

// "themes/default" up to 100 DPI, "themes/default-hdpi" up to 131,
// "themes/default-xhdpi" above.
std::wstring ThemeFolderForDpi(int dpi);

// Opens the THEME resource as the skin archive and starts the resource
// manager on `theme_folder`. Returns false (and starts the manager on the
// folder on disk) when the resource is absent or not a readable archive.
bool OpenThemeArchiveAndStartManager(const std::wstring& theme_folder);

// Decodes the main window's pictures of the opened skin archive on the misc
// thread (its own, then the shared ones its classes use), for a start that
// shows the window.
void PrefetchMainWindowPictures(const std::wstring& theme_folder);

// The installer's UI thread: the process's initial thread, identifier 0.
class MainThread : public nbase::FrameworkThread {
 public:
  explicit MainThread(StartupHooks hooks = DefaultStartupHooks());
  ~MainThread() override;

  // True when start-up ended because the user cancelled the second-instance
  // prompt; nothing else was started then.
  bool cancelled_as_second_instance() const { return cancelled_; }
  bool skin_opened() const { return skin_opened_; }
  MiscThread* misc_thread() const { return misc_thread_.get(); }
  MiscThread* http_thread() const { return http_thread_.get(); }

 protected:
  void Init() override;
  void Cleanup() override;

 private:
  void WaitForWorkers();

  // Declared in this order so the http thread is destroyed (stopped and
  // joined) first, then the misc thread.
  std::unique_ptr<MiscThread> misc_thread_;
  std::unique_ptr<MiscThread> http_thread_;
  StartupHooks hooks_;
  corvane::SingleInstanceLock instance_lock_;
  bool cancelled_ = false;
  bool skin_opened_ = false;
};

}  // namespace corvane
