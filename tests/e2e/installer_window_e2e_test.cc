// The built installer through its real window: every flow of the pages,
// the message boxes, the prompts and the links, with real X input.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

using app_test::InstallerProcess;

PageState Installing(int percent, bool hint = false) {
  return PageState(Page::kInstalling, percent, hint);
}

const PageState kWelcome(Page::kWelcome);
const PageState kInstalled(Page::kInstalled);
const PageState kFailed(Page::kFailed);

// The progress bar and its label change with every tick; the label is as
// wide as its text, so its whole row.
std::vector<Rect> ProgressAreas(const SkinLayout& layout) {
  Rect row = *layout.Find("progress_install_value");
  row.left = 0;
  row.right = layout.width();
  return {*layout.Find("progress_install"), row};
}

class InstallerWindowE2eTest : public InstallerE2eTest,
                               public ::testing::WithParamInterface<Target> {
 protected:
  InstallerWindowE2eTest() : InstallerE2eTest(GetParam()) {}
  std::vector<std::string> EventIds() const { return app_test::StatisticsEventIds(*service_); }
  size_t PackageRequests() const {
    return app_test::CountContaining(service_->AccessLines(), "downloadPackage");
  }
};

TEST_P(InstallerWindowE2eTest, InstallCreepsToInstalledThenStartsTheProductAndEnds) {
  // A two-second download: long enough to watch the counter creep.
  StartService({"--delay", "2"});
  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();
  EXPECT_EQ(CompareWithInspector(*window, kWelcome, "welcome"), 0);
  // Painted before the click: the frames to catch last 200 ms each.
  for (int percent : {1, 3, 5}) Layout(Installing(percent));

  ClickControl(*window, Layout(kWelcome), "btn_startinstall");
  // 1 % at the click, then a tick every 200 ms adds 2 % at the start.
  EXPECT_TRUE(WaitForControl(*window, Installing(1), "progress_install_value", 600));
  EXPECT_TRUE(WaitForControl(*window, Installing(3), "progress_install_value", 600));
  EXPECT_TRUE(WaitForControl(*window, Installing(5), "progress_install_value", 600));
  const SkinLayout& installing = Layout(Installing(5));
  EXPECT_EQ(CompareWithInspector(*window, Installing(5), "installing", ProgressAreas(installing)),
            0);

  ASSERT_TRUE(WaitForControl(*window, kInstalled, "btn_startapp", 30000));
  EXPECT_EQ(CompareWithInspector(*window, kInstalled, "installed"), 0);
  ASSERT_TRUE(service_->WaitForStatistics(5));
  ClickControl(*window, Layout(kInstalled), "btn_startapp");
  ASSERT_TRUE(installer->Wait(10)) << "the installer keeps running after 立即体验";
  EXPECT_TRUE(WIFEXITED(installer->status()) && WEXITSTATUS(installer->status()) == 0);

  const auto starts = app_test::WaitForStartRecords(product_log());
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].at(1), target_.FileName(install_dir() + "/corvane.exe"));
  EXPECT_EQ(EventIds(), (std::vector<std::string>{"AppStart", "OnClick", "DownloadTimeCost",
                                                  "InstallTimeCost", "InstallResultReport"}));
  EXPECT_EQ(app_test::CountContaining(service_->StatisticsLines(), "success"), 1u);
}

