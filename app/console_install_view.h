#pragma once

#include <memory>

#include "app/install_flow.h"

namespace corvane {

// Exit statuses of the unattended installer.
inline constexpr int kExitInstalled = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitAnotherInstance = 2;

// A text stand-in for the main window: prints the installation's progress
// and outcome (the exit status tells it), answers the product-running box with "cancel", starts the
// product after a success and ends the process like a closed window.
class ConsoleInstallView : public InstallView {
 public:
  void set_flow(InstallFlow* flow) { flow_ = flow; }

  void UpdateProgress(int value) override;
  void ShowInstallSuccess() override;
  void ShowInstallFailure(const std::wstring& message) override;
  void ShowMessageBox(const std::wstring& content, const std::wstring& title,
                      const std::wstring& confirm, const std::wstring& cancel,
                      std::function<void(int)> on_result) override;
  void CloseWindow() override;

 private:
  InstallFlow* flow_ = nullptr;
  bool failed_ = false;
};

// The unattended run's start on `console`: the flow, a line on standard error
// when no vendor key is stamped in (the package then runs unchecked), and the
// installation.
std::unique_ptr<InstallFlow> BeginUnattendedInstall(ConsoleInstallView* console);

}  // namespace corvane
