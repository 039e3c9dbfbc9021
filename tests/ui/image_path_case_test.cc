#include <cairo.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "base/string_util.h"
#include "ui/core/markup.h"
#include "ui/image/image.h"
#include "ui/image/image_decoder.h"

namespace {

// Skins name files with another letter case than the folders on disk have
// ("../public/CheckBox/check.png" for "public/checkbox/check.png").
class ImagePathCaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/image_path_case_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    std::filesystem::create_directories(root_ + "/public/checkbox");
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 3, 2);
    ASSERT_EQ(cairo_surface_write_to_png(s, (root_ + "/public/checkbox/check.png").c_str()),
              CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    std::FILE* f = std::fopen((root_ + "/public/checkbox/face.xml").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("<Window size=\"1,2\"/>", f);
    std::fclose(f);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  std::string root_;
};

TEST_F(ImagePathCaseTest, DiskFilesAreFoundIgnoringLetterCase) {
  auto info = ui::DecodeImageFile(nbase::UTF8ToWide(root_ + "/public/CheckBox/Check.png"));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->GetWidth(), 3);
  EXPECT_EQ(info->GetHeight(), 2);
  EXPECT_EQ(ui::DecodeImageFile(nbase::UTF8ToWide(root_ + "/public/CheckBox/none.png")), nullptr);

  ui::MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromFile(nbase::UTF8ToWide(root_ + "/Public/CHECKBOX/face.xml")));
}

}  // namespace