TEST_P(InstallerWindowE2eTest, FailedDownloadShowsTheFailedPageAndReinstallRestartsAtOnePercent) {
  // Every transfer waits a second, then breaks off: the download fails late.
  StartService({"--truncate", "1000", "--delay", "1"});
  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();
  Layout(Installing(5));
  ClickControl(*window, Layout(kWelcome), "btn_startinstall");
  // The counter passes 3 % before the download fails.
  EXPECT_TRUE(WaitForControl(*window, Installing(5), "progress_install_value", 1000));
  ASSERT_TRUE(WaitForControl(*window, kFailed, "btn_reinstall", 60000));
  EXPECT_EQ(CompareWithInspector(*window, kFailed, "failed"), 0);
  ASSERT_TRUE(service_->WaitForStatistics(4));
  EXPECT_EQ(EventIds(), (std::vector<std::string>{"AppStart", "OnClick", "DownloadTimeCost",
                                                  "InstallResultReport"}));
  EXPECT_EQ(app_test::CountContaining(service_->StatisticsLines(), "faild"), 1u);

  // The same address now answers: a healthy service on the failing one's port.
  const int port = service_->port();
  service_.reset();
  StartService({"--port", std::to_string(port), "--delay", "1"});
  ASSERT_EQ(service_->port(), port);
  for (int percent : {1, 3}) Layout(Installing(percent));
  ClickControl(*window, Layout(kFailed), "btn_reinstall");
  // Back to 1 %; the ticker keeps its phase, so the next tick (3 %) may come
  // at once.
  EXPECT_NE(WaitForAnyOf(*window, {Installing(1), Installing(3)}, "progress_install_value", 600),
            -1);
  ASSERT_TRUE(WaitForControl(*window, kInstalled, "btn_startapp", 30000))
      << testing::PrintToString(service_->AccessLines());
  ASSERT_TRUE(service_->WaitForStatistics(4));
  EXPECT_EQ(EventIds(), (std::vector<std::string>{"OnClick", "DownloadTimeCost", "InstallTimeCost",
                                                  "InstallResultReport"}));
  EXPECT_EQ(app_test::CountContaining(service_->StatisticsLines(), "ReInstall"), 1u);
  EXPECT_TRUE(app_test::FileExists(install_dir() + "/corvane.exe"));
}

TEST_P(InstallerWindowE2eTest, SlowDownloadShowsTheHintWhenTheCounterReachesNinetyPercent) {
  StartService({"--delay", "40"});
  const std::string opened = RegisterFakeBrowser();
  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();
  ClickControl(*window, Layout(kWelcome), "btn_startinstall");
  const auto clicked = std::chrono::steady_clock::now();
  // Ten ticks of 20, twenty-five of 16, thirty-seven of 8: 72 ticks of 200 ms.
  ASSERT_TRUE(WaitForControl(*window, Installing(90, true), "downloadAlert", 40000));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - clicked).count();
  EXPECT_GE(seconds, 14.0);
  EXPECT_LE(seconds, 25.0);
  // The counter waits there, the hint stays.
  window_driver::SleepMs(1000);
  EXPECT_EQ(CompareWithInspector(*window, Installing(90, true), "slow-download"), 0);
  // The hint's link offers the offline package.
  ClickControl(*window, Layout(Installing(90, true)), "btn_downloadOfflinePackage");
  const std::vector<std::string> lines = OpenedAddresses(opened, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], package_base_url() + "&donwloadtype=offline");
  std::cout << "hint after " << seconds << " s\n";
}

TEST_P(InstallerWindowE2eTest, ForgedPackageFailsLikeAnyDownloadAndTheOfflineLinkStays) {
  // One byte of the package changes on its way: its signature no longer fits.
  StartService({"--tamper", "flip-byte"});
  const std::string opened = RegisterFakeBrowser();
  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();
  ClickControl(*window, Layout(kWelcome), "btn_startinstall");
  ASSERT_TRUE(WaitForControl(*window, kFailed, "btn_redownload", 60000));
  EXPECT_EQ(CompareWithInspector(*window, kFailed, "forged-package"), 0);
  ASSERT_TRUE(service_->WaitForStatistics(4));
  EXPECT_EQ(EventIds(), (std::vector<std::string>{"AppStart", "OnClick", "DownloadTimeCost",
                                                  "InstallResultReport"}));
  const std::vector<std::string> records = service_->StatisticsLines();
  EXPECT_EQ(app_test::CountContaining(records, "\"ret\": \"3\", \"retryTime\": \"5\""), 1u);
  EXPECT_EQ(app_test::CountContaining(records, "fileSize"), 0u);
  EXPECT_EQ(app_test::CountContaining(
                records, "\"errorMsg\": \"Download Faild errorCode:3\", \"result\": \"faild\""),
            1u);
  EXPECT_EQ(app_test::CountContaining(service_->AccessLines(), "\"kind\": \"sig\""), 5u);
  EXPECT_FALSE(app_test::FileExists(install_dir()));

  ClickControl(*window, Layout(kFailed), "btn_redownload");
  const std::vector<std::string> lines = OpenedAddresses(opened, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], package_base_url() + "&donwloadtype=offline");
  EXPECT_FALSE(installer->Wait(0));
}

