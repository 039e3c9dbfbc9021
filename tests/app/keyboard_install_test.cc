// The installer operated with the keyboard alone: the real main window and message box on
// GTK under the tests' X server, real keys through XTest, the reference vendor service.

#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/msg_box.h"
#include "tests/app/main_window_fixture.h"
#include "ui/control/check_box.h"

// Last: the X headers define macros that clash with names above.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include "tests/ui/linux/gtk_test_support.h"

namespace corvane {
namespace {

using app_test::VendorService;

class KeyboardInstallTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    if (!ui::InitGtkForTest()) GTEST_SKIP() << "no private X server (Xvfb)";
    MainWindowFixture::SetUp();
    presenter_ = [this](CMainWindow* owner, const std::wstring& content, const std::wstring& title,
                        const std::wstring& confirm, const std::wstring& cancel,
                        std::function<void(int)> on_result) {
      box_ = ShowMsgBox(
          owner,
          [this, on_result](int answer) {
            answers_.push_back(answer);
            box_ = nullptr;
            on_result(answer);
          },
          content, false, title, false, confirm, false, cancel, false);
      if (!box_) return;
      ++open_boxes_;
      box_->AttachWindowEvent(ui::kEventWindowClose, [this](const ui::EventArgs&) {
        --open_boxes_;
        return true;
      });
    };
  }

  // Starts the installer with its main window on GTK, waits until the window has the
  // keyboard, then runs `script` on the UI thread; the loop ends on Finish, when the window
  // ends the process, or after 40 s.
  void Run(const std::function<void()>& script) { RunMainWindow(script, nullptr, 40); }

  void StartScript(const std::function<void()>& script) override {
    When([this] { return HasKeyboard(window_.get()); }, script);
  }
  // The box fading out is gone before the loop ends: nothing of it outlives the test.
  void OnProcessEnd() override {
    When([this] { return open_boxes_ == 0; }, [this] { Finish(); });
  }
  void AfterRun() override { ui::PumpFor(50); }

  // A real key press and release; the running UI loop receives them.
  static void Key(unsigned long keysym, unsigned long modifier = 0) {
    Display* display = ui::TestXDisplay();
    auto send = [display](unsigned long sym, bool press) {
      XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), press, CurrentTime);
    };
    if (modifier) send(modifier, true);
    send(keysym, true);
    send(keysym, false);
    if (modifier) send(modifier, false);
    XFlush(display);
  }

  static bool HasKeyboard(ui::Window* window) {
    ui::NativeWindow* native = window ? window->GetNativeWindow() : nullptr;
    return native && native->IsValid() && native->HasFocus() && native->IsEnabled();
  }

  static std::string FocusName(ui::Window* window) {
    ui::Control* focus = window->GetFocus();
    return focus ? nbase::WideToUTF8(focus->GetName()) : "<none>";
  }

  // Presses Tab (Shift+Tab when `backward`) in `window` until the focus is on `name`,
  // recording each stop in `visited_`; gives up after `presses` keys.
  void TabTo(ui::Window* window, const std::string& name, int presses, std::function<void()> then,
             bool backward = false) {
    ui::Control* before = window->GetFocus();
    Key(XK_Tab, backward ? XK_Shift_L : 0);
    When([window, before] { return window->GetFocus() != before; },
         [=, this] {
           visited_.push_back(FocusName(window));
           if (visited_.back() == name) {
             then();
           } else if (presses > 1) {
             TabTo(window, name, presses - 1, then, backward);
           } else {
             ADD_FAILURE() << "Tab never reached " << name;
             Finish();
           }
         });
  }

  ui::CheckBox* Agreement() {
    return dynamic_cast<ui::CheckBox*>(window_->FindControl(std::wstring(L"checkbox_agreement")));
  }
  ui::Control* InstallButton() { return window_->FindControl(std::wstring(L"btn_startinstall")); }

  MsgBox* box_ = nullptr;
  std::vector<int> answers_;
  int open_boxes_ = 0;
  std::vector<std::string> visited_;
};

