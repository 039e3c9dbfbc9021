// The main window's pages driven by real events on a headless native window,
// with start-up, the worker threads and the reference vendor service.

#include "app/main_window.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/machine_info.h"
#include "app/main_thread.h"
#include "app/msg_box.h"
#include "base/string_util.h"
#include "desktop_process_support.h"
#include "tests/app/app_test_support.h"
#include "tests/app/main_window_fixture.h"
#include "ui/control/check_box.h"
#include "ui/core/global_manager.h"
#include "ui/native/headless_window.h"

namespace corvane {
namespace {

using app_test::VendorService;

struct BoxRequest {
  std::wstring content, title, confirm, cancel;
  std::function<void(int)> on_result;
};

class AppMainWindowTest : public MainWindowFixture {
 protected:
  // Starts the installer with the main window on a headless native window,
  // then runs `script` on the UI thread; the loop ends when the script calls
  // Finish, the window ends the process, or after 30 s. The boxes are recorded
  // (answered by the test), or real ones on headless windows with real_boxes_.
  void Run(const std::function<void()>& script, int scale_percent = 100) {
    if (real_boxes_) {
      presenter_ = [this](CMainWindow* owner, const std::wstring& content,
                          const std::wstring& title, const std::wstring& confirm,
                          const std::wstring& cancel, std::function<void(int)> on_result) {
        box_ = ShowBox(owner, std::move(on_result), content, title, confirm, cancel);
      };
    } else {
      presenter_ = [this](CMainWindow* owner, const std::wstring& content,
                          const std::wstring& title, const std::wstring& confirm,
                          const std::wstring& cancel, std::function<void(int)> on_result) {
        EXPECT_EQ(owner, window_.get());
        boxes_.push_back({content, title, confirm, cancel, std::move(on_result)});
      };
    }
    auto native = std::make_unique<ui::HeadlessWindow>();
    headless_ = native.get();
    RunMainWindow(script, std::move(native), 30, scale_percent);
    headless_ = nullptr;
  }

  void StartScript(const std::function<void()>& script) override {
    Pump();
    script();
  }
  void PumpWindow() override { Pump(); }

  // Runs what the headless window queued and paints.
  void Pump() {
    headless_->RunPendingTasks();
    headless_->PaintPending();
  }