TEST_P(InstallerWindowE2eTest, RunningProductPromptsUntilClosedAndCancelFails) {
  StartService();
  // A product process under the name the installer looks for.
  std::unique_ptr<ui::ChildProcess> running = StartRunningProduct(product_name());

  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();
  ClickControl(*window, Layout(kWelcome), "btn_startinstall");
  std::optional<TopLevel> box = OtherWindow(installer->pid(), 20000);
  ASSERT_TRUE(box) << "no retry prompt";
  KeepShot(x_.Grab(box->rect), "prompt");
  // The counter waits at 90 % while the box is open.
  EXPECT_TRUE(WaitForControl(*window, Installing(90), "progress_install_value", 1000));

  // Retry while the product still runs: a new box.
  ClickBoxButton(*box, "btn_yes");
  const unsigned long first = box->id;
  box = x_.WaitForWindow(
      installer->pid(),
      [&](const TopLevel& w) {
        return w.id != first && w.title.find("安装程序") == std::string::npos;
      },
      5000);
  ASSERT_TRUE(box) << "retry with the product running shows no second prompt";
  box = Settled(*box);
  ASSERT_TRUE(box);
  // The first box fades out (300 ms) while the second opens.
  EXPECT_TRUE(WaitUntilGone(TopLevel{first, {}, {}, {}, 0}));

  // Cancel: the failed page.
  // The first box's end leaves the second on top (no window manager here
  // keeps a transient box above its owner).
  window_driver::SleepMs(400);
  for (const TopLevel& w : x_.WindowsOf(installer->pid())) EXPECT_NE(w.id, first);
  EXPECT_EQ(x_.WindowsOf(installer->pid()).front().id, window->id) << "the main window is on top";
  KeepShot(x_.Grab(box->rect), "prompt-again");
  ClickBoxButton(*box, "btn_no");
  ASSERT_TRUE(WaitForControl(*window, kFailed, "btn_reinstall", 5000));
  ASSERT_TRUE(service_->WaitForStatistics(4));
  EXPECT_EQ(app_test::CountContaining(service_->StatisticsLines(), "User Cancel Install"), 1u);
  // The cancelled box fades out; the next prompt is another window.
  ASSERT_TRUE(WaitUntilGone(*box));

  // Again, and this time the product is closed before retrying.
  ClickControl(*window, Layout(kFailed), "btn_reinstall");
  box = OtherWindow(installer->pid(), 20000);
  ASSERT_TRUE(box);
  running->Kill();
  ClickBoxButton(*box, "btn_yes");
  ASSERT_TRUE(WaitForControl(*window, kInstalled, "btn_startapp", 30000));
  EXPECT_TRUE(app_test::FileExists(install_dir() + "/corvane.exe"));
}

TEST_P(InstallerWindowE2eTest, UncheckedAgreementDisablesInstallUntilCheckedAgain) {
  StartService();
  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();
  PageState unchecked = kWelcome;
  unchecked.agreement = false;
  ClickControl(*window, Layout(kWelcome), "checkbox_agreement");
  ASSERT_TRUE(WaitForControl(*window, unchecked, "btn_startinstall", 2000));
  EXPECT_EQ(CompareWithInspector(*window, unchecked, "agreement-unchecked"), 0);

  ClickControl(*window, Layout(unchecked), "btn_startinstall");
  window_driver::SleepMs(800);
  EXPECT_EQ(CompareWithInspector(*window, unchecked, "install-clicked-while-unchecked"), 0);
  EXPECT_EQ(PackageRequests(), 0u);

  ClickControl(*window, Layout(unchecked), "checkbox_agreement");
  ASSERT_TRUE(WaitForControl(*window, kWelcome, "btn_startinstall", 2000));
  ClickControl(*window, Layout(kWelcome), "btn_startinstall");
  ASSERT_TRUE(WaitForControl(*window, kInstalled, "btn_startapp", 30000));
  EXPECT_GE(PackageRequests(), 1u);
}