TEST_F(KeyboardInstallTest, TabSpaceAndEnterInstallAndStartTheProduct) {
  VendorService service({"--package", app_test::DemoPackagePath(), "--delay", "0.3"});
  ASSERT_TRUE(service.ok());
  service.UseForInstaller(&env_);
  std::vector<std::string> to_agreement, around_disabled, to_install, to_start;
  bool unchecked_disables = false;
  Run([&] {
    ASSERT_TRUE(Agreement()->IsSelected());
    TabTo(window_.get(), "checkbox_agreement", 8, [&] {
      to_agreement.swap(visited_);
      Key(XK_space);
      When([&] { return !Agreement()->IsSelected(); },
           [&] {
             unchecked_disables = !InstallButton()->IsEnabled();
             // Round once: the disabled install button is no stop.
             TabTo(window_.get(), "checkbox_agreement", 8, [&] {
               around_disabled.swap(visited_);
               Key(XK_space);
               When([&] { return Agreement()->IsSelected() && InstallButton()->IsEnabled(); },
                    [&] {
                      TabTo(window_.get(), "btn_startinstall", 8, [&] {
                        to_install.swap(visited_);
                        Key(XK_Return);
                        When([&] { return Shown(L"installedpage"); },
                             [&] {
                               TabTo(window_.get(), "btn_startapp", 4, [&] {
                                 to_start.swap(visited_);
                                 Key(XK_Return);
                               });
                             });
                      });
                    });
             });
           });
    });
  });
  EXPECT_EQ(to_agreement,
            (std::vector<std::string>{"btn_exit", "btn_startinstall", "checkbox_agreement"}));
  EXPECT_TRUE(unchecked_disables);
  EXPECT_EQ(around_disabled,
            (std::vector<std::string>{"btn_useragreement", "btn_customize", "btn_expand",
                                      "btn_exit", "checkbox_agreement"}));
  EXPECT_EQ(to_install, (std::vector<std::string>{"btn_useragreement", "btn_customize",
                                                  "btn_expand", "btn_exit", "btn_startinstall"}));
  // The install page's controls were never stops; on the installed page the exit button
  // comes first, then the start button.
  EXPECT_EQ(to_start, (std::vector<std::string>{"btn_exit", "btn_startapp"}));
  EXPECT_EQ(process_ends_, 1);
  EXPECT_TRUE(app_test::ReadFile(install_dir_ + "/corvane.exe") ==
              app_test::ReadFile(app_test::DemoProductPath()));
  ASSERT_TRUE(service.WaitForStatistics(5));
  EXPECT_EQ(app_test::StatisticsEventIds(service),
            (std::vector<std::string>{"AppStart", "OnClick", "DownloadTimeCost", "InstallTimeCost",
                                      "InstallResultReport"}));
  EXPECT_EQ(app_test::WaitForStartRecords(env_.dir().Sub("product.log")).size(), 1u);
}

TEST_F(KeyboardInstallTest, ExitBoxAnswersEscapeAsCancelAndEnterAsItsFocusedButton) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  ASSERT_TRUE(service.ok());
  service.UseForInstaller(&env_);
  std::vector<std::string> in_box;
  bool owner_disabled = false;
  bool welcome_after_cancel = false;
  Run([&] {
    TabTo(window_.get(), "btn_exit", 1, [&] {
      Key(XK_Return);
      When([&] { return box_ && HasKeyboard(box_); },
           [&] {
             owner_disabled = !window_->GetNativeWindow()->IsEnabled();
             // The box gives its confirm button the focus; Tab and Shift+Tab move in the box.
             in_box.push_back(FocusName(box_));
             visited_.clear();
             TabTo(box_, "btn_no", 1, [&] {
               TabTo(
                   box_, "btn_yes", 1,
                   [&] {
                     in_box.insert(in_box.end(), visited_.begin(), visited_.end());
                     visited_.clear();
                     Key(XK_Escape);
                     When([&] { return answers_.size() == 1 && HasKeyboard(window_.get()); },
                          [&] {
                            welcome_after_cancel = Shown(L"welcompage") && process_ends_ == 0;
                            // The exit button kept the focus: Enter opens the box again, and
                            // Enter there answers with the focused confirm button.
                            Key(XK_Return);
                            When([&] { return box_ && HasKeyboard(box_); },
                                 [&] { Key(XK_Return); });
                          });
                   },
                   true);
             });
           });
    });
  });
  EXPECT_TRUE(owner_disabled);
  EXPECT_EQ(in_box, (std::vector<std::string>{"btn_yes", "btn_no", "btn_yes"}));
  EXPECT_TRUE(welcome_after_cancel);
  EXPECT_EQ(answers_, (std::vector<int>{kMsgBoxNo, kMsgBoxYes}));
  EXPECT_EQ(process_ends_, 1);
}

}  // namespace
}  // namespace corvane
