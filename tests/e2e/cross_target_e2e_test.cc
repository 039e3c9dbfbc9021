// The shipped skins through both targets' skin inspectors: the Linux build's
// (Cairo and Pango) and the Windows build's under Wine (GDI+). The controls
// stand in the same rectangles; the pictures agree wherever no text is
// drawn, and each text stands where the other target draws it.

#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kScales[] = {100, 150, 200};

// One window of a shipped skin in one state: the inspector's arguments
// after the skin source (--installer or --resources).
struct SkinState {
  std::string name;
  std::vector<std::string> args;
};

// Every window skin of the default theme (skin/skin.xml), the main window in
// each of its page states.
std::vector<SkinState> ShippedSkinStates(int scale) {
  std::vector<SkinState> states;
  const std::string theme = window_driver::ThemeForScale(scale);
  const std::vector<std::string> common = {"--theme", theme, "--scale", std::to_string(scale)};
  for (const auto& entry : fs::directory_iterator(CORVANE_SOURCE_DIR "/resources/themes/default")) {
    if (!entry.is_directory()) continue;
    const std::string folder = entry.path().filename().string();
    const std::string skin = folder + "/" + folder + ".xml";
    if (!fs::exists(entry.path() / (folder + ".xml"))) continue;
    if (skin != "basic/basic.xml") {
      std::vector<std::string> args = common;
      args.push_back(skin);
      states.push_back({folder, args});
      continue;
    }
    const std::pair<const char*, PageState> pages[] = {
        {"welcome", PageState(Page::kWelcome)},
        {"customize", PageState(Page::kWelcomeCustomize)},
        {"installing", PageState(Page::kInstalling, 42, true)},
        {"installed", PageState(Page::kInstalled)},
        {"failed", PageState(Page::kFailed)},
    };
    for (const auto& [name, page] : pages) {
      // The arguments after "--installer FILE".
      std::vector<std::string> args = window_driver::MainWindowArgs("", scale, page);
      args.erase(args.begin(), args.begin() + 2);
      states.push_back({std::string("basic-") + name, args});
    }
  }
  return states;
}

class CrossTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    for (const TargetBuild* build : {&linux_, &windows_}) {
      if (!build->Available(&why)) GTEST_SKIP() << why;
    }
    if (const char* prefix = std::getenv("WINEPREFIX"); !prefix || !*prefix) {
      env_.Set("WINEPREFIX", windows_.dir + "/wineprefix");
    }
    env_.Set("WINEDEBUG", "-all");
    env_.Set("WINEDLLOVERRIDES", "mscoree=;mshtml=");
  }

  // The inspector of `build` on its own installer's skin archive.
  std::optional<SkinLayout> FromInstaller(const TargetBuild& build, std::vector<std::string> args) {
    args.insert(args.begin(), {"--installer", build.FileName(build.installer)});
    return Run(build, args);
  }
  // The inspector of `build` on a resource folder on disk.
  std::optional<SkinLayout> FromFolder(const TargetBuild& build, const std::string& folder,
                                       std::vector<std::string> args) {
    args.insert(args.begin(), {"--resources", build.FileName(folder)});
    return Run(build, args);
  }

  std::optional<SkinLayout> Run(const TargetBuild& build, const std::vector<std::string>& args) {
    std::string error;
    std::optional<SkinLayout> layout = SkinLayout::Inspect(build.inspector, args, &error);
    EXPECT_TRUE(layout) << TargetName(build.target) << ": " << error;
    return layout;
  }

  // A copy of the shipped resources whose skins draw no text at all.
  std::string TextFreeResources() {
    const std::string copy = env_.dir().Sub("textless");
    fs::copy(CORVANE_SOURCE_DIR "/resources", copy, fs::copy_options::recursive);
    const std::regex text_attribute(R"re(\btext="[^"]*")re");
    for (const auto& entry : fs::recursive_directory_iterator(copy)) {
      if (entry.path().extension() != ".xml") continue;
      std::ifstream in(entry.path());
      const std::string markup((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
      in.close();
      std::ofstream(entry.path(), std::ios::trunc)
          << std::regex_replace(markup, text_attribute, "text=\"\"");
    }
    return copy;
  }

  const TargetBuild linux_ = TargetBuild::Of(Target::kLinux);
  const TargetBuild windows_ = TargetBuild::Of(Target::kWindows);
  app_test::ScopedUserEnvironment env_;
};

std::string Describe(const SkinLayout::Control& c) {
  return c.type + " \"" + c.name + "\" (" + std::to_string(c.rect.left) + "," +
         std::to_string(c.rect.top) + "," + std::to_string(c.rect.right) + "," +
         std::to_string(c.rect.bottom) + ") " + (c.visible ? "visible" : "hidden");
}

TEST_F(CrossTargetTest, EveryShippedSkinLaysItsControlsOutInTheSameRectanglesOnBothTargets) {
  for (int scale : kScales) {
    for (const SkinState& state : ShippedSkinStates(scale)) {
      SCOPED_TRACE(state.name + " at " + std::to_string(scale) + " %");
      const std::optional<SkinLayout> on_linux = FromInstaller(linux_, state.args);
      const std::optional<SkinLayout> on_windows = FromInstaller(windows_, state.args);
      ASSERT_TRUE(on_linux && on_windows);
      EXPECT_EQ(on_linux->width(), on_windows->width());
      EXPECT_EQ(on_linux->height(), on_windows->height());
      const auto& a = on_linux->controls();
      const auto& b = on_windows->controls();
      ASSERT_EQ(a.size(), b.size());
      // Every skin has its root and a control in it (the shadow's skin no more).
      ASSERT_GE(a.size(), 2u);
      for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(Describe(a[i]), Describe(b[i])) << "control " << i << " of the tree";
      }
    }
  }
}

// Pixels that, in a 5 × 5 neighbourhood of `picture`, all have one colour.
std::vector<bool> FlatPixels(const Picture& picture) {
  std::vector<bool> flat(static_cast<size_t>(picture.width() * picture.height()), false);
  for (int y = 2; y + 2 < picture.height(); ++y) {
    for (int x = 2; x + 2 < picture.width(); ++x) {
      const uint32_t colour = picture.At(x, y);
      bool same = true;
      for (int dy = -2; dy <= 2 && same; ++dy) {
        for (int dx = -2; dx <= 2 && same; ++dx) same = picture.At(x + dx, y + dy) == colour;
      }
      flat[static_cast<size_t>(y * picture.width() + x)] = same;
    }
  }
  return flat;
}

int ChannelDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift : {0, 8, 16}) {
    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                     static_cast<int>((b >> shift) & 0xFF)));
  }
  return worst;
}

