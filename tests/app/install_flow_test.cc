#include "app/install_flow.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <thread>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/machine_info.h"
#include "app/main_thread.h"
#include "app/system/process.h"
#include "base/string_util.h"
#include "tests/app/app_test_support.h"

namespace corvane {
namespace {

using app_test::ScopedUserEnvironment;
using app_test::VendorService;

void QuitUiLoop() {
  nbase::UIMessageLoop::Current()->PostQuitMessage();
}

// Records what the flow shows; answers boxes from a script (posted, as a
// real box answers later); ends the test loop at the end of the flow.
class RecordingView : public InstallView {
 public:
  void UpdateProgress(int value) override { progress.push_back(value); }
  void ShowInstallSuccess() override {
    events.push_back(L"success");
    if (on_success) {
      on_success();
    } else {
      QuitUiLoop();
    }
  }
  void ShowInstallFailure(const std::wstring& message) override {
    events.push_back(L"failure:" + message);
    QuitUiLoop();
  }
  void ShowMessageBox(const std::wstring& content, const std::wstring& title,
                      const std::wstring& confirm, const std::wstring& cancel,
                      std::function<void(int)> on_result) override {
    events.push_back(L"box:" + title + L"|" + content + L"|" + confirm + L"|" + cancel);
    int answer = 1;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    if (before_answer) before_answer();
    nbase::ThreadRegistry::PostTaskToThread(kThreadUi, [on_result, answer] { on_result(answer); });
  }
  void CloseWindow() override {
    events.push_back(L"close");
    QuitUiLoop();
  }

  std::vector<int> progress;
  std::vector<std::wstring> events;
  std::deque<int> answers;
  std::function<void()> before_answer;
  std::function<void()> on_success;
};

class AppInstallFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachineInfoCachesForTesting();
    ClearGlobalCookiesForTesting();
    env_.Set("CORVANE_DEMO_PACKAGE_COUNTER", env_.dir().Sub("runs"));
    env_.Set("CORVANE_DEMO_PRODUCT_LOG", env_.dir().Sub("product.log"));
    install_dir_ = env_.dir().Sub("Program Files/brightmoor/corvane");
  }
  void TearDown() override {
    ResetMachineInfoCachesForTesting();
    ClearGlobalCookiesForTesting();
  }

  // Runs start-up and then `start` in place of the main window; returns once
  // the view has ended the loop and every thread has stopped.
  void RunInstaller(const std::function<void(InstallFlow&)>& start) {
    StartupHooks hooks;
    hooks.system_dpi = [] { return 96; };
    hooks.scale_percent = [] { return 100; };
    std::unique_ptr<InstallFlow> flow;
    hooks.create_main_window = [&] {
      flow = std::make_unique<InstallFlow>(&view_);
      flow->set_install_directory(nbase::UTF8ToWide(install_dir_));
      flow->set_product_process_name(product_name_);
      start(*flow);
    };
    {
      MainThread main_thread(hooks);
      main_thread.RunOnCurrentThread(nbase::FrameworkThread::kUILoop);
      if (flow) final_state_ = flow->install_state();
      flow.reset();
    }
  }

  std::vector<std::string> EventIds(const VendorService& service) {
    return app_test::StatisticsEventIds(service);
  }

  ScopedUserEnvironment env_;
  RecordingView view_;
  std::string install_dir_;
  // Unique per test process, so parallel tests cannot disturb the check.
  std::string product_name_ = "corvane-flow-" + std::to_string(getpid()) + ".exe";
  int final_state_ = -1;
};

