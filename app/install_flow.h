#pragma once

#include <functional>
#include <string>

#include "app/package_download.h"
#include "base/callback.h"

namespace corvane {

// Install states.
enum InstallState {
  kInstallNothing = 0,
  kInstallDownloading = 1,
  kInstallRunning = 2,
  kInstallDone = 3,
  kInstallFailed = 4,
  kInstallWaitingForProduct = 5,
};

// What the installation shows; the main window implements it (tests use a
// recording one). The flow has already stored and reported everything when
// these are called: they only draw.
class InstallView {
 public:
  virtual ~InstallView() = default;
  virtual void UpdateProgress(int value) = 0;
  virtual void ShowInstallSuccess() = 0;
  virtual void ShowInstallFailure(const std::wstring& message) = 0;
  // A box owned by the window; `on_result` later receives 0 for the confirm
  // button, 1 for cancel or close.
  virtual void ShowMessageBox(const std::wstring& content, const std::wstring& title,
                              const std::wstring& confirm, const std::wstring& cancel,
                              std::function<void(int)> on_result) = 0;
  // Closing the main window ends the process.
  virtual void CloseWindow() = 0;
};

// The installation's state and actions, without drawing: download on thread
// 2, product check, package run on thread 2, outcome on thread 0. Lives on
// thread 0; every result comes back as a weak callback, so results for a
// flow that is gone are dropped.
class InstallFlow : public nbase::SupportWeakCallback {
 public:
  // Composes channel, download address and package path (creating the
  // package folder) and the install directory.
  explicit InstallFlow(InstallView* view);

  int install_state() const { return install_state_; }
  const DownloadSettings& settings() const { return settings_; }
  const std::wstring& install_directory() const { return install_directory_; }
  void set_install_directory(const std::wstring& dir) { install_directory_ = dir; }
  // The process name looked for before the package runs (ProductProcessName).
  void set_product_process_name(const std::string& name) { product_process_name_ = name; }

  // Install or reinstall click: state 1, progress 10, download, "OnClick".
  void BeginInstall(const std::wstring& click_source);
  // Posts the download to thread 2.
  void StartDownload();
  void OnDownloadFinished(const std::wstring& package_path, int code);
  void CheckProductRunning();
  void OnInstallFinished(int code);
  // Starts the installed product, then closes the window.
  void StartProduct();

  bool OpenAgreementPage();
  bool OpenOfflinePackagePage();

 private:
  void Succeed();
  void Fail(const std::wstring& message);

  InstallView* view_;
  DownloadSettings settings_;
  std::wstring install_directory_;
  std::string product_process_name_;
  int install_state_ = kInstallNothing;
};

// The process name looked for before the package runs: "corvane.exe", or
// the environment variable CORVANE_PRODUCT_PROCESS_NAME when set and not
// empty (so that installers tested side by side do not see each other's
// product).
std::string ProductProcessName();

// The program-files folder + "/brightmoor/corvane", or a non-empty
// "installPath" argument verbatim. Both keep their file-system bytes
// (nbase::NativePathToWide), so a name that is not UTF-8 reaches the package
// unchanged.
std::wstring DefaultInstallDirectory();

}  // namespace corvane