TEST_P(InstallerWindowE2eTest, ExitBoxCancelKeepsThePageAndConfirmEndsEverything) {
  StartService();
  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();

  ClickControl(*window, Layout(kWelcome), "btn_exit");
  std::optional<TopLevel> box = OtherWindow(installer->pid());
  ASSERT_TRUE(box) << "no exit box";
  ClickBoxButton(*box, "btn_no");
  // The box fades out for 300 ms, then goes; under Wine without a window
  // manager its X window leaves about two seconds later.
  EXPECT_TRUE(WaitUntilGone(*box, 4000));
  EXPECT_EQ(x_.WindowsOf(installer->pid()).size(), 1u);
  EXPECT_FALSE(installer->Wait(0));
  EXPECT_EQ(CompareWithInspector(*window, kWelcome, "after-cancel"), 0);

  ClickControl(*window, Layout(kWelcome), "btn_exit");
  box = OtherWindow(installer->pid());
  ASSERT_TRUE(box);
  const std::vector<pid_t> children = ChildrenOf(installer->pid());
  ClickBoxButton(*box, "btn_yes");
  ASSERT_TRUE(installer->Wait(5)) << "confirming the exit box did not end the installer";
  EXPECT_TRUE(WIFEXITED(installer->status()) && WEXITSTATUS(installer->status()) == 0);
  for (pid_t child : children) EXPECT_FALSE(ProcessAlive(child)) << "child " << child;
  EXPECT_EQ(PackageRequests(), 0u);
}

TEST_P(InstallerWindowE2eTest, SecondInstancePromptsAndLeavesTheFirstAlone) {
  StartService();
  auto first = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*first);
  ASSERT_TRUE(window) << first->errors();

  auto second = StartInstaller();
  std::optional<TopLevel> prompt = x_.WaitForWindow(
      second->pid(),
      [](const TopLevel& w) { return w.title.find("安装提示") != std::string::npos; }, 20000);
  ASSERT_TRUE(prompt) << "no second-instance prompt: " << second->errors();
  KeepShot(x_.Grab(prompt->rect), "second-instance-prompt");
  // Without an owner it stands centred on the screen (1280 x 1024).
  prompt = Settled(*prompt);
  ASSERT_TRUE(prompt);
  EXPECT_LE(std::abs(prompt->rect.centre_x() - 640), 1) << prompt->rect.left;
  const int above = prompt->rect.top;
  const int below = 1024 - prompt->rect.bottom;
  if (GetParam() == Target::kWindows) {
    // The system centres the box with its frame; with no window manager to
    // draw that frame, Wine's X window is the box's client area alone, so
    // the caption's height (about 20 px) is left above it.
    EXPECT_GE(above - below, 10) << above << " above, " << below << " below";
    EXPECT_LE(above - below, 40) << above << " above, " << below << " below";
  } else {
    EXPECT_LE(std::abs(above - below), 2) << above << " above, " << below << " below";
  }
  EXPECT_TRUE(x_.WindowsOf(second->pid()).size() == 1u);
  // Closing the prompt answers "cancel": the second instance ends, telling why.
  x_.RequestClose(*prompt);
  ASSERT_TRUE(second->Wait(10));
  EXPECT_TRUE(WIFEXITED(second->status()) && WEXITSTATUS(second->status()) == 2);
  EXPECT_NE(second->errors().find("already running"), std::string::npos) << second->errors();

  EXPECT_FALSE(first->Wait(0));
  EXPECT_TRUE(x_.Refresh(*window));
  EXPECT_EQ(CompareWithInspector(*window, kWelcome, "first-after-second"), 0);
  ClickControl(*window, Layout(kWelcome), "btn_startinstall");
  EXPECT_TRUE(WaitForControl(*window, kInstalled, "btn_startapp", 30000));
}

TEST_P(InstallerWindowE2eTest, LinksOpenTheConfiguredAddressesInTheDefaultBrowser) {
  StartService({"--fail-first", "100000", "--fail-status", "404"});
  const std::string opened = RegisterFakeBrowser();
  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();

  ClickControl(*window, Layout(kWelcome), "btn_useragreement");
  std::vector<std::string> lines = OpenedAddresses(opened, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "http://127.0.0.1:" + std::to_string(service_->port()) + "/user-agreement/");

  ClickControl(*window, Layout(kWelcome), "btn_startinstall");
  ASSERT_TRUE(WaitForControl(*window, kFailed, "btn_redownload", 60000));
  ClickControl(*window, Layout(kFailed), "btn_redownload");
  lines = OpenedAddresses(opened, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], package_base_url() + "&donwloadtype=offline");
  EXPECT_FALSE(installer->Wait(0));
}