  // A box on a headless window over the main window, laid out.
  MsgBox* ShowBox(CMainWindow* owner, std::function<void(int)> on_result,
                  const std::wstring& content, const std::wstring& title,
                  const std::wstring& confirm, const std::wstring& cancel) {
    auto native = std::make_unique<ui::HeadlessWindow>();
    box_headless_ = native.get();
    MsgBox* box = ShowMsgBox(owner, std::move(on_result), content, false, title, false, confirm,
                             false, cancel, false, std::move(native));
    if (box) box_headless_->PaintAll();
    return box;
  }
  // A real click on a control of the open box.
  void ClickInBox(const wchar_t* name) {
    ui::Control* control = box_->FindControl(name);
    ASSERT_NE(control, nullptr) << nbase::WideToUTF8(name);
    closing_box_ = box_->AcquireWeakFlag();
    const ui::UiRect r = control->GetPos();
    const ui::CPoint middle((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    box_headless_->MouseMove(middle);
    box_headless_->Click(middle);
    box_ = nullptr;
  }

  // The open box stands centred on the main window (a pixel off at most, by
  // rounding), whatever its text made of its height.
  void ExpectBoxCentred(const std::string& what) {
    ASSERT_NE(box_headless_, nullptr) << what;
    const ui::UiRect box = box_headless_->GetWindowRect();
    const ui::UiRect main = headless_->GetWindowRect();
    EXPECT_NEAR(box.left + box.right, main.left + main.right, 2) << what;
    EXPECT_NEAR(box.top + box.bottom, main.top + main.bottom, 2) << what;
  }

  ui::Control* Find(const wchar_t* name) { return window_->FindControl(name); }
  std::wstring Text(const wchar_t* name) {
    auto* label = dynamic_cast<ui::Label*>(Find(name));
    return label ? label->GetText() : L"<none>";
  }
  // A real click at the middle of the control.
  void Click(const wchar_t* name) {
    Pump();
    ui::Control* control = Find(name);
    ASSERT_NE(control, nullptr) << nbase::WideToUTF8(name);
    const ui::UiRect r = control->GetPos();
    const ui::CPoint middle((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    headless_->MouseMove(middle);
    headless_->Click(middle);
    Pump();
  }
  // The page shown, by its control name.
  std::wstring Page() {
    std::wstring shown;
    for (const wchar_t* page :
         {L"welcompage", L"installpage", L"installedpage", L"installfaildpage"}) {
      if (Shown(page)) shown += std::wstring(shown.empty() ? L"" : L"+") + page;
    }
    return shown;
  }

  void ProductRunningPrompt(bool retry_after_closing, const VendorService& service);

  std::vector<std::string> EventIds(const VendorService& service) {
    return app_test::StatisticsEventIds(service);
  }

  ui::HeadlessWindow* headless_ = nullptr;
  std::deque<BoxRequest> boxes_;
  bool real_boxes_ = false;
  MsgBox* box_ = nullptr;
  ui::HeadlessWindow* box_headless_ = nullptr;
  // Expires when the last box answered has faded out and is gone.
  std::weak_ptr<nbase::WeakFlag> closing_box_;
};

TEST(AppProgressCounterTest, TicksCreepAndStopAtTheDesignedMarks) {
  ProgressCounter counter;
  // Nothing moves before the install starts, nor after it ended.
  for (int state : {kInstallNothing, kInstallDone, kInstallFailed, kInstallWaitingForProduct}) {
    EXPECT_FALSE(counter.Update(10, state));
    EXPECT_FALSE(counter.Update(0, state));
    EXPECT_EQ(counter.value(), 0) << state;
  }
  EXPECT_FALSE(counter.Update(10, kInstallDownloading));
  // 20 a tick up to 200, 16 up to 600, 8 above: 72 ticks (14.4 s) to 90 %.
  int ticks = 0;
  bool hint = false;
  int previous = counter.value();
  while (!hint && ticks < 1000) {
    hint = counter.Update(0, kInstallDownloading);
    ++ticks;
    const int step = counter.value() - previous;
    if (!hint) {
      EXPECT_EQ(step, previous <= 200 ? 20 : previous <= 600 ? 16 : 8) << previous;
    }
    previous = counter.value();
  }
  EXPECT_EQ(ticks, 72);
  EXPECT_EQ(counter.value(), 900);
  // A slow download keeps it at 90 % with the hint.
  EXPECT_TRUE(counter.Update(0, kInstallDownloading));
  EXPECT_EQ(counter.value(), 900);
  // While the package runs it creeps to 99 % and stays.
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(counter.Update(0, kInstallRunning));
  EXPECT_EQ(counter.value(), 999);
  // A new start sets the counter back.
  counter.Update(10, kInstallDownloading);
  EXPECT_EQ(counter.value(), 10);
}

TEST_F(AppMainWindowTest, InstallClickReachesTheInstalledPageAndStartsTheProduct) {
  VendorService service({"--package", app_test::DemoPackagePath(), "--delay", "0.5"});
  service.UseForInstaller(&env_);
  std::wstring first_label;
  bool exit_hidden_while_installing = false;
  Run([&] {
    EXPECT_EQ(Page(), L"welcompage");
    EXPECT_TRUE(Shown(L"btn_exit"));
    auto* edit = dynamic_cast<ui::RichEdit*>(Find(L"edit_installdir"));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(nbase::WideToUTF8(edit->GetText()), install_dir_);
    Click(L"btn_startinstall");
    EXPECT_EQ(Page(), L"installpage");
    first_label = Text(L"progress_install_value");
    exit_hidden_while_installing = !Shown(L"btn_exit");
    When([&] { return Shown(L"installedpage"); },
         [&] {
           EXPECT_EQ(Page(), L"installedpage");
           EXPECT_TRUE(Shown(L"btn_exit"));
           Click(L"btn_startapp");
         });
  });
  EXPECT_EQ(first_label, L"正在安装，请不要关闭：1%");
  EXPECT_TRUE(exit_hidden_while_installing);
  EXPECT_EQ(process_ends_, 1);
  EXPECT_EQ(app_test::ReadFile(install_dir_ + "/corvane.exe"),
            app_test::ReadFile(app_test::DemoProductPath()));
  ASSERT_TRUE(service.WaitForStatistics(5));
  EXPECT_EQ(EventIds(service),
            (std::vector<std::string>{"AppStart", "OnClick", "DownloadTimeCost", "InstallTimeCost",
                                      "InstallResultReport"}));
  const std::vector<std::vector<std::string>> starts =
      app_test::WaitForStartRecords(env_.dir().Sub("product.log"));
  EXPECT_EQ(starts.size(), 1u);
}

TEST_F(AppMainWindowTest, FailureAndReinstallRestartTheCounterUnderTheSameTicker) {
  VendorService service(
      {"--package", app_test::DemoPackagePath(), "--fail-first", "1000", "--fail-status", "404"});
  service.UseForInstaller(&env_);
  std::vector<std::wstring> seen;
  Run([&] {
    Click(L"btn_startinstall");
    When([&] { return Shown(L"installfaildpage"); },
         [&] {
           seen.push_back(Page());
           EXPECT_TRUE(Shown(L"btn_exit"));
           // The ticker is idle on the failed page.
           const int counter = window_->progress_counter();
           window_->UpdateProgress(0);
           EXPECT_EQ(window_->progress_counter(), counter);
           Click(L"btn_reinstall");
           seen.push_back(Page());
           seen.push_back(Text(L"progress_install_value"));
           EXPECT_FALSE(Shown(L"btn_exit"));
           When([&] { return Shown(L"installfaildpage"); },
                [&] {
                  seen.push_back(Page());
                  Finish();
                });
         });
  });
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"installfaildpage", L"installpage",
                                             L"正在安装，请不要关闭：1%", L"installfaildpage"}));
  ASSERT_TRUE(service.WaitForStatistics(7));
  EXPECT_EQ(EventIds(service), (std::vector<std::string>{
                                   "AppStart", "OnClick", "DownloadTimeCost", "InstallResultReport",
                                   "OnClick", "DownloadTimeCost", "InstallResultReport"}));
  EXPECT_EQ(process_ends_, 0);
}

TEST_F(AppMainWindowTest, AgreementGatesTheInstallButton) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  Run([&] {
    auto* agreement = dynamic_cast<ui::CheckBoxTemplate<ui::Control>*>(Find(L"checkbox_agreement"));
    ASSERT_NE(agreement, nullptr);
    EXPECT_TRUE(agreement->IsSelected());
    EXPECT_TRUE(Find(L"btn_startinstall")->IsEnabled());
    Click(L"checkbox_agreement");
    EXPECT_FALSE(agreement->IsSelected());
    EXPECT_FALSE(Find(L"btn_startinstall")->IsEnabled());
    Click(L"btn_startinstall");
    EXPECT_EQ(Page(), L"welcompage");
    EXPECT_EQ(window_->flow().install_state(), kInstallNothing);
    Click(L"checkbox_agreement");
    EXPECT_TRUE(Find(L"btn_startinstall")->IsEnabled());
    Finish();
  });
  // Nothing was requested: only the start record.
  EXPECT_TRUE(service.AccessLines().empty() ||
              app_test::CountContaining(service.AccessLines(), "downloadPackage") == 0);
}

TEST_F(AppMainWindowTest, CustomizeBarGrowsTheWindowAndInstallClosesIt) {
  VendorService service({"--package", app_test::DemoPackagePath(), "--delay", "0.5"});
  service.UseForInstaller(&env_);
  std::vector<int> heights;
  Run([&] {
    heights.push_back(headless_->GetWindowRect().GetHeight());
    EXPECT_FALSE(Shown(L"customizebar"));
    Click(L"btn_customize");
    EXPECT_TRUE(Shown(L"customizebar"));
    EXPECT_TRUE(window_->customize_bar_expanded());
    heights.push_back(headless_->GetWindowRect().GetHeight());
    Click(L"btn_expand");
    EXPECT_FALSE(Shown(L"customizebar"));
    heights.push_back(headless_->GetWindowRect().GetHeight());
    Click(L"btn_customize");
    heights.push_back(headless_->GetWindowRect().GetHeight());
    Click(L"btn_startinstall");
    EXPECT_FALSE(window_->customize_bar_expanded());
    heights.push_back(headless_->GetWindowRect().GetHeight());
    Finish();
  });
  ASSERT_EQ(heights.size(), 5u);
  EXPECT_EQ(heights[1], heights[0] + 48);
  EXPECT_EQ(heights[2], heights[0]);
  EXPECT_EQ(heights[3], heights[0] + 48);
  EXPECT_EQ(heights[4], heights[0]);
}

TEST_F(AppMainWindowTest, ExitBoxCancelKeepsThePageAndConfirmEndsTheProcess) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  Run([&] {
    Click(L"btn_exit");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].content, L"您确定要退出 \"Corvane视频转换器\" 安装程序吗？");
    EXPECT_EQ(boxes_[0].title, L"提示");
    EXPECT_EQ(boxes_[0].confirm, L"确定");
    EXPECT_EQ(boxes_[0].cancel, L"取消");
    boxes_[0].on_result(1);
    Pump();
    EXPECT_EQ(Page(), L"welcompage");
    EXPECT_EQ(process_ends_, 0);
    Click(L"btn_exit");
    ASSERT_EQ(boxes_.size(), 2u);
    boxes_[1].on_result(0);
    // The window fades out, then its close ends the process.
    When([&] { return process_ends_ > 0; }, [] {});
  });
  EXPECT_EQ(process_ends_, 1);
}