TEST_F(AppInstallFlowTest, SuccessfulInstallationStoresChannelAndStartsTheProduct) {
  VendorService service({"--channel-package", "flow_chan=" + app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  ParseCommandLine({L"channel:flow_chan"});
  InstallFlow* active = nullptr;
  view_.on_success = [&] { active->StartProduct(); };
  RunInstaller([&](InstallFlow& flow) {
    active = &flow;
    EXPECT_EQ(flow.settings().channel, L"flow_chan");
    flow.BeginInstall(L"Install");
  });
  ParseCommandLine({});

  EXPECT_EQ(final_state_, kInstallDone);
  EXPECT_EQ(view_.progress, (std::vector<int>{10, 900}));
  EXPECT_EQ(view_.events, (std::vector<std::wstring>{L"success", L"close"}));
  EXPECT_EQ(ReadRegistryString(kAppInfoKey, L"Channel"), L"flow_chan");
  EXPECT_EQ(app_test::ReadFile(install_dir_ + "/corvane.exe"),
            app_test::ReadFile(app_test::DemoProductPath()));
  // Records arrive in the order they were posted.
  EXPECT_EQ(EventIds(service),
            (std::vector<std::string>{"AppStart", "OnClick", "DownloadTimeCost", "InstallTimeCost",
                                      "InstallResultReport"}));
  // The product was started without arguments.
  const std::vector<std::vector<std::string>> starts =
      app_test::WaitForStartRecords(env_.dir().Sub("product.log"));
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].size(), 2u);
}

TEST_F(AppInstallFlowTest, DownloadAndPackageFailuresReachTheFailurePage) {
  {
    VendorService service(
        {"--package", app_test::DemoPackagePath(), "--fail-first", "100", "--fail-status", "404"});
    service.UseForInstaller(&env_);
    RunInstaller([](InstallFlow& flow) { flow.BeginInstall(L"Install"); });
    EXPECT_EQ(final_state_, kInstallFailed);
    EXPECT_EQ(view_.events, (std::vector<std::wstring>{L"failure:Download Faild errorCode:22"}));
    const auto lines = service.StatisticsLines();
    ASSERT_EQ(lines.size(), 4u);
    const std::string last = app_test::JsonStringField(lines[3], "text").value_or("");
    EXPECT_NE(
        last.find(",\"data\":{\"errorMsg\":\"Download Faild errorCode:22\",\"result\":\"faild\"}}"),
        std::string::npos)
        << last;
  }
  view_ = RecordingView();
  {
    VendorService service({"--package", app_test::DemoPackagePath()});
    service.UseForInstaller(&env_);
    env_.Set("CORVANE_DEMO_PACKAGE_EXIT_CODES", "7");
    RunInstaller([](InstallFlow& flow) { flow.BeginInstall(L"ReInstall"); });
    EXPECT_EQ(final_state_, kInstallFailed);
    EXPECT_EQ(view_.events, (std::vector<std::wstring>{L"failure:Install Faild errorCode:7"}));
    EXPECT_EQ(app_test::ReadFile(env_.dir().Sub("runs")), "3");
    EXPECT_EQ(ReadRegistryString(kAppInfoKey, L"Channel"), L"");
  }
}

