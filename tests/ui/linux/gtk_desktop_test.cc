// The skin previewer on private desktops: a bare X server, one with a
// compositing manager, higher DPI, headless Weston; and its failure paths.

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "desktop_process_support.h"
#include "gtk_test_support.h"

namespace ui {
namespace {

namespace fs = std::filesystem;

struct Shown {
  int width = 0;
  int height = 0;
  int x = 0;
  int y = 0;
  int scale = 0;
};

std::optional<Shown> ParseShown(const std::optional<std::string>& line) {
  if (!line) return std::nullopt;
  Shown s;
  if (std::sscanf(line->c_str(), "shown %dx%d at %d,%d scale %d", &s.width, &s.height, &s.x, &s.y,
                  &s.scale) != 5) {
    return std::nullopt;
  }
  return s;
}

std::vector<std::string> ShowArgs(const std::string& resources, const std::string& skin,
                                  bool watch = false) {
  std::vector<std::string> args = {SkinInspectorPath(), "--resources", resources, "--show"};
  if (watch) args.push_back("--watch");
  args.push_back(skin);
  return args;
}

// The rect the headless picture gives a named control ("Type "name" (l,t,r,b)").
std::optional<UiRect> ControlRect(const std::string& tree, const std::string& name) {
  const std::regex pattern("\"" + name + "\" \\((-?\\d+),(-?\\d+),(-?\\d+),(-?\\d+)\\)");
  std::smatch match;
  if (!std::regex_search(tree, match, pattern)) return std::nullopt;
  return UiRect(std::stoi(match[1]), std::stoi(match[2]), std::stoi(match[3]), std::stoi(match[4]));
}

// The unnamed boxes of the picture: the shadow box (the whole window), then
// the skin's root inside it.
std::vector<UiRect> UnnamedRects(const std::string& tree) {
  std::vector<UiRect> rects;
  const std::regex pattern("\"\" \\((-?\\d+),(-?\\d+),(-?\\d+),(-?\\d+)\\)");
  for (auto it = std::sregex_iterator(tree.begin(), tree.end(), pattern);
       it != std::sregex_iterator() && rects.size() < 2; ++it) {
    const std::smatch& m = *it;
    rects.emplace_back(std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]));
  }
  return rects;
}

uint32_t PixelAt(XImage* image, int x, int y) {
  return static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu;
}

void Click(Display* display, int x, int y) {
  XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XFlush(display);
}

class DesktopTest : public ::testing::Test {
 protected:
  void StartX(const std::string& screen = "1280x1024x24") {
    ASSERT_TRUE(x_.Start(screen)) << "Xvfb did not start";
    display_ = XOpenDisplay(x_.display().c_str());
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
  }
  std::map<std::string, std::string> XEnv() const {
    return {{"DISPLAY", x_.display()}, {"GDK_BACKEND", "x11"}, {"WAYLAND_DISPLAY", ""}};
  }

  XServer x_;
  Display* display_ = nullptr;
};

TEST_F(DesktopTest, ShownSkinTakesRealClicks) {
  StartX();
  ChildProcess tree;
  ASSERT_TRUE(tree.Start({SkinInspectorPath(), "--resources", ResourcesPath(), "basic/basic.xml"}));
  ASSERT_EQ(tree.Wait(20000), 0);
  const std::optional<UiRect> button = ControlRect(tree.GetStdout(), "btn_startinstall");
  ASSERT_TRUE(button);
  const std::vector<UiRect> boxes = UnnamedRects(tree.GetStdout());
  ASSERT_EQ(boxes.size(), 2u);

  ChildProcess show;
  ASSERT_TRUE(show.Start(ShowArgs(ResourcesPath(), "basic/basic.xml"), XEnv()));
  const std::optional<Shown> shown = ParseShown(show.WaitForLine("shown", 20000));
  ASSERT_TRUE(shown) << show.GetStderr();
  // No compositor: the window is the content without the shadow of the picture.
  EXPECT_EQ(shown->width, boxes[1].GetWidth());
  EXPECT_EQ(shown->height, boxes[1].GetHeight());
  Click(display_, shown->x + (button->left + button->right) / 2 - boxes[1].left,
        shown->y + (button->top + button->bottom) / 2 - boxes[1].top);
  EXPECT_TRUE(show.WaitForLine("click btn_startinstall", 5000)) << show.GetStdout();
}

