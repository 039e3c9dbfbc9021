// The Windows skin inspector's real window (--show, --watch) under Wine on a
// private Xvfb: clicks reach the skin's controls, edits of the skin folder
// rebuild the window in place, a broken edit shows the parser's error.

#include <filesystem>
#include <fstream>

#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

class WindowsInspectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!windows_.Available(&why)) GTEST_SKIP() << why;
    if (!server_.Start("1280x1024x24")) GTEST_SKIP() << "no private X server (Xvfb)";
    ASSERT_TRUE(x_.Open(server_.display()));
    env_.Set("DISPLAY", server_.display());
    if (const char* prefix = std::getenv("WINEPREFIX"); !prefix || !*prefix) {
      env_.Set("WINEPREFIX", windows_.dir + "/wineprefix");
    }
    env_.Set("WINEDEBUG", "-all");
    env_.Set("WINEDLLOVERRIDES", "mscoree=;mshtml=");
  }

  static void Rewrite(const fs::path& file, const std::string& from, const std::string& to) {
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    std::ofstream(file, std::ios::trunc) << text;
  }

  const TargetBuild windows_ = TargetBuild::Of(Target::kWindows);
  app_test::ScopedUserEnvironment env_;
  ui::XServer server_;
  window_driver::XSession x_;
};

TEST_F(WindowsInspectorTest, ShownSkinTakesClicksAndFollowsEditsOfItsFolder) {
  const std::string resources = env_.dir().Sub("resources");
  fs::copy(CORVANE_SOURCE_DIR "/resources", resources, fs::copy_options::recursive);
  const std::string skin = "msgbox/msgbox.xml";
  ui::ChildProcess shown;
  ASSERT_TRUE(shown.Start(windows_.inspector.Command(
      {"--resources", windows_.FileName(resources), "--show", "--watch", skin})));
  ASSERT_TRUE(shown.WaitForLine("shown ", 30000)) << shown.GetStderr();
  std::optional<TopLevel> window = x_.WaitForWindow(
      shown.pid(), [](const TopLevel& w) { return w.title == "skin_inspector: msgbox/msgbox.xml"; },
      10000);
  ASSERT_TRUE(window);
  // Centred on the 1280 x 1024 screen, at the desktop's 96 DPI.
  EXPECT_LE(std::abs(window->rect.centre_x() - 640), 1);

  std::string error;
  std::optional<SkinLayout> layout = SkinLayout::Inspect(
      windows_.inspector, {"--resources", windows_.FileName(resources), skin}, &error);
  ASSERT_TRUE(layout) << error;
  EXPECT_EQ(window->rect.width(), layout->width());
  const Rect yes = window_driver::ToScreen(*window, *layout, *layout->Find("btn_yes"));
  x_.Click(yes.centre_x(), yes.centre_y());
  EXPECT_TRUE(shown.WaitForLine("click btn_yes", 5000)) << shown.GetStdout();

  // An edit rebuilds the window where it stands; a broken one says why and
  // keeps the window; the next good one rebuilds it again.
  const fs::path markup = fs::path(resources) / "themes/default/msgbox/msgbox.xml";
  Rewrite(markup, "<Window", "<Window mininfo=\"10,10\"");
  EXPECT_TRUE(shown.WaitForLine("rebuilt", 10000)) << shown.GetStdout();
  Rewrite(markup, "<Window", "<Window <");
  EXPECT_TRUE(shown.WaitForLine("error ", 10000)) << shown.GetStdout();
  Rewrite(markup, "<Window <", "<Window");
  EXPECT_TRUE(shown.WaitForLine("rebuilt", 10000)) << shown.GetStdout();

  // The skin's close button ends the previewer.
  window = x_.WaitForWindow(
      shown.pid(), [](const TopLevel& w) { return w.title == "skin_inspector: msgbox/msgbox.xml"; },
      10000);
  ASSERT_TRUE(window);
  const Rect close = window_driver::ToScreen(*window, *layout, *layout->Find("closebtn"));
  x_.Click(close.centre_x(), close.centre_y());
  EXPECT_EQ(shown.Wait(10000), 0) << shown.GetStderr();
}

TEST_F(WindowsInspectorTest, BadUsageAndSkinsThatDoNotBuildFailWithoutAWindow) {
  auto run = [this](const std::vector<std::string>& args) {
    ui::ChildProcess inspector;
    EXPECT_TRUE(inspector.Start(windows_.inspector.Command(args)));
    const int status = inspector.Wait(30000);
    return std::make_pair(status, inspector.GetStderr());
  };
  EXPECT_EQ(run({"--tab", "0", "basic/basic.xml"}).first, 2);
  EXPECT_EQ(run({"--resources", "x", "--installer", "y", "basic/basic.xml"}).first, 2);
  const auto missing = run({"--resources", windows_.FileName(CORVANE_SOURCE_DIR "/resources"),
                            "--show", "nothing/nothing.xml"});
  EXPECT_EQ(missing.first, 1);
  EXPECT_NE(missing.second.find("cannot build"), std::string::npos) << missing.second;
  // A file that is no program has no skin archive.
  const auto no_program =
      run({"--installer", windows_.FileName(CORVANE_SOURCE_DIR "/README.md"), "basic/basic.xml"});
  EXPECT_EQ(no_program.first, 1);
  EXPECT_NE(no_program.second.find("no skin archive"), std::string::npos) << no_program.second;
  EXPECT_TRUE(x_.TopLevels().empty());
}

}  // namespace
}  // namespace e2e
