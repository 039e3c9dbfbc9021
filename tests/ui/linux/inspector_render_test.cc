// Runs the skin inspector on the shipped skins, from the resource folder and
// from an archive embedded in an ELF file, and checks its picture and tree.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>
#include <array>
#include <cstdio>

#include <filesystem>
#include <memory>
#include <string>

#include "base/string_util.h"
#include "ui/image/image_decoder.h"

namespace {

namespace fs = std::filesystem;

const std::string kTool = CORVANE_BINARY_DIR "/tools/skin_inspector/skin_inspector";
const std::string kResources = CORVANE_SOURCE_DIR "/resources";

struct ToolRun {
  int status = -1;
  std::string out;
};

ToolRun RunTool(const std::string& args) {
  ToolRun run;
  FILE* pipe = popen((kTool + " " + args + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer;
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// Size of a PNG, whether it holds more than one colour, and the alpha of a
// corner pixel and of the centre pixel.
struct Picture {
  int width = 0;
  int height = 0;
  bool varied = false;
  int corner_alpha = -1;
  int centre_alpha = -1;
};

// The picture's premultiplied pixels (first frame), or null.
std::unique_ptr<ui::ImageInfo> LoadPng(const std::string& path) {
  std::unique_ptr<ui::ImageInfo> info = ui::DecodeImageFile(nbase::UTF8ToWide(path));
  return info && info->GetFrame(0) ? std::move(info) : nullptr;
}

Picture ReadPng(const std::string& path) {
  Picture p;
  if (std::unique_ptr<ui::ImageInfo> info = LoadPng(path)) {
    const ui::PixelImage* image = info->GetFrame(0);
    p.width = image->GetWidth();
    p.height = image->GetHeight();
    const uint32_t first = image->GetPixel(0, 0);
    for (int y = 0; y < p.height && !p.varied; ++y) {
      for (int x = 0; x < p.width; ++x) {
        if (image->GetPixel(x, y) != first) {
          p.varied = true;
          break;
        }
      }
    }
    p.corner_alpha = static_cast<int>(image->GetPixel(0, 0) >> 24);
    p.centre_alpha = static_cast<int>(image->GetPixel(p.width / 2, p.height / 2) >> 24);
  }
  return p;
}

// The colour of one pixel, 0xRRGGBB, or -1 when the picture cannot be read.
int64_t RgbAt(const std::string& path, int x, int y) {
  std::unique_ptr<ui::ImageInfo> info = LoadPng(path);
  const ui::PixelImage* image = info ? info->GetFrame(0) : nullptr;
  if (!image || x >= image->GetWidth() || y >= image->GetHeight()) return -1;
  return image->GetPixel(x, y) & 0xFFFFFF;
}

class InspectorRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("inspector_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Png(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

// The picture is the whole window: the skin's size plus the default shadow
// corner (14 a side, scaled) on each side, the root inside the shadow box.
TEST_F(InspectorRenderTest, ShippedSkinsRenderWithTheirShadowAtBothScales) {
  struct Case {
    const char* skin;
    const char* theme;
    int scale;
    int width;
    int height;
    const char* root_line;
    const char* line;
  };
  const Case cases[] = {
      {"basic/basic.xml", "themes/default", 100, 628, 428, "  Box \"\" (14,14,614,414) visible",
       "HBox \"titlebar\" (14,24,603,74) visible"},
      {"basic/basic.xml", "themes/default-xhdpi", 150, 942, 642,
       "  Box \"\" (21,21,921,621) visible", "HBox \"titlebar\" (21,36,904,111) visible"},
      {"msgbox/msgbox.xml", "themes/default", 100, 368, 0, "  VBox \"\" (14,14,354,", nullptr},
      {"msgbox/msgbox.xml", "themes/default-xhdpi", 150, 552, 0, "  VBox \"\" (21,21,531,",
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.skin) + " at " + std::to_string(c.scale));
    const std::string png = Png("out_" + std::to_string(c.scale) + ".png");
    const ToolRun run = RunTool("--resources " + kResources + " --theme " + c.theme + " --scale " +
                                std::to_string(c.scale) + " --png " + png + " " + c.skin);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string top = "\nShadowBox \"\" (0,0," + std::to_string(c.width) + ",";
    EXPECT_NE(run.out.find(top), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(c.root_line), std::string::npos) << run.out;
    if (c.line) {
      EXPECT_NE(run.out.find(c.line), std::string::npos) << run.out;
    }
    const Picture picture = ReadPng(png);
    EXPECT_EQ(picture.width, c.width);
    // 0: the root is auto-sized and the window takes its height.
    if (c.height > 0) {
      EXPECT_EQ(picture.height, c.height);
    } else {
      EXPECT_GT(picture.height, 0);
      EXPECT_NE(run.out.find("x" + std::to_string(picture.height) + "\n"), std::string::npos);
    }
    EXPECT_TRUE(picture.varied);
    // The shadow fades out towards the outer corner; the root is opaque.
    EXPECT_LT(picture.corner_alpha, 255);
    EXPECT_EQ(picture.centre_alpha, 255);
  }
}

TEST_F(InspectorRenderTest, TreeShowsHiddenPagesAndAChosenSize) {
  const ToolRun run = RunTool("--resources " + kResources + " --size 300x200 basic/basic.xml");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("basic/basic.xml at 100%, 300x200"), std::string::npos) << run.out;
  // The chosen size is the window's, shadow included.
  EXPECT_NE(run.out.find("ShadowBox \"\" (0,0,300,200) visible"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  Box \"\" (14,14,286,186) visible"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("VBox \"installpage\" (0,0,0,0) hidden"), std::string::npos);
  EXPECT_NE(run.out.find("VBox \"welcompage\""), std::string::npos);
}

TEST_F(InspectorRenderTest, SkinArchiveEmbeddedInAnElfFile) {
  const std::string zip = Png("theme.zip");
  const std::string elf = Png("carrier");
  const std::string pack =
      "python3 " CORVANE_SOURCE_DIR "/resources/pack_theme.py " CORVANE_SOURCE_DIR " " + zip;
  ASSERT_EQ(std::system(pack.c_str()), 0);
  fs::copy_file("/bin/true", elf);
  const std::string embed = "objcopy --add-section .rsrc.THEME=" + zip +
                            " --set-section-flags .rsrc.THEME=noload,readonly " + elf;
  ASSERT_EQ(std::system(embed.c_str()), 0);
  const std::string png = Png("archive.png");
  const ToolRun run = RunTool("--installer " + elf + " --png " + png + " msgbox/msgbox.xml");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(ReadPng(png).width, 368);
  const ToolRun plain = RunTool("--installer /bin/true msgbox/msgbox.xml");
  EXPECT_EQ(plain.status, 1);
  EXPECT_NE(plain.out.find("no skin archive"), std::string::npos) << plain.out;
}

// The library's gallery: every control where its skin puts it, at 100 % and
// 150 %; the combo's list is printed beside the tree.
TEST_F(InspectorRenderTest, GalleryPaintsEveryControlWhereItsSkinSaysAtBothScales) {
  const std::string gallery = CORVANE_SOURCE_DIR "/tools/gallery";
  constexpr int64_t kAccent = 0x2f6fd8;
  constexpr int64_t kAccentLight = 0xcfe0fa;
  constexpr int64_t kTrack = 0xdde2e8;
  constexpr int64_t kTab1 = 0xfbe3c6;
  constexpr int64_t kThumb = 0x286edc;
  for (const int scale : {100, 150}) {
    SCOPED_TRACE(scale);
    // Skin coordinates to picture coordinates.
    auto at = [scale](int v) { return v * scale / 100; };
    const std::string png = Png("gallery_" + std::to_string(scale) + ".png");
    const ToolRun run = RunTool("--resources " + gallery + " --scale " + std::to_string(scale) +
                                " --png " + png + " gallery/gallery.xml");
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* type : {"Button", "CheckBox", "Option", "Combo", "Progress", "Slider",
                             "ListBox", "ListContainerElement", "TreeView", "TreeNode", "TabBox",
                             "VirtualListBox", "TileBox", "Label"}) {
      EXPECT_NE(run.out.find(std::string(type) + " "), std::string::npos) << type;
    }
    EXPECT_NE(run.out.find("Combo \"combo\""), std::string::npos);
    EXPECT_NE(run.out.find("      ListContainerElement"), std::string::npos) << run.out;
    EXPECT_EQ(ReadPng(png).width, at(640));
    EXPECT_EQ(ReadPng(png).height, at(400));
    // The button (70..150 × 12..28) is filled with the accent colour.
    EXPECT_EQ(RgbAt(png, at(110), at(14)), kAccent);
    // The progress bar (12..232) is done up to 60 %, the rest is track.
    EXPECT_EQ(RgbAt(png, at(100), at(58)), kAccent);
    EXPECT_EQ(RgbAt(png, at(200), at(58)), kTrack);
    // The slider's thumb sits at 30 % of its track: 248 + 0.3 × (220 − 12).
    EXPECT_EQ(RgbAt(png, at(248 + 62 + 6), at(58)), kThumb);
    // The second list item is selected; the second tab is the one shown.
    EXPECT_EQ(RgbAt(png, at(140), at(130)), kAccentLight);
    EXPECT_EQ(RgbAt(png, at(140), at(110)), 0xffffff);
    EXPECT_EQ(RgbAt(png, at(400), at(200)), kTab1);
  }
}

TEST_F(InspectorRenderTest, BadUsageAndMissingSkinsFail) {
  EXPECT_EQ(RunTool("").status, 2);
  EXPECT_EQ(RunTool("--resources a --installer b x.xml").status, 2);
  EXPECT_EQ(RunTool("--resources " + kResources + " --size 0x3 basic/basic.xml").status, 2);
  const ToolRun missing = RunTool("--resources " + kResources + " basic/nothing.xml");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("cannot build basic/nothing.xml"), std::string::npos);
}

}  // namespace

namespace {

// The item rect the tree prints for `name`; empty when it is not there.
std::array<int, 4> TreeRect(const std::string& out, const std::string& line_start) {
  std::array<int, 4> r{0, 0, 0, 0};
  const size_t at = out.find(line_start);
  if (at == std::string::npos) return r;
  std::sscanf(out.c_str() + at + line_start.size(), "(%d,%d,%d,%d)", &r[0], &r[1], &r[2], &r[3]);
  return r;
}

// Rows and columns of `rect` holding text ink: pixels clearly darker than the light field.
struct Ink {
  int pixels = 0;
  int left = 1 << 30;
  int right = -1;
  int rows = 0;
};

Ink InkIn(const std::string& png, const std::array<int, 4>& rect) {
  Ink ink;
  std::unique_ptr<ui::ImageInfo> info = LoadPng(png);
  if (info) {
    const ui::PixelImage* image = info->GetFrame(0);
    for (int y = rect[1]; y < rect[3]; ++y) {
      bool row = false;
      for (int x = rect[0]; x < rect[2]; ++x) {
        const uint32_t p = image->GetPixel(x, y);
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        if (r < 140 && g < 140 && b < 140) {
          ++ink.pixels;
          ink.left = std::min(ink.left, x);
          ink.right = std::max(ink.right, x);
          row = true;
        }
      }
      if (row) ++ink.rows;
    }
  }
  return ink;
}

}  // namespace

TEST_F(InspectorRenderTest, InstallDirectoryFieldAndMessageBodyShowTheirText) {
  const std::string field_png = Png("field.png");
  const ToolRun field = RunTool("--resources " + kResources +
                                " --set customizebar visible=true --size 628x520 --png " +
                                field_png + " basic/basic.xml");
  ASSERT_EQ(field.status, 0) << field.out;
  const auto rect = TreeRect(field.out, "RichEdit \"edit_installdir\" ");
  // Auto height: one line of the 12-pixel font plus the 6-pixel padding twice.
  EXPECT_GE(rect[3] - rect[1], 12 + 14);
  EXPECT_LE(rect[3] - rect[1], 12 + 24);
  const Ink path = InkIn(field_png, rect);
  EXPECT_GT(path.pixels, 100);
  EXPECT_GE(path.left, rect[0] + 6);  // inside the padding

  // The message body wraps mixed Chinese and Latin text at its 300-pixel width.
  const std::string body_png = Png("body.png");
  const ToolRun body = RunTool(
      "--resources " + kResources +
      " --set content 'text=安装失败，请检查网络连接后重试。Installation failed: please check the "
      "network and try again.' --set content height=80 --png " +
      body_png + " msgbox/msgbox.xml");
  ASSERT_EQ(body.status, 0) << body.out;
  const auto content = TreeRect(body.out, "RichEdit \"content\" ");
  ASSERT_EQ(content[2] - content[0], 300);
  const Ink text = InkIn(body_png, {content[0] - 20, content[1], content[2] + 20, content[3]});
  EXPECT_GE(text.left, content[0]);
  EXPECT_LE(text.right, content[2]);
  EXPECT_GT(text.right, content[2] - 80);  // the first line fills most of the width
  EXPECT_GT(text.rows, 3 * 12);            // three lines of ink rows

  const ToolRun unknown =
      RunTool("--resources " + kResources + " --set nothing text=x basic/basic.xml");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.out.find("no control named nothing"), std::string::npos);
  EXPECT_EQ(RunTool("--resources " + kResources + " --set content basic/basic.xml").status, 2);
}

