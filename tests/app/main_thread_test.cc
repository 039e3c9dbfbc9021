#include "app/main_thread.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/machine_info.h"
#include "app/statistics.h"
#include "base/string_util.h"
#include "tests/app/app_test_support.h"

namespace corvane {
namespace {

using app_test::ScopedUserEnvironment;
using app_test::VendorService;

void QuitUiLoop() {
  nbase::UIMessageLoop::Current()->PostQuitMessage();
}

// Ends the UI loop once `done` holds (or after 20 s), checking every 20 ms.
void QuitWhen(std::function<bool()> done, int checks_left = 1000) {
  if (done() || checks_left == 0) {
    QuitUiLoop();
    return;
  }
  nbase::ThreadRegistry::PostDelayedTaskToThread(
      kThreadUi, [done, checks_left] { QuitWhen(done, checks_left - 1); },
      nbase::TimeDelta::FromMilliseconds(20));
}

struct HookLog {
  int prompts = 0;
  int windows = 0;
  int skin_stops = 0;
  std::wstring theme_folder;
  bool workers_registered = false;
  std::string misc_name, http_name;
};

StartupHooks TestHooks(HookLog* log, MainThread** self) {
  StartupHooks hooks;
  hooks.system_dpi = [] { return 96; };
  hooks.scale_percent = [] { return 100; };
  hooks.start_skin = [log](const std::wstring& folder) {
    log->theme_folder = folder;
    return false;
  };
  hooks.stop_skin = [log] { ++log->skin_stops; };
  hooks.create_main_window = [log, self] {
    ++log->windows;
    log->workers_registered = nbase::ThreadRegistry::GetThreadProxy(kThreadUi) &&
                              nbase::ThreadRegistry::GetThreadProxy(kThreadGlobalMisc) &&
                              nbase::ThreadRegistry::GetThreadProxy(kThreadHttp);
    log->misc_name = (*self)->misc_thread()->name();
    log->http_name = (*self)->http_thread()->name();
    QuitUiLoop();
  };
  return hooks;
}

class AppMainThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachineInfoCachesForTesting();
    ClearGlobalCookiesForTesting();
  }
  void TearDown() override {
    ResetMachineInfoCachesForTesting();
    ClearGlobalCookiesForTesting();
  }
  ScopedUserEnvironment env_;
};

TEST_F(AppMainThreadTest, StartUpReportsAppStartAndShutsDownInOrder) {
  VendorService service;
  ASSERT_TRUE(service.ok());
  service.UseForInstaller(&env_);
  ASSERT_TRUE(WriteRegistryString(kAppInfoKey, L"UniqueId", L"00112233445566778899AABBCCDDEEFF"));

  HookLog log;
  MainThread* self = nullptr;
  auto main_thread = std::make_unique<MainThread>(TestHooks(&log, &self));
  self = main_thread.get();
  main_thread->RunOnCurrentThread(nbase::FrameworkThread::kUILoop);

  EXPECT_FALSE(main_thread->cancelled_as_second_instance());
  EXPECT_EQ(log.prompts, 0);
  EXPECT_EQ(log.windows, 1);
  EXPECT_TRUE(log.workers_registered);
  EXPECT_EQ(log.misc_name, "Global Misc Thread");
  EXPECT_EQ(log.http_name, "http Thread");
  EXPECT_EQ(main_thread->name(), "MainThread");
  EXPECT_EQ(log.theme_folder, L"themes/default");
  // Cleanup ran: the skin is stopped and identifier 0 is free again, while
  // the workers keep running until the thread object goes.
  EXPECT_EQ(log.skin_stops, 1);
  EXPECT_FALSE(nbase::ThreadRegistry::GetThreadProxy(kThreadUi));
  EXPECT_TRUE(nbase::ThreadRegistry::GetThreadProxy(kThreadGlobalMisc));
  main_thread.reset();
  EXPECT_FALSE(nbase::ThreadRegistry::GetThreadProxy(kThreadGlobalMisc));
  EXPECT_FALSE(nbase::ThreadRegistry::GetThreadProxy(kThreadHttp));

  // The start record was uploaded before the http thread ended.
  ASSERT_EQ(service.StatisticsLines().size(), 1u);
  const std::string line = service.StatisticsLines()[0];
  const std::string text =
      "{\"eventId\":\"AppStart\",\"imei\":\"00112233445566778899AABBCCDDEEFF\",\"appver\":\"" +
      std::string(CORVANE_VERSION) +
      "\",\"appName\":\"CorvaneOnlineInstaller\",\"data\":{\"Dpi\":\"96\",\"FirstStart\":"
      "\"true\",\"Scale\":\"100\"}}";
  EXPECT_EQ(app_test::JsonStringField(line, "text"), text);
  gchar* b64 = g_base64_encode(reinterpret_cast<const guchar*>(text.data()), text.size());
  EXPECT_EQ(app_test::JsonStringField(line, "body"), "log=" + std::string(b64));
  g_free(b64);
  const std::string cookies = app_test::JsonStringField(line, "cookie_header").value_or("");
  EXPECT_EQ(cookies.rfind("appname=CorvaneOnlineInstaller;appver=" CORVANE_VERSION
                          ";channel=default;imei=00112233445566778899AABBCCDDEEFF;os=linux;system=",
                          0),
            0u)
      << cookies;
}