TEST_F(AppInstallFlowTest, RunningProductAsksUntilCancelledOrClosed) {
  VendorService service({"--package", app_test::DemoPackagePath()});
  service.UseForInstaller(&env_);
  const std::string product = env_.dir().Sub(product_name_);
  app_test::WriteFile(product, app_test::ReadFile(app_test::DemoProductPath()));
  chmod(product.c_str(), 0755);
  env_.Set("CORVANE_DEMO_PRODUCT_STAY_MS", "30000");
  ASSERT_EQ(corvane::SpawnDetached({product}), 0);
  for (int i = 0; i < 500 && !corvane::IsProcessRunning(product_name_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  // Retry while it still runs shows the box again; cancel ends the install.
  view_.answers = {0, 1};
  RunInstaller([](InstallFlow& flow) { flow.BeginInstall(L"Install"); });
  const std::wstring box =
      L"box:提示|应用程序 \"Corvane视频转换器\" 正在运行，请关闭后重试!|重试|取消";
  EXPECT_EQ(view_.events, (std::vector<std::wstring>{box, box, L"failure:User Cancel Install"}));
  EXPECT_EQ(final_state_, kInstallFailed);

  // Closing the product before "retry" lets the installation go on.
  view_ = RecordingView();
  view_.answers = {0};
  view_.before_answer = [&] {
    for (const auto& record : app_test::ReadStartRecords(env_.dir().Sub("product.log"))) {
      kill(std::stoi(record[0]), SIGKILL);
    }
    for (int i = 0; i < 500 && corvane::IsProcessRunning(product_name_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  RunInstaller([](InstallFlow& flow) { flow.BeginInstall(L"Install"); });
  EXPECT_EQ(view_.events, (std::vector<std::wstring>{box, L"success"}));
  EXPECT_EQ(final_state_, kInstallDone);
}

TEST_F(AppInstallFlowTest, ResultForAFlowThatIsGoneIsDropped) {
  VendorService service({"--package", app_test::DemoPackagePath(), "--delay", "0.5"});
  service.UseForInstaller(&env_);
  StartupHooks hooks;
  hooks.system_dpi = [] { return 96; };
  std::unique_ptr<InstallFlow> flow;
  hooks.create_main_window = [&] {
    flow = std::make_unique<InstallFlow>(&view_);
    flow->BeginInstall(L"Install");
    flow.reset();
    // Thread 2 runs this after the download, whose continuation it posted
    // to this thread first; so the quit comes after the dropped result.
    nbase::ThreadRegistry::PostTaskToThread(
        kThreadGlobalMisc, [] { nbase::ThreadRegistry::PostTaskToThread(kThreadUi, QuitUiLoop); });
  };
  {
    MainThread main_thread(hooks);
    main_thread.RunOnCurrentThread(nbase::FrameworkThread::kUILoop);
  }
  EXPECT_EQ(view_.progress, (std::vector<int>{10}));
  EXPECT_TRUE(view_.events.empty());
  EXPECT_EQ(EventIds(service),
            (std::vector<std::string>{"AppStart", "OnClick", "DownloadTimeCost"}));
}

TEST_F(AppInstallFlowTest, StatisticsOutageCostsTwoAttemptsPerRecordAndDelaysNothing) {
  VendorService service({"--package", app_test::DemoPackagePath(), "--refuse-statistics", "503",
                         "--statistics-delay", "0.3"});
  service.UseForInstaller(&env_);
  size_t attempts_at_success = 0;
  view_.on_success = [&] {
    attempts_at_success = app_test::CountContaining(service.AccessLines(), "writelog");
    QuitUiLoop();
  };
  RunInstaller([](InstallFlow& flow) { flow.BeginInstall(L"Install"); });
  EXPECT_EQ(final_state_, kInstallDone);
  // Five records (start, click, download, install, result), two attempts
  // each; the installation finished long before they were through.
  EXPECT_LT(attempts_at_success, 8u);
  EXPECT_EQ(app_test::CountContaining(service.AccessLines(), "writelog"), 10u);
  EXPECT_TRUE(service.StatisticsLines().empty());
}

TEST_F(AppInstallFlowTest, ProductProcessNameDefaultsAndOverride) {
  EXPECT_EQ(ProductProcessName(), "corvane.exe");
  env_.Set("CORVANE_PRODUCT_PROCESS_NAME", "other.exe");
  EXPECT_EQ(ProductProcessName(), "other.exe");
  env_.Set("CORVANE_PRODUCT_PROCESS_NAME", "");
  EXPECT_EQ(ProductProcessName(), "corvane.exe");
}

TEST_F(AppInstallFlowTest, InstallDirectoryDefaultsAndCommandLine) {
  ParseCommandLine({});
  const std::string base = geteuid() == 0 ? "/opt" : env_.data_home();
  EXPECT_EQ(DefaultInstallDirectory(), nbase::UTF8ToWide(base + "/brightmoor/corvane"));
  ParseCommandLine({L"installPath:/srv/my apps"});
  EXPECT_EQ(DefaultInstallDirectory(), L"/srv/my apps");
  ParseCommandLine({});
}

}  // namespace
}  // namespace corvane
