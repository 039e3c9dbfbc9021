// Window sizes the builder takes from the desktop's work area, which needs
// GDK: the percentages of the work area's height.

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/layout_test_support.h"

namespace ui {
namespace {

using testing::SkinWindow;

// Heights the builder derives from "heightpercent" values, without shadow sides.
std::vector<int> HeightsFromPercent(const std::vector<std::wstring>& values) {
  std::vector<int> heights;
  for (const std::wstring& value : values) {
    SkinWindow w;
    WindowBuilder builder;
    std::unique_ptr<Control> root(builder.Build(
        L"<Window shadowattached=\"false\" heightpercent=\"" + value + L"\"><VBox/></Window>", {},
        w.window()));
    heights.push_back(w.window()->GetSkinAttributes().init_size.cy);
  }
  return heights;
}

TEST(BuilderWindowTest, HeightPercentOutOfRangeSaturatesInsteadOfWrapping) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs a display for the work area";
  // The work area needs GDK, which this process keeps uninitialised: a child does it.
  EXPECT_EXIT(
      {
        if (!gdk_init_check(nullptr, nullptr)) std::_Exit(2);
        const std::vector<int> h = HeightsFromPercent({L"0.5", L"1e300", L"-1e300", L"nan"});
        std::fprintf(stderr, "heights %d %d %d %d\n", h[0], h[1], h[2], h[3]);
        const bool ok =
            h[0] > 0 && h[0] < 100000 && h[1] == (1 << 30) && h[2] == -(1 << 30) && h[3] == 0;
        std::_Exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace ui