// A text's ink: where the picture differs from the same window without text.
struct Ink {
  Rect box{1 << 30, 1 << 30, -1, -1};
  int pixels = 0;
  bool empty() const { return pixels == 0; }
};

// Ink within `area`: pixels that differ from the text-free picture by more
// than a faint anti-aliasing fringe.
Ink InkIn(const Picture& with_text, const Picture& without, const Rect& area) {
  Ink ink;
  for (int y = std::max(0, area.top); y < std::min(with_text.height(), area.bottom); ++y) {
    for (int x = std::max(0, area.left); x < std::min(with_text.width(), area.right); ++x) {
      if (ChannelDistance(with_text.At(x, y), without.At(x, y)) <= 48) continue;
      ++ink.pixels;
      ink.box = {std::min(ink.box.left, x), std::min(ink.box.top, y),
                 std::max(ink.box.right, x + 1), std::max(ink.box.bottom, y + 1)};
    }
  }
  return ink;
}

// Pixels that differ, and where.
struct Difference {
  int count = 0;
  Rect box{1 << 30, 1 << 30, -1, -1};
  void Add(int x, int y) {
    ++count;
    box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
           std::max(box.bottom, y + 1)};
  }
  std::string Where() const {
    return std::to_string(count) + " pixels within (" + std::to_string(box.left) + "," +
           std::to_string(box.top) + ")-(" + std::to_string(box.right) + "," +
           std::to_string(box.bottom) + ")";
  }
};

// Pixels within `margin` of any ink of either target.
std::vector<bool> NearInk(const Picture& a, const Picture& a_bare, const Picture& b,
                          const Picture& b_bare, int margin) {
  const int w = a.width();
  const int h = a.height();
  std::vector<bool> near(static_cast<size_t>(w * h), false);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      // Any change by the text at all, however faint.
      if (a.At(x, y) == a_bare.At(x, y) && b.At(x, y) == b_bare.At(x, y)) continue;
      for (int ny = std::max(0, y - margin); ny <= std::min(h - 1, y + margin); ++ny) {
        for (int nx = std::max(0, x - margin); nx <= std::min(w - 1, x + margin); ++nx) {
          near[static_cast<size_t>(ny * w + nx)] = true;
        }
      }
    }
  }
  return near;
}