TEST_P(InstallerWindowE2eTest, KeyboardAloneInstallsAndStartsTheProduct) {
  StartService();
  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();
  PointerInto(*window);
  // Tab walks the stops in the skin's order: as many presses as the
  // inspector needs to reach the install button, whose ring then shows.
  PageState focused = kWelcome;
  focused.tabs = TabsTo(kWelcome, "btn_startinstall");
  ASSERT_GT(focused.tabs, 0);
  for (int i = 0; i < focused.tabs; ++i) x_.Key("Tab");
  ASSERT_TRUE(WaitForControl(*window, focused, "btn_startinstall", 2000));
  EXPECT_EQ(CompareWithInspector(*window, focused, "keyboard-focus"), 0);
  PointerInto(*window);
  x_.Key("space");
  ASSERT_TRUE(WaitForControl(*window, kInstalled, "btn_startapp", 30000));

  // The welcome page's focus went with it; Tab finds the start button, Enter
  // presses it.
  PageState start_focused = kInstalled;
  start_focused.tabs = TabsTo(kInstalled, "btn_startapp");
  ASSERT_GT(start_focused.tabs, 0);
  const SkinLayout& ring = Layout(start_focused);
  const Rect button = window_driver::ToScreen(*window, ring, *ring.Find("btn_startapp"));
  const int offset = ring.OffsetFor(window->rect.width());
  const Picture expected = ring.PictureFor(window->rect.width(), window->rect.height())
                               .Crop(ring.Find("btn_startapp")->Offset(offset, offset));
  bool ringed = false;
  for (int i = 0; i < 6 && !ringed; ++i) {
    x_.Key("Tab");
    for (int waited = 0; waited < 500 && !ringed; waited += 50) {
      ringed = window_driver::CountDiffering(x_.Grab(button), expected, kTolerance) == 0;
      if (!ringed) window_driver::SleepMs(50);
    }
  }
  ASSERT_TRUE(ringed) << "Tab never put the focus on 立即体验";
  x_.Key("Return");
  ASSERT_TRUE(installer->Wait(10)) << "Enter on 立即体验 did not end the installer";
  EXPECT_TRUE(WIFEXITED(installer->status()) && WEXITSTATUS(installer->status()) == 0);
  EXPECT_EQ(app_test::WaitForStartRecords(product_log()).size(), 1u);
}

TEST_P(InstallerWindowE2eTest, ChangeFolderAsksTheSystemChooserModallyAndInstallsWhereChosen) {
  if (GetParam() == Target::kLinux) {
    GTEST_SKIP() << "the GTK folder chooser is driven by the accessibility test (ctest -L a11y)";
  }
  StartService();
  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();
  const PageState customize(Page::kWelcomeCustomize);
  ClickControl(*window, Layout(kWelcome), "btn_customize");
  std::optional<TopLevel> grown;
  for (int i = 0; i < 40 && (!grown || grown->rect.height() == window->rect.height()); ++i) {
    window_driver::SleepMs(50);
    grown = x_.Refresh(*window);
  }
  ASSERT_TRUE(grown);
  ASSERT_TRUE(WaitForControl(*grown, customize, "btn_changeinstallpath", 3000));

  auto open_chooser = [&]() -> std::optional<TopLevel> {
    ClickControl(*grown, Layout(customize), "btn_changeinstallpath");
    std::optional<TopLevel> chooser = x_.WaitForWindow(
        installer->pid(), [](const TopLevel& w) { return w.title == "请选择安装路径"; }, 15000);
    return chooser ? Settled(*chooser) : chooser;
  };
  // Escape cancels: the directory stays.
  std::optional<TopLevel> chooser = open_chooser();
  ASSERT_TRUE(chooser) << "no folder chooser";
  KeepShot(x_.Grab(chooser->rect), "chooser");
  // Modal to the main window: a click on 立即安装 meanwhile does nothing.
  ClickControl(*grown, Layout(customize), "btn_startinstall");
  window_driver::SleepMs(800);
  EXPECT_EQ(PackageRequests(), 0u);
  x_.MoveTo(chooser->rect.centre_x(), chooser->rect.centre_y());
  x_.Key("Escape");
  ASSERT_TRUE(WaitUntilGone(*chooser, 5000));
  EXPECT_TRUE(WaitForControl(*grown, customize, "edit_installdir", 2000));

  // A folder typed into the chooser: the product's own folder is added.
  const std::string picked = env_.dir().Sub("Picked");
  ASSERT_EQ(mkdir(picked.c_str(), 0700), 0);
  chooser = open_chooser();
  ASSERT_TRUE(chooser);
  x_.MoveTo(chooser->rect.centre_x(), chooser->rect.centre_y());
  x_.Type(target_.FileName(picked));
  x_.Key("Return");
  ASSERT_TRUE(WaitUntilGone(*chooser, 5000));
  PageState chosen = customize;
  chosen.directory = target_.FileName(picked + "/brightmoor/corvane");
  ASSERT_TRUE(WaitForControl(*grown, chosen, "edit_installdir", 3000));
  EXPECT_EQ(CompareWithInspector(*grown, chosen, "folder-chosen"), 0);

  ClickControl(*grown, Layout(chosen), "btn_startinstall");
  ASSERT_TRUE(WaitForControl(*window, kInstalled, "btn_startapp", 30000));
  EXPECT_TRUE(app_test::FileExists(picked + "/brightmoor/corvane/corvane.exe"));
  EXPECT_FALSE(app_test::FileExists(install_dir()));
}

