#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/string_util.h"
#include "tests/ui/render_test_support.h"
#include "ui/core/global_manager.h"
#include "ui/image/image.h"
#include "ui/image/image_cache.h"

namespace ui {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The image hook of the global resource manager, on disk and in an archive.
class ImageSkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalManager::Shutdown();
    GlobalManager::SetImageLoader(MakeSkinImageLoader());
    dir_ =
        std::filesystem::temp_directory_path() /
        ("corvane-skin-image-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    GlobalManager::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // A PNG of one opaque colour, as the target's own writer makes it.
  std::string PngBytes(int width, int height) {
    const std::filesystem::path path = dir_ / "encoded.png";
    EXPECT_TRUE(WritePngFile(*render_test::SolidFrame(width, height, 0xFF336699u),
                             nbase::WideToUTF8(path.wstring())));
    std::string bytes = ReadFile(path);
    std::filesystem::remove(path);
    return bytes;
  }

  // The file's path with "/" between its parts, as skin keys are written.
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return nbase::WideToUTF8(path.generic_wstring());
  }

  // A zip file with the given entries, returned as bytes.
  std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    const std::string path = nbase::WideToUTF8((dir_ / "skin.zip").wstring());
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    EXPECT_NE(zip, nullptr);
    for (const auto& [name, data] : entries) {
      EXPECT_EQ(zipOpenNewFileInZip(zip, name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                                    Z_DEFLATED, Z_DEFAULT_COMPRESSION),
                ZIP_OK);
      EXPECT_EQ(zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
      zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
    return ReadFile(dir_ / "skin.zip");
  }

  std::filesystem::path dir_;
};

TEST_F(ImageSkinTest, DestIsScaledByTheManagersDpi) {
  GlobalManager::SetAdaptDPI(true);
  GlobalManager::SetDPIScale(150);
  Image image;
  image.SetImageString(L"file='a.png' dest='0,0,16,16'");
  EXPECT_EQ(image.image_attribute.dest, UiRect(0, 0, 24, 24));
  image.image_attribute.ModifyAttribute(L"destscale='false' dest='0,0,16,16'");
  EXPECT_EQ(image.image_attribute.dest, UiRect(0, 0, 16, 16));
  // Adaptation off leaves dest alone.
  GlobalManager::SetAdaptDPI(false);
  image.SetImageString(L"file='a.png' dest='0,0,16,16'");
  EXPECT_EQ(image.image_attribute.dest, UiRect(0, 0, 16, 16));
}

TEST_F(ImageSkinTest, DiskPathsShareOneEntryWhateverTheirSeparators) {
  const std::string path = Write("logo.png", PngBytes(6, 4));
  const std::wstring wide = nbase::UTF8ToWide(path);
  std::wstring doubled = wide;
  doubled.insert(doubled.rfind(L'/'), L"/");
  std::shared_ptr<ImageInfo> plain = GlobalManager::GetImage(wide);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->GetWidth(), 6);
  EXPECT_EQ(GlobalManager::GetImage(doubled), plain);
  EXPECT_EQ(plain->GetPath(), wide);
  EXPECT_EQ(GlobalManager::GetImage(wide + L".missing"), nullptr);
}

TEST_F(ImageSkinTest, ArchiveEntriesAreFoundThroughNormalisedKeys) {
  const std::string zip = MakeZip({{"resources/themes/default/public/bk/bg.png", PngBytes(3, 5)}});
  ASSERT_TRUE(GlobalManager::OpenArchive(zip.data(), zip.size(), ""));
  std::shared_ptr<ImageInfo> image =
      GlobalManager::GetImage(L"resources\\themes\\default\\basic\\..\\public\\bk\\bg.png");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetWidth(), 3);
  EXPECT_EQ(image->GetHeight(), 5);
  EXPECT_EQ(image->GetPath(), L"resources/themes/default/public/bk/bg.png");
  EXPECT_EQ(GlobalManager::GetImage(L"resources/themes/default/public//bk/./bg.png"), image);
  EXPECT_EQ(GlobalManager::GetImage(L"resources/themes/default/public/bk/none.png"), nullptr);
}

}  // namespace
}  // namespace ui
