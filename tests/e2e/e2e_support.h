#pragma once

// The built installer on a private Xvfb, driven with real input, against the
// reference vendor service, with the demo package and product: the Linux
// build's, or the Windows build's under Wine (whose windows are X windows).

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
using window_driver::Program;
using window_driver::Rect;
using window_driver::SkinLayout;
using window_driver::TopLevel;

enum class Target { kLinux, kWindows };
std::string TargetName(Target target);
// Test names: "Linux", "Windows".
std::string TargetParamName(const ::testing::TestParamInfo<Target>& info);

// What the suite runs of one target's build.
struct TargetBuild {
  Target target = Target::kLinux;
  std::string dir;        // the build folder
  std::string installer;  // the installer binary (a file of this machine)
  Program installer_program;
  Program inspector;
  std::string demo_package;
  std::string demo_product;
  std::string signing_key;  // the demo key the installer is stamped for

  static TargetBuild Of(Target target);
  // How the target's programs name a file of this machine.
  std::string FileName(const std::string& unix_path) const { return inspector.FileName(unix_path); }
  // False, saying why, when the build or Wine is missing here.
  bool Available(std::string* why) const;
  // A program of this target (the demo product, a copy of the installer).
  Program ProgramAt(const std::string& path) const;
};

// Screen pictures and the inspector's agree to the byte in every colour
// channel except for this much (text anti-aliasing is the same code on both
// sides; the margin only absorbs rounding of blended pixels).
constexpr int kTolerance = 2;

class InstallerE2eTest : public ::testing::Test {
 protected:
  explicit InstallerE2eTest(Target target) : target_(TargetBuild::Of(target)) {}
  void SetUp() override;
  void TearDown() override;

  // Starts the vendor service with `options` (before the installer).
  void StartService(const std::vector<std::string>& options = {});
  // Starts the installer at `scale` percent (by Xft.dpi) and waits for its
  // window; `extra` are more command-line arguments.
  std::unique_ptr<app_test::InstallerProcess> StartInstaller(
      int scale = 100, const std::vector<std::string>& extra = {});
  // The same with another installer binary of the target (a re-stamped copy).
  std::unique_ptr<app_test::InstallerProcess> StartInstallerFile(
      const std::string& installer, int scale = 100, const std::vector<std::string>& extra = {});
  // Starts the target's demo product as a running product under `name`.
  std::unique_ptr<ui::ChildProcess> StartRunningProduct(const std::string& name);
  // A copy of the target's installer whose THEME resource holds `archive`.
  std::string InstallerWithTheme(const std::string& archive);
  std::optional<TopLevel> MainWindow(pid_t pid, int timeout_ms = 20000);
  // The main window once it shows the welcome page.
  std::optional<TopLevel> WelcomeWindow(const app_test::InstallerProcess& installer);
  // A window of `pid` that is not the main window (the message box).
  std::optional<TopLevel> OtherWindow(pid_t pid, int timeout_ms = 10000);
  // The window once its geometry stopped changing.
  std::optional<TopLevel> Settled(const TopLevel& window);

  // The inspector's layout of the skin archive of the installer last started.
  const SkinLayout& Layout(const PageState& state);
  // The smallest number of Tab presses that puts the keyboard focus of the
  // page on control `name` (the inspector's --tab), -1 when none up to 12.
  int TabsTo(const PageState& state, const std::string& name);
  // Puts the pointer on a spot of the window where it touches no control:
  // where there is no window manager, keys go to the window under it.
  void PointerInto(const TopLevel& window);
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
  // folders (desktop file and default application) and as xdg-open on the
  // search path (where Wine's browser bridge goes); returns the file where
  // it records each address it is asked to open.
  std::string RegisterFakeBrowser();

  std::string install_dir() const { return install_dir_; }
  // The install folder as the installer names it.
  std::string install_dir_shown() const { return target_.FileName(install_dir_); }
  std::string product_log() const { return env_.dir().Sub("product.log"); }
  std::string product_name() const { return product_name_; }
  // The package address the installer was given (the offline link adds to it).
  std::string package_base_url() const { return package_base_url_; }

  const TargetBuild target_;
  app_test::ScopedUserEnvironment env_;
  std::unique_ptr<app_test::VendorService> service_;
  window_driver::XSession x_;
  int scale_ = 100;
  std::string display_;

 private:
  void SetScale(int scale);

  std::string install_dir_;
  std::string product_name_;
  std::string package_base_url_;
  // The installer binary whose skin archive the layouts come from.
  std::string skin_source_;
  std::map<std::string, SkinLayout> layouts_;
  std::optional<SkinLayout> box_layout_;
};

// The addresses recorded once there are `count` of them (up to 5 s).
std::vector<std::string> OpenedAddresses(const std::string& record, size_t count);
// Process ids whose parent is `pid`.
std::vector<pid_t> ChildrenOf(pid_t pid);
bool ProcessAlive(pid_t pid);

}  // namespace e2e