TEST_P(InstallerWindowE2eTest, DamagedSkinArchiveShowsTheBoxAndEndsBeforeAnythingIsFetched) {
  StartService();
  const std::string damaged = env_.dir().Sub("damaged.zip");
  app_test::WriteFile(damaged, std::string("PK\x03\x04", 4) + std::string(4000, '\x5a'));
  auto installer = StartInstallerFile(InstallerWithTheme(damaged));
  std::optional<TopLevel> box = x_.WaitForWindow(
      installer->pid(),
      [](const TopLevel& w) { return w.title.find("安装提示") != std::string::npos; }, 20000);
  ASSERT_TRUE(box) << "no error box: " << installer->errors();
  KeepShot(x_.Grab(box->rect), "damaged-skin-box");
  // Only the box: no main window was made.
  EXPECT_EQ(x_.WindowsOf(installer->pid()).size(), 1u);
  x_.RequestClose(*box);
  ASSERT_TRUE(installer->Wait(10));
  EXPECT_TRUE(WIFEXITED(installer->status()) && WEXITSTATUS(installer->status()) == 1);
  EXPECT_NE(installer->errors().find("skin archive"), std::string::npos) << installer->errors();
  EXPECT_EQ(PackageRequests(), 0u);
  EXPECT_FALSE(app_test::FileExists(install_dir()));
}

TEST_P(InstallerWindowE2eTest, SkinPictureNoDecoderReadsIsLeftOutAndTheWindowStillWorks) {
  StartService();
  // The shipped archive with the page's background picture replaced by bytes
  // that start like a PNG and are none.
  const std::string archive = env_.dir().Sub("undecodable.zip");
  std::string output;
  ui::ChildProcess repack;
  ASSERT_TRUE(repack.Start({"python3", "-c",
                            "import sys, zipfile\n"
                            "src = zipfile.ZipFile(sys.argv[1])\n"
                            "with zipfile.ZipFile(sys.argv[2], 'w') as out:\n"
                            "    for info in src.infolist():\n"
                            "        data = src.read(info.filename)\n"
                            "        if info.filename.endswith('/basic/bkg_top.png'):\n"
                            "            data = b'\\x89PNG\\r\\n\\x1a\\n' + bytes(300)\n"
                            "        out.writestr(info, data)\n",
                            target_.dir + "/resources/theme.zip", archive}));
  ASSERT_EQ(repack.Wait(20000), 0) << repack.GetStderr();
  const SkinLayout intact = Layout(kWelcome);
  auto installer = StartInstallerFile(InstallerWithTheme(archive));
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();
  // The picture is missing where it was (the page's colour shows), the rest
  // is as the inspector of the same archive paints it.
  EXPECT_GT(window_driver::CountDiffering(intact.picture(), Layout(kWelcome).picture(), 0), 1000);
  EXPECT_EQ(CompareWithInspector(*window, kWelcome, "without-background"), 0);
  ClickControl(*window, Layout(kWelcome), "btn_startinstall");
  ASSERT_TRUE(WaitForControl(*window, kInstalled, "btn_startapp", 30000));
  EXPECT_FALSE(installer->Wait(0));
}

INSTANTIATE_TEST_SUITE_P(Linux, InstallerWindowE2eTest, ::testing::Values(Target::kLinux),
                         TargetParamName);
INSTANTIATE_TEST_SUITE_P(Windows, InstallerWindowE2eTest, ::testing::Values(Target::kWindows),
                         TargetParamName);

}  // namespace
}  // namespace e2e