// The skin's own close button closes the previewer's window, and the
// previewer ends cleanly after it (it used to call into the deleted window).
TEST_F(DesktopTest, CloseButtonOfTheSkinEndsThePreviewerCleanly) {
  StartX();
  ChildProcess tree;
  ASSERT_TRUE(
      tree.Start({SkinInspectorPath(), "--resources", ResourcesPath(), "msgbox/msgbox.xml"}));
  ASSERT_EQ(tree.Wait(20000), 0);
  const std::optional<UiRect> close = ControlRect(tree.GetStdout(), "closebtn");
  ASSERT_TRUE(close);
  const std::vector<UiRect> boxes = UnnamedRects(tree.GetStdout());
  ASSERT_EQ(boxes.size(), 2u);

  for (bool watch : {false, true}) {
    SCOPED_TRACE(watch ? "--watch" : "--show");
    ChildProcess show;
    ASSERT_TRUE(show.Start(ShowArgs(ResourcesPath(), "msgbox/msgbox.xml", watch), XEnv()));
    const std::optional<Shown> shown = ParseShown(show.WaitForLine("shown", 20000));
    ASSERT_TRUE(shown) << show.GetStderr();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the fade-in
    Click(display_, shown->x + (close->left + close->right) / 2 - boxes[1].left,
          shown->y + (close->top + close->bottom) / 2 - boxes[1].top);
    EXPECT_TRUE(show.WaitForLine("click closebtn", 5000)) << show.GetStdout();
    // Ended by itself with status 0: no signal, no kill after the wait.
    EXPECT_EQ(show.Wait(10000), 0) << show.GetStderr();
  }
}

