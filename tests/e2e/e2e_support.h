#pragma once

// The built installer on a private Xvfb, driven with real input, against the
// reference vendor service, with the demo package and product.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/app/app_test_support.h"
#include "tests/ui/linux/desktop_process_support.h"
#include "tools/window_driver/installer_pages.h"
#include "tools/window_driver/window_driver.h"

namespace e2e {

using window_driver::Page;
using window_driver::PageState;
using window_driver::Picture;
using window_driver::Rect;
using window_driver::SkinLayout;
using window_driver::TopLevel;

// Screen pictures and the inspector's agree to the byte in every colour
// channel except for this much (text anti-aliasing is the same code on both
// sides; the margin only absorbs rounding of blended pixels).
constexpr int kTolerance = 2;

class InstallerE2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the vendor service with `options` (before the installer).
  void StartService(const std::vector<std::string>& options = {});
  // Starts the installer at `scale` percent (by Xft.dpi) and waits for its
  // window; `extra` are more command-line arguments.
  std::unique_ptr<app_test::InstallerProcess> StartInstaller(
      int scale = 100, const std::vector<std::string>& extra = {});
  std::optional<TopLevel> MainWindow(pid_t pid, int timeout_ms = 20000);
  // The main window once it shows the welcome page.
  std::optional<TopLevel> WelcomeWindow(const app_test::InstallerProcess& installer);
  // A window of `pid` that is not the main window (the message box).
  std::optional<TopLevel> OtherWindow(pid_t pid, int timeout_ms = 10000);
  // The window once its geometry stopped changing.
  std::optional<TopLevel> Settled(const TopLevel& window);

  const SkinLayout& Layout(const PageState& state);
  const SkinLayout& BoxLayout();
  // Clicks the centre of a control of `layout` in `window`.
  void ClickControl(const TopLevel& window, const SkinLayout& layout, const std::string& name);
  // Clicks a button of the message box, placed from the box's bottom (the
  // box grows with its text).
  void ClickBoxButton(const TopLevel& box, const std::string& name);
  // Waits until the window shows the page of `state` in control `name`'s area.
  bool WaitForControl(const TopLevel& window, const PageState& state, const std::string& name,
                      int timeout_ms);
  // The first of `states` the control shows (its index), -1 after the timeout.
  int WaitForAnyOf(const TopLevel& window, const std::vector<PageState>& states,
                   const std::string& name, int timeout_ms);
  // Waits until a window is gone.
  bool WaitUntilGone(const TopLevel& window, int timeout_ms = 3000);
  // Differing pixels between the window and the inspector's picture, after
  // the pointer left it; the screenshot is kept under `shot_name`.
  int CompareWithInspector(const TopLevel& window, const PageState& state,
                           const std::string& shot_name, const std::vector<Rect>& ignore = {});
  void KeepShot(const Picture& picture, const std::string& name);
  // Registers a browser for http and https addresses in the test's XDG
  // folders (desktop file and default application); returns the file where
  // it records each address it is asked to open.
  std::string RegisterFakeBrowser();

  std::string install_dir() const { return install_dir_; }
  std::string product_log() const { return env_.dir().Sub("product.log"); }
  std::string product_name() const { return product_name_; }

  app_test::ScopedUserEnvironment env_;
  std::unique_ptr<app_test::VendorService> service_;
  window_driver::XSession x_;
  int scale_ = 100;
  std::string display_;

 private:
  std::string install_dir_;
  std::string product_name_;
  std::map<std::string, SkinLayout> layouts_;
  std::optional<SkinLayout> box_layout_;
};

// The addresses recorded once there are `count` of them (up to 5 s).
std::vector<std::string> OpenedAddresses(const std::string& record, size_t count);
// Process ids whose parent is `pid`.
std::vector<pid_t> ChildrenOf(pid_t pid);
bool ProcessAlive(pid_t pid);

}  // namespace e2e