TEST_F(AppMainWindowTest, ExitBoxIsModalAndAnswersThroughItsButtons) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  real_boxes_ = true;
  std::vector<int> answers;
  Run([&] {
    Click(L"btn_exit");
    ASSERT_NE(box_, nullptr);
    EXPECT_FALSE(headless_->IsEnabled());
    EXPECT_EQ(dynamic_cast<ui::Label*>(box_->FindControl(L"title"))->GetText(), L"提示");
    EXPECT_EQ(dynamic_cast<ui::Button*>(box_->FindControl(L"btn_yes"))->GetText(), L"确定");
    EXPECT_EQ(dynamic_cast<ui::Button*>(box_->FindControl(L"btn_no"))->GetText(), L"取消");
    EXPECT_EQ(box_->GetFocus(), box_->FindControl(L"btn_yes"));
    // Cancel and the caption's close button leave everything as it was;
    // the owner is usable again as soon as the box starts closing.
    for (const wchar_t* button : {L"btn_no", L"closebtn"}) {
      if (!box_) Click(L"btn_exit");
      ASSERT_NE(box_, nullptr);
      ClickInBox(button);
      EXPECT_TRUE(headless_->IsEnabled()) << nbase::WideToUTF8(button);
    }
    // Boxes of other shapes: one button gets the focus; more text, taller box.
    MsgBox* only_yes = ShowBox(
        window_.get(), [&](int r) { answers.push_back(r); }, L"一行", L"t", L"好", L"");
    ASSERT_NE(only_yes, nullptr);
    EXPECT_FALSE(only_yes->FindControl(L"btn_no")->IsVisible());
    EXPECT_EQ(only_yes->GetFocus(), only_yes->FindControl(L"btn_yes"));
    const int one_line = box_headless_->GetWindowRect().GetHeight();
    box_ = only_yes;
    ClickInBox(L"btn_yes");
    MsgBox* only_no = ShowBox(
        window_.get(), [&](int r) { answers.push_back(r); }, L"第一行\n第二行\n第三行", L"t", L"",
        L"不");
    ASSERT_NE(only_no, nullptr);
    EXPECT_FALSE(only_no->FindControl(L"btn_yes")->IsVisible());
    EXPECT_EQ(only_no->GetFocus(), only_no->FindControl(L"btn_no"));
    EXPECT_GT(box_headless_->GetWindowRect().GetHeight(), one_line);
    box_ = only_no;
    ClickInBox(L"btn_no");
    // Answers arrive later, on the loop; then confirm ends the process.
    When([&] { return answers.size() == 2; },
         [&] {
           EXPECT_EQ(process_ends_, 0);
           EXPECT_EQ(Page(), L"welcompage");
           Click(L"btn_exit");
           ClickInBox(L"btn_yes");
           When([&] { return process_ends_ > 0; }, [] {});
         });
  });
  EXPECT_EQ(answers, (std::vector<int>{kMsgBoxYes, kMsgBoxNo}));
  EXPECT_EQ(process_ends_, 1);
}

