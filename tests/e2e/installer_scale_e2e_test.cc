// The installer's window at the usual display scales: the theme folder the
// monitor's resolution selects, the pages as the skin inspector paints them
// at that scale, and the custom-install bar's scaled height.

#include <tuple>

#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

struct ScaleCase {
  int scale;
  int dpi;
  int bar_height;  // the custom bar: 48 px scaled
};

class InstallerScaleE2eTest : public InstallerE2eTest,
                              public ::testing::WithParamInterface<std::tuple<Target, ScaleCase>> {
 protected:
  InstallerScaleE2eTest() : InstallerE2eTest(std::get<0>(GetParam())) {}
};

TEST_P(InstallerScaleE2eTest, PagesEqualTheInspectorsAndTheCustomBarResizesByItsScaledHeight) {
  const ScaleCase c = std::get<1>(GetParam());
  StartService();
  auto installer = StartInstaller(c.scale);
  std::optional<TopLevel> window = MainWindow(installer->pid());
  ASSERT_TRUE(window) << installer->errors();
  EXPECT_EQ(window_driver::ScaleOfMainWindow(window->rect.width()), c.scale)
      << window->rect.width();
  const PageState welcome(Page::kWelcome);
  ASSERT_TRUE(WaitForControl(*window, welcome, "btn_startinstall", 5000));
  // Centred on the 1280 x 1024 screen.
  EXPECT_LE(std::abs(window->rect.centre_x() - 640), 1);
  EXPECT_LE(std::abs(window->rect.centre_y() - 512), 1);
  EXPECT_EQ(CompareWithInspector(*window, welcome, "welcome"), 0);

  // The exit box stands centred on the main window once its text has set its height.
  ClickControl(*window, Layout(welcome), "btn_exit");
  std::optional<TopLevel> box = OtherWindow(installer->pid());
  ASSERT_TRUE(box) << "no exit box";
  window_driver::SleepMs(300);
  box = Settled(*box);
  ASSERT_TRUE(box);
  EXPECT_LE(std::abs(box->rect.centre_x() - window->rect.centre_x()), 1);
  EXPECT_LE(std::abs(box->rect.centre_y() - window->rect.centre_y()), 1);
  ClickBoxButton(*box, "btn_no");
  ASSERT_TRUE(WaitUntilGone(*box));

  const Rect before = window->rect;
  ClickControl(*window, Layout(welcome), "btn_expand");
  std::optional<TopLevel> grown;
  for (int i = 0; i < 40; ++i) {
    grown = x_.Refresh(*window);
    if (grown && grown->rect.height() != before.height()) break;
    window_driver::SleepMs(50);
  }
  ASSERT_TRUE(grown);
  EXPECT_EQ(grown->rect.height() - before.height(), c.bar_height);
  EXPECT_EQ(grown->rect.top, before.top);
  EXPECT_EQ(grown->rect.width(), before.width());
  EXPECT_EQ(CompareWithInspector(*grown, PageState(Page::kWelcomeCustomize), "customize-bar"), 0);

  ClickControl(*grown, Layout(PageState(Page::kWelcomeCustomize)), "btn_expand");
  std::optional<TopLevel> shrunk;
  for (int i = 0; i < 40; ++i) {
    shrunk = x_.Refresh(*window);
    if (shrunk && shrunk->rect.height() != grown->rect.height()) break;
    window_driver::SleepMs(50);
  }
  ASSERT_TRUE(shrunk);
  EXPECT_EQ(shrunk->rect, before);
  EXPECT_EQ(CompareWithInspector(*shrunk, welcome, "welcome-again"), 0);

  ClickControl(*shrunk, Layout(welcome), "btn_startinstall");
  ASSERT_TRUE(WaitForControl(*shrunk, PageState(Page::kInstalled), "btn_startapp", 30000));
  EXPECT_EQ(CompareWithInspector(*shrunk, PageState(Page::kInstalled), "installed"), 0);

  // The start record tells the resolution the theme was chosen by.
  ASSERT_TRUE(service_->WaitForStatistics(1));
  const std::string start = service_->StatisticsLines().front();
  EXPECT_NE(start.find("AppStart"), std::string::npos);
  EXPECT_NE(start.find("\\\"Dpi\\\":\\\"" + std::to_string(c.dpi) + "\\\""), std::string::npos)
      << start;
}

const auto kScales =
    ::testing::Values(ScaleCase{100, 96, 48}, ScaleCase{150, 144, 72}, ScaleCase{200, 192, 96});

std::string ScaleName(const ::testing::TestParamInfo<std::tuple<Target, ScaleCase>>& info) {
  return "Scale" + std::to_string(std::get<1>(info.param).scale);
}

INSTANTIATE_TEST_SUITE_P(Linux, InstallerScaleE2eTest,
                         ::testing::Combine(::testing::Values(Target::kLinux), kScales), ScaleName);
INSTANTIATE_TEST_SUITE_P(Windows, InstallerScaleE2eTest,
                         ::testing::Combine(::testing::Values(Target::kWindows), kScales),
                         ScaleName);

}  // namespace
}  // namespace e2e
