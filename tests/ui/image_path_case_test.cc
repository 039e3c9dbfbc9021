#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "base/string_util.h"
#include "tests/ui/temp_folder_test_support.h"
#include "ui/core/markup.h"
#include "ui/image/image.h"
#include "ui/image/image_decoder.h"

namespace {

// Skins name files with another letter case than the folders on disk have
// ("../public/CheckBox/check.png" for "public/checkbox/check.png").
class ImagePathCaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.IsValid());
    root_ = folder_.path();
    std::filesystem::create_directories(nbase::UTF8ToWide(root_ + "/public/checkbox"));
    ASSERT_TRUE(
        ui::WritePngFile(*ui::PixelImage::Create(3, 2), root_ + "/public/checkbox/check.png"));
    std::FILE* f = std::fopen((root_ + "/public/checkbox/face.xml").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("<Window size=\"1,2\"/>", f);
    std::fclose(f);
  }
  ui::testing::TempFolder folder_{"image_path_case_"};
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