// The two rasterisers place glyphs on the same pen positions but shape,
// hint and smooth them differently: a text's ink box may move by a pixel or
// two on each edge (a few more at large scales), and its inked area by a
// third either way. Everything else of the window is the same drawing code
// over the same pictures, so flat colour matches to the rounding of blending
// (2 levels a channel).
TEST_F(CrossTargetTest, PicturesAgreeOnFlatColourAndPutEveryTextInItsPlace) {
  const std::string plain = CORVANE_SOURCE_DIR "/resources";
  const std::string textless = TextFreeResources();
  for (int scale : kScales) {
    const int edge = 2 + 2 * scale / 100;
    for (const SkinState& state : ShippedSkinStates(scale)) {
      SCOPED_TRACE(state.name + " at " + std::to_string(scale) + " %");
      const auto linux_text = FromFolder(linux_, plain, state.args);
      const auto linux_bare = FromFolder(linux_, textless, state.args);
      const auto windows_text = FromFolder(windows_, plain, state.args);
      const auto windows_bare = FromFolder(windows_, textless, state.args);
      ASSERT_TRUE(linux_text && linux_bare && windows_text && windows_bare);
      const Picture& a = linux_text->picture();
      const Picture& b = windows_text->picture();
      ASSERT_EQ(a.width(), b.width());
      ASSERT_EQ(a.height(), b.height());

      // Flat colour of both pictures without text, and of the pictures with
      // text away from every text's ink (two pixels around it).
      const Picture& a_bare = linux_bare->picture();
      const Picture& b_bare = windows_bare->picture();
      const std::vector<bool> flat = FlatPixels(a_bare);
      const std::vector<bool> flat_windows = FlatPixels(b_bare);
      const std::vector<bool> near_ink = NearInk(a, a_bare, b, b_bare, 2);
      int flat_count = 0;
      Difference bare_difference;
      Difference text_difference;
      for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
          const size_t i = static_cast<size_t>(y * a.width() + x);
          if (!flat[i] || !flat_windows[i]) continue;
          ++flat_count;
          if (ChannelDistance(a_bare.At(x, y), b_bare.At(x, y)) > 2) bare_difference.Add(x, y);
          if (!near_ink[i] && ChannelDistance(a.At(x, y), b.At(x, y)) > 2) {
            text_difference.Add(x, y);
          }
        }
      }
      EXPECT_GT(flat_count, a.width() * a.height() / 4) << "too little flat colour to compare";
      EXPECT_EQ(bare_difference.count, 0) << "without text: " << bare_difference.Where();
      EXPECT_EQ(text_difference.count, 0) << "with text: " << text_difference.Where();

      // Each control's text: the ink on both targets, box and amount.
      for (const SkinLayout::Control& control : linux_text->controls()) {
        if (!control.visible || control.rect.width() <= 0 || control.rect.height() <= 0) continue;
        if (control.type == "Box" || control.type == "VBox" || control.type == "HBox" ||
            control.type == "ShadowBox") {
          continue;
        }
        const Ink on_linux = InkIn(a, linux_bare->picture(), control.rect);
        const Ink on_windows = InkIn(b, windows_bare->picture(), control.rect);
        SCOPED_TRACE(Describe(control));
        EXPECT_EQ(on_linux.empty(), on_windows.empty());
        if (on_linux.empty() || on_windows.empty()) continue;
        EXPECT_LE(std::abs(on_linux.box.left - on_windows.box.left), edge);
        EXPECT_LE(std::abs(on_linux.box.right - on_windows.box.right), edge);
        EXPECT_LE(std::abs(on_linux.box.top - on_windows.box.top), edge);
        EXPECT_LE(std::abs(on_linux.box.bottom - on_windows.box.bottom), edge);
        // A few pixels are the anti-aliased edge of a neighbour's text
        // reaching into a control without text of its own (the expand arrow
        // beside "自定义安装" at 200 %): their amount follows each rasteriser.
        if (std::max(on_linux.pixels, on_windows.pixels) < 64) continue;
        const double ratio = static_cast<double>(on_windows.pixels) / on_linux.pixels;
        EXPECT_GT(ratio, 0.67) << on_windows.pixels << " inked pixels against " << on_linux.pixels;
        EXPECT_LT(ratio, 1.5) << on_windows.pixels << " inked pixels against " << on_linux.pixels;
      }
    }
  }
}

}  // namespace
}  // namespace e2e