// A box is centred once its text has set its height: one line or many, at
// 100 % and 150 %.
TEST_F(AppMainWindowTest, BoxesStandCentredOnTheMainWindowWhateverTheirText) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  real_boxes_ = true;
  const std::wstring long_text =
      L"第一行\n第二行\n第三行\n第四行\n一行很长的文字，长得在三百像素宽的框里要折成好几行才放得下"
      L"，"
      L"再加一句也不为过。";
  for (int scale : {100, 150}) {
    SCOPED_TRACE(scale);
    std::vector<int> heights;
    std::vector<std::weak_ptr<nbase::WeakFlag>> closing;
    Run(
        [&] {
          Click(L"btn_exit");
          ExpectBoxCentred("exit box");
          ClickInBox(L"btn_no");
          closing.push_back(closing_box_);
          for (const std::wstring& text : {std::wstring(L"好"), long_text}) {
            box_ = ShowBox(window_.get(), nullptr, text, L"提示", L"确定", L"取消");
            ASSERT_NE(box_, nullptr);
            heights.push_back(box_headless_->GetWindowRect().GetHeight());
            ExpectBoxCentred(nbase::WideToUTF8(text));
            ClickInBox(L"btn_no");
            closing.push_back(closing_box_);
          }
          // Every box has faded out and gone before the run ends.
          When(
              [&] {
                for (const auto& flag : closing) {
                  if (!flag.expired()) return false;
                }
                return true;
              },
              [&] { Finish(); });
        },
        scale);
    ASSERT_EQ(heights.size(), 2u);
    EXPECT_GT(heights[1], heights[0] + 40);
  }
}