TEST_F(DesktopTest, CompositedWindowShowsItsShadowAndTransparentCorners) {
  StartX();
  ChildProcess compositor;
  ASSERT_TRUE(compositor.Start({"xcompmgr"}, XEnv()));
  const Atom selection = XInternAtom(display_, "_NET_WM_CM_S0", False);
  for (int i = 0; i < 200 && XGetSelectionOwner(display_, selection) == None; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_NE(XGetSelectionOwner(display_, selection), static_cast<::Window>(None))
      << "xcompmgr did not take the screen";

  ChildProcess show;
  ASSERT_TRUE(show.Start(ShowArgs(ResourcesPath(), "basic/basic.xml"), XEnv()));
  const std::optional<Shown> shown = ParseShown(show.WaitForLine("shown", 20000));
  ASSERT_TRUE(shown) << show.GetStderr();
  std::this_thread::sleep_for(std::chrono::milliseconds(800));  // fade-in and composition

  // The picture of the same skin (shadow included) tells where the content is.
  const std::string png = ::testing::TempDir() + "composited_content.png";
  ChildProcess picture;
  ASSERT_TRUE(picture.Start(
      {SkinInspectorPath(), "--resources", ResourcesPath(), "--png", png, "basic/basic.xml"}));
  ASSERT_EQ(picture.Wait(20000), 0);
  const std::vector<UiRect> boxes = UnnamedRects(picture.GetStdout());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(shown->width, boxes[0].GetWidth());  // composited: the shadow stays
  EXPECT_EQ(shown->height, boxes[0].GetHeight());
  const int corner_x = boxes[1].left;
  const int corner_y = boxes[1].top;
  ASSERT_GT(corner_x, 0);
  ASSERT_GT(corner_y, 0);

  XImage* image = XGetImage(display_, DefaultRootWindow(display_), shown->x, shown->y,
                            static_cast<unsigned>(shown->width),
                            static_cast<unsigned>(shown->height), AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  XImage* outside =
      XGetImage(display_, DefaultRootWindow(display_), 0, 0, 1, 1, AllPlanes, ZPixmap);
  const uint32_t background = PixelAt(outside, 0, 0);
  // The outer corners show the desktop; the shadow darkens the band beside the content.
  EXPECT_EQ(PixelAt(image, 0, 0), background);
  EXPECT_EQ(PixelAt(image, shown->width - 1, shown->height - 1), background);
  EXPECT_NE(PixelAt(image, corner_x - 2, shown->height / 2), background);
  EXPECT_NE(PixelAt(image, shown->width / 2, shown->height - corner_y + 1), background);
  // Where the picture is opaque the screen shows it exactly, whatever lies
  // behind; the content and its shadow are where the picture puts them.
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(png.c_str(), nullptr);
  ASSERT_NE(pixbuf, nullptr);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  int differing = 0;
  int compared = 0;
  ASSERT_EQ(gdk_pixbuf_get_width(pixbuf), shown->width);
  for (int y = 0; y < shown->height; y += 3) {
    for (int x = 0; x < shown->width; x += 3) {
      const guchar* p = pixels + y * stride + x * channels;
      if (channels == 4 && p[3] != 255) continue;
      const uint32_t expected =
          (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
      ++compared;
      if (PixelAt(image, x, y) != expected) ++differing;
    }
  }
  EXPECT_GT(compared, 10000);
  EXPECT_EQ(differing, 0);
  g_object_unref(pixbuf);
  XDestroyImage(outside);
  XDestroyImage(image);
}

// The size of the skin's window at a DPI setting, and the theme it picked.
struct DpiResult {
  Shown shown;
  std::string theme;
  int x_width = 0;
  int x_height = 0;
};

class DpiTest : public DesktopTest {
 protected:
  std::optional<DpiResult> ShowAt(std::map<std::string, std::string> extra) {
    std::map<std::string, std::string> env = XEnv();
    env.insert(extra.begin(), extra.end());
    ChildProcess show;
    if (!show.Start(ShowArgs(ResourcesPath(), "basic/basic.xml"), env)) return std::nullopt;
    DpiResult result;
    std::optional<std::string> theme = show.WaitForLine("theme", 20000);
    std::optional<Shown> shown = ParseShown(show.WaitForLine("shown", 20000));
    if (!theme || !shown) return std::nullopt;
    result.shown = *shown;
    result.theme = theme->substr(6, theme->find(' ', 6) - 6);
    // What the X server itself says about the window.
    ChildProcess geometry;
    geometry.Start({"xdotool", "search", "--onlyvisible", "--name", "skin_inspector: basic",
                    "getwindowgeometry"},
                   env);
    geometry.Wait(10000);
    const std::string text = geometry.GetStdout();
    const size_t at = text.find("Geometry: ");
    if (at != std::string::npos) {
      std::sscanf(text.c_str() + at, "Geometry: %dx%d", &result.x_width, &result.x_height);
    }
    return result;
  }
};

TEST_F(DpiTest, HigherDpiPicksTheThemeAndScalesTheWindow) {
  StartX("1920x1200x24");
  const std::optional<DpiResult> normal = ShowAt({});
  ASSERT_TRUE(normal);
  EXPECT_EQ(normal->shown.scale, 100);
  EXPECT_EQ(normal->theme, "themes/default");
  EXPECT_EQ(normal->x_width, normal->shown.width);

  // 150 %: a larger font resolution (what Xft.dpi 144 gives GTK).
  const std::optional<DpiResult> one_half = ShowAt({{"GDK_DPI_SCALE", "1.5"}});
  ASSERT_TRUE(one_half);
  EXPECT_EQ(one_half->shown.scale, 150);
  EXPECT_EQ(one_half->theme, "themes/default-xhdpi");
  EXPECT_EQ(one_half->shown.width, normal->shown.width * 3 / 2);
  EXPECT_EQ(one_half->shown.height, normal->shown.height * 3 / 2);
  EXPECT_EQ(one_half->x_width, one_half->shown.width);

  // 200 %: a monitor scale factor of 2.
  const std::optional<DpiResult> twice = ShowAt({{"GDK_SCALE", "2"}});
  ASSERT_TRUE(twice);
  EXPECT_EQ(twice->shown.scale, 200);
  EXPECT_EQ(twice->theme, "themes/default-xhdpi");
  EXPECT_EQ(twice->shown.width, normal->shown.width * 2);
  EXPECT_EQ(twice->x_width, twice->shown.width);
  EXPECT_EQ(twice->x_height, twice->shown.height);
}

TEST(WaylandTest, SkinPaintsItsFirstFrameUnderHeadlessWeston) {
  if (access("/usr/bin/weston", X_OK) != 0) GTEST_SKIP() << "weston is not installed";
  const std::string runtime = ::testing::TempDir() + "wayland-runtime-" + std::to_string(getpid());
  fs::create_directories(runtime);
  chmod(runtime.c_str(), 0700);
  const std::string socket = "corvane-test-" + std::to_string(getpid());
  ChildProcess weston;
  ASSERT_TRUE(weston.Start(
      {"weston", "--backend=headless-backend.so", "--socket=" + socket, "--idle-time=0"},
      {{"XDG_RUNTIME_DIR", runtime}, {"DISPLAY", ""}}));
  bool ready = false;
  for (int i = 0; i < 300 && !ready; ++i) {
    ready = fs::exists(runtime + "/" + socket);
    if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!ready) {
    weston.Kill();
    GTEST_SKIP() << "weston cannot start here: " << weston.GetStderr().substr(0, 400);
  }
  ChildProcess show;
  ASSERT_TRUE(
      show.Start(ShowArgs(ResourcesPath(), "basic/basic.xml"), {{"XDG_RUNTIME_DIR", runtime},
                                                                {"WAYLAND_DISPLAY", socket},
                                                                {"GDK_BACKEND", "wayland"},
                                                                {"DISPLAY", ""}}));
  const std::optional<Shown> shown = ParseShown(show.WaitForLine("shown", 20000));
  EXPECT_TRUE(shown) << show.GetStderr();
  if (shown) {
    EXPECT_GE(shown->width, 600);
  }
  show.Kill();
  weston.Kill();
  fs::remove_all(runtime);
}

// A theme folder of its own, so that the tests can break and mend it.
class SkinFolderTest : public DesktopTest {
 protected:
  void SetUp() override {
    root_ = ::testing::TempDir() + "skin-folder-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root_);
    fs::create_directories(root_ + "/themes");
    fs::copy(ResourcesPath() + "/themes/default", root_ + "/themes/default",
             fs::copy_options::recursive);
    fs::copy(ResourcesPath() + "/lang", root_ + "/lang", fs::copy_options::recursive);
  }
  void TearDown() override {
    DesktopTest::TearDown();
    fs::remove_all(root_);
  }
  void Write(const std::string& relative, const std::string& text) {
    std::ofstream(root_ + "/themes/default/" + relative) << text;
  }
  std::string Read(const std::string& relative) {
    std::ifstream in(root_ + "/themes/default/" + relative);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string root_;
};

TEST_F(SkinFolderTest, BrokenSkinOrMissingImageGivesTheErrorAndNoWindow) {
  StartX();
  Write("basic/broken.xml", "<Window size=\"300,200\"><VBox><Label></VBox></Window>");
  ChildProcess broken;
  ASSERT_TRUE(broken.Start(ShowArgs(root_, "basic/broken.xml"), XEnv()));
  EXPECT_EQ(broken.Wait(20000), 1);
  EXPECT_NE(broken.GetStderr().find("cannot build basic/broken.xml"), std::string::npos)
      << broken.GetStderr();
  EXPECT_EQ(broken.GetStdout().find("shown"), std::string::npos);

  Write("basic/pictures.xml",
        "<Window size=\"300,200\"><VBox bkimage=\"no_such_picture.png\"/></Window>");
  ChildProcess missing;
  ASSERT_TRUE(missing.Start(ShowArgs(root_, "basic/pictures.xml"), XEnv()));
  EXPECT_EQ(missing.Wait(20000), 1);
  EXPECT_NE(missing.GetStderr().find("missing image"), std::string::npos) << missing.GetStderr();
  EXPECT_NE(missing.GetStderr().find("no_such_picture.png"), std::string::npos);
  EXPECT_EQ(missing.GetStdout().find("shown"), std::string::npos);
}

TEST_F(SkinFolderTest, WatchRebuildsInPlaceAndShowsParserErrorsInsteadOfClosing) {
  StartX();
  ChildProcess show;
  ASSERT_TRUE(show.Start(ShowArgs(root_, "basic/basic.xml", true), XEnv()));
  ASSERT_TRUE(show.WaitForLine("watching", 20000)) << show.GetStderr();
  const std::optional<Shown> first = ParseShown(show.WaitForLine("shown", 20000));
  ASSERT_TRUE(first) << show.GetStderr();

  const std::string good = Read("basic/basic.xml");
  std::string wider = good;
  wider.replace(wider.find("size=\"600,400\""), 14, "size=\"640,400\"");
  Write("basic/basic.xml", wider);
  ASSERT_TRUE(show.WaitForLine("rebuilt", 10000)) << show.GetStderr();
  const std::optional<Shown> second = ParseShown(show.WaitForLine("shown", 10000));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->width, first->width + 40);
  EXPECT_EQ(second->x, first->x);  // kept where it was
  EXPECT_EQ(second->y, first->y);

  Write("basic/basic.xml", "<Window><VBox></Window>");
  const std::optional<std::string> error = show.WaitForLine("error", 10000);
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("Failed to load xml file"), std::string::npos);
  EXPECT_TRUE(show.IsRunning());

  Write("basic/basic.xml", good);
  ASSERT_TRUE(show.WaitForLine("rebuilt", 10000)) << show.GetStderr();
  const std::optional<Shown> third = ParseShown(show.WaitForLine("shown", 10000));
  ASSERT_TRUE(third);
  EXPECT_EQ(third->width, first->width);
  EXPECT_EQ(third->x, first->x);
}

// Without a free inotify instance the folder is polled: an edit still
// rebuilds the window in place.
TEST_F(SkinFolderTest, WatchWithoutInotifyPollsTheFolder) {
  StartX();
  std::map<std::string, std::string> env = XEnv();
  env["LD_PRELOAD"] = CORVANE_NO_INOTIFY_PRELOAD;
  // A sanitized previewer accepts a library preloaded before its runtime.
  const char* asan = std::getenv("ASAN_OPTIONS");
  env["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
  ChildProcess show;
  ASSERT_TRUE(show.Start(ShowArgs(root_, "basic/basic.xml", true), env));
  const std::optional<std::string> watching = show.WaitForLine("watching", 20000);
  ASSERT_TRUE(watching) << show.GetStderr();
  EXPECT_NE(watching->find("(polling"), std::string::npos) << *watching;
  const std::optional<Shown> first = ParseShown(show.WaitForLine("shown", 20000));
  ASSERT_TRUE(first) << show.GetStderr();

  std::string wider = Read("basic/basic.xml");
  wider.replace(wider.find("size=\"600,400\""), 14, "size=\"640,400\"");
  Write("basic/basic.xml", wider);
  ASSERT_TRUE(show.WaitForLine("rebuilt", 10000)) << show.GetStderr();
  const std::optional<Shown> second = ParseShown(show.WaitForLine("shown", 10000));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->width, first->width + 40);
  EXPECT_TRUE(show.IsRunning());
}

}  // namespace
}  // namespace ui