// --tab: the focus goes where that many presses of Tab put it, in tree order
// and wrapping; the picture shows its ring on the control's edge and the tree
// names it. Without --tab nothing is focused and no ring shows.
TEST_F(InspectorRenderTest, TabMovesTheKeyboardFocusAndThePictureShowsItsRing) {
  const std::string base = "--resources " + kResources + " ";
  const ToolRun plain = RunTool(base + "--png " + Png("none.png") + " basic/basic.xml");
  ASSERT_EQ(plain.status, 0) << plain.out;
  EXPECT_EQ(plain.out.find("\nfocus "), std::string::npos) << plain.out;

  // The welcome page's stops, titlebar first: the exit button, the install
  // button, then the bottom bar.
  const std::string stops[] = {"btn_exit", "btn_startinstall", "checkbox_agreement"};
  for (int tabs = 1; tabs <= 3; ++tabs) {
    SCOPED_TRACE(tabs);
    const std::string png = Png("tab" + std::to_string(tabs) + ".png");
    const ToolRun run =
        RunTool(base + "--tab " + std::to_string(tabs) + " --png " + png + " basic/basic.xml");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("\nfocus " + stops[tabs - 1] + "\n"), std::string::npos) << run.out;
  }
  // The install button's ring: its top-left pixel is the ring's dark colour
  // with --tab 2 and the button's own face without.
  const size_t at = plain.out.find("Button \"btn_startinstall\" (");
  ASSERT_NE(at, std::string::npos);
  int left = 0, top = 0;
  ASSERT_EQ(std::sscanf(plain.out.c_str() + at, "Button \"btn_startinstall\" (%d,%d", &left, &top),
            2);
  EXPECT_EQ(RgbAt(Png("tab2.png"), left, top), 0x1E1E1E);
  EXPECT_NE(RgbAt(Png("none.png"), left, top), 0x1E1E1E);
  EXPECT_NE(RgbAt(Png("tab1.png"), left, top), 0x1E1E1E);

  EXPECT_EQ(RunTool(base + "--tab 0 basic/basic.xml").status, 2);
}