TEST_F(AppMainWindowTest, CloseDuringTheDownloadEndsTheProcessAtOnce) {
  VendorService service({"--package", app_test::DemoPackagePath(), "--delay", "1"});
  service.UseForInstaller(&env_);
  Run([&] {
    Click(L"btn_startinstall");
    ASSERT_EQ(window_->flow().install_state(), kInstallDownloading);
    headless_->Close();
    EXPECT_EQ(process_ends_, 1);
  });
  EXPECT_EQ(process_ends_, 1);
}

// The product-running prompt: retry while the product runs asks again; then
// retry after closing it installs, or cancel fails. One run per process: a
// box still fading out must not outlive its window into another run.
void AppMainWindowTest::ProductRunningPrompt(bool retry_after_closing,
                                             const VendorService& service) {
  real_boxes_ = true;
  // A stand-in product: any program running under the product's name.
  const std::string product = env_.dir().Sub(product_name_);
  app_test::WriteFile(product, app_test::ReadFile("/bin/sleep"));
  chmod(product.c_str(), 0755);
  std::vector<std::wstring> seen;
  {
    ui::ChildProcess running;
    ASSERT_TRUE(running.Start({product, "60"}));
    Run([&] {
      Click(L"btn_startinstall");
      When([&] { return box_ != nullptr; },
           [&] {
             EXPECT_EQ(window_->flow().install_state(), kInstallWaitingForProduct);
             EXPECT_FALSE(headless_->IsEnabled());
             EXPECT_EQ(dynamic_cast<ui::RichEdit*>(box_->FindControl(L"content"))->GetText(),
                       L"应用程序 \"Corvane视频转换器\" 正在运行，请关闭后重试!");
             EXPECT_EQ(dynamic_cast<ui::Button*>(box_->FindControl(L"btn_yes"))->GetText(),
                       L"重试");
             EXPECT_EQ(dynamic_cast<ui::Button*>(box_->FindControl(L"btn_no"))->GetText(), L"取消");
             ExpectBoxCentred("running-product box");
             // Retry while the product still runs: the same question again,
             // and the counter waits.
             const int counter = window_->progress_counter();
             ClickInBox(L"btn_yes");
             When([&] { return box_ != nullptr; },
                  [&, counter] {
                    seen.push_back(L"asked again");
                    EXPECT_EQ(window_->flow().install_state(), kInstallWaitingForProduct);
                    EXPECT_EQ(window_->progress_counter(), counter);
                    if (retry_after_closing) {
                      running.Kill();
                      ClickInBox(L"btn_yes");
                    } else {
                      ClickInBox(L"btn_no");
                    }
                    // The answered box fades out first: nothing of it outlives the run.
                    When(
                        [&] {
                          return (Shown(L"installedpage") || Shown(L"installfaildpage")) &&
                                 closing_box_.expired();
                        },
                        [&] {
                          seen.push_back(Page());
                          Finish();
                        });
                  });
           });
    });
    EXPECT_EQ(seen,
              (std::vector<std::wstring>{
                  L"asked again", retry_after_closing ? L"installedpage" : L"installfaildpage"}));
  }
  ASSERT_TRUE(service.WaitForStatistics(retry_after_closing ? 5 : 4));
  const std::vector<std::string> records = service.StatisticsLines();
  EXPECT_EQ(app_test::CountContaining(records, "User Cancel Install"),
            retry_after_closing ? 0u : 1u);
  EXPECT_EQ(app_test::CountContaining(records, "\"success\""), retry_after_closing ? 1u : 0u);
}

TEST_F(AppMainWindowTest, ProductRunningPromptRetryAfterClosingInstalls) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  ProductRunningPrompt(true, service);
}

TEST_F(AppMainWindowTest, ProductRunningPromptCancelFails) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  ProductRunningPrompt(false, service);
}

}  // namespace
}  // namespace corvane