TEST_F(AppMainThreadTest, SecondInstanceRetriesUntilTheFirstHasEnded) {
  VendorService service;
  service.UseForInstaller(&env_);
  auto first = std::make_unique<corvane::SingleInstanceLock>(kSingleInstanceName);
  ASSERT_TRUE(first->TryAcquire());

  HookLog log;
  MainThread* self = nullptr;
  StartupHooks hooks = TestHooks(&log, &self);
  hooks.ask_retry_second_instance = [&] {
    // The first answer comes while the other installer still runs; it has
    // ended before the second.
    if (++log.prompts == 2) first.reset();
    return true;
  };
  auto main_thread = std::make_unique<MainThread>(hooks);
  self = main_thread.get();
  main_thread->RunOnCurrentThread(nbase::FrameworkThread::kUILoop);
  EXPECT_EQ(log.prompts, 2);
  EXPECT_EQ(log.windows, 1);
  EXPECT_FALSE(main_thread->cancelled_as_second_instance());
}

TEST_F(AppMainThreadTest, CancelledSecondInstanceStartsNothing) {
  VendorService service;
  service.UseForInstaller(&env_);
  corvane::SingleInstanceLock first(kSingleInstanceName);
  ASSERT_TRUE(first.TryAcquire());

  HookLog log;
  MainThread* self = nullptr;
  StartupHooks hooks = TestHooks(&log, &self);
  hooks.ask_retry_second_instance = [&] {
    ++log.prompts;
    return false;
  };
  MainThread main_thread(hooks);
  self = &main_thread;
  main_thread.RunOnCurrentThread(nbase::FrameworkThread::kUILoop);
  EXPECT_TRUE(main_thread.cancelled_as_second_instance());
  EXPECT_EQ(log.prompts, 1);
  EXPECT_EQ(log.windows, 0);
  EXPECT_EQ(log.skin_stops, 0);
  EXPECT_EQ(main_thread.misc_thread(), nullptr);
  EXPECT_EQ(main_thread.http_thread(), nullptr);
  EXPECT_FALSE(nbase::ThreadRegistry::GetThreadProxy(kThreadUi));
  EXPECT_TRUE(service.AccessLines().empty());
}

// A start with the uploads held for the first frame; `window` stands for
// creating the main window. Returns once the workers are joined.
void RunStartWithHeldUploads(std::function<void()> window) {
  StartupHooks hooks;
  hooks.system_dpi = [] { return 96; };
  hooks.scale_percent = [] { return 100; };
  hooks.uploads_wait_for_first_frame = true;
  hooks.create_main_window = std::move(window);
  MainThread main_thread(hooks);
  main_thread.RunOnCurrentThread(nbase::FrameworkThread::kUILoop);
}

bool IsRecordOf(const std::string& line, const std::string& event) {
  return app_test::JsonStringField(line, "text")
             .value_or("")
             .find("\"eventId\":\"" + event + "\"") != std::string::npos;
}

// The windowed start holds the uploads until the window's first frame: the
// HTTP library is not even loaded before, and the records then go in the
// order they were reported, the start record first.
TEST_F(AppMainThreadTest, HeldUploadsGoInOrderOnceReleased) {
  VendorService service;
  ASSERT_TRUE(service.ok());
  service.UseForInstaller(&env_);
  bool held_at_window = false;
  size_t requests_at_window = 0;
  RunStartWithHeldUploads([&] {
    ReportEvent(L"OnClick", {{L"ClickSrc", L"Install"}});
    held_at_window = UploadsHeld();
    requests_at_window = service.AccessLines().size();
    // What the first frame does, on a later pass of the loop.
    nbase::ThreadRegistry::PostTaskToThread(kThreadUi, [] { ReleaseUploads(); });
    nbase::ThreadRegistry::PostTaskToThread(kThreadUi, [&] {
      service.WaitForStatistics(2);
      QuitUiLoop();
    });
  });
  EXPECT_TRUE(held_at_window);
  EXPECT_EQ(requests_at_window, 0u);
  EXPECT_FALSE(UploadsHeld());
  const std::vector<std::string> lines = service.StatisticsLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(IsRecordOf(lines[0], "AppStart")) << lines[0];
  EXPECT_TRUE(IsRecordOf(lines[1], "OnClick")) << lines[1];
}

// Without a first frame the records still go: at the latest after two
// seconds, or when the loop ends before that.
TEST_F(AppMainThreadTest, HeldUploadsGoWithoutAFrameToo) {
  for (const bool quit_at_once : {false, true}) {
    SCOPED_TRACE(quit_at_once ? "loop ends at once" : "loop keeps running");
    VendorService service;
    ASSERT_TRUE(service.ok());
    service.UseForInstaller(&env_);
    RunStartWithHeldUploads([&] {
      if (quit_at_once) {
        QuitUiLoop();
        return;
      }
      // Polled from the loop, which must stay free to run the delayed release.
      QuitWhen([&] { return !service.StatisticsLines().empty(); });
    });
    EXPECT_FALSE(UploadsHeld());
    ASSERT_EQ(service.StatisticsLines().size(), 1u);
    EXPECT_TRUE(IsRecordOf(service.StatisticsLines()[0], "AppStart"));
  }
}

TEST(AppThemeFolderTest, DpiThresholds) {
  EXPECT_EQ(ThemeFolderForDpi(96), L"themes/default");
  EXPECT_EQ(ThemeFolderForDpi(100), L"themes/default");
  EXPECT_EQ(ThemeFolderForDpi(101), L"themes/default-hdpi");
  EXPECT_EQ(ThemeFolderForDpi(120), L"themes/default-hdpi");
  EXPECT_EQ(ThemeFolderForDpi(131), L"themes/default-hdpi");
  EXPECT_EQ(ThemeFolderForDpi(132), L"themes/default-xhdpi");
  EXPECT_EQ(ThemeFolderForDpi(192), L"themes/default-xhdpi");
}

}  // namespace
}  // namespace corvane
