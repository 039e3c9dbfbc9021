#include <gtest/gtest.h>
#include <zip.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "base/string_util.h"
#include "tests/ui/render_test_support.h"
#include "ui/core/global_manager.h"
#include "ui/image/image.h"
#include "ui/image/image_cache.h"
#include "ui/image/image_decoder.h"
#include "ui/image/image_prefetch.h"

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

bool SamePixels(const ImageInfo& a, const ImageInfo& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
  const PixelImage* pa = a.GetFrame(0);
  const PixelImage* pb = b.GetFrame(0);
  if (!pa || !pb) return false;
  for (int y = 0; y < a.GetHeight(); ++y) {
    if (std::memcmp(pa->GetRow(y), pb->GetRow(y), static_cast<size_t>(a.GetWidth()) * 4) != 0) {
      return false;
    }
  }
  return true;
}

// The pictures of one folder of the archive decode ahead, on a thread of
// their own; the loader hands out exactly what decoding them then would
// have, takes each once, and decodes whatever was not prefetched.
TEST_F(ImageSkinTest, PrefetchedFolderPicturesAreTheLoadersOnFirstUse) {
  const std::string a = PngBytes(3, 5), b = PngBytes(7, 2), c = PngBytes(4, 4);
  const std::string zip = MakeZip({{"resources/themes/default/basic/a.png", a},
                                   {"resources/themes/default/basic/basic.xml", "<Window/>"},
                                   {"resources/themes/default/basic/deep/b.png", b},
                                   {"resources/themes/default/basic/broken.png", "not a picture"},
                                   {"resources/themes/default/public/c.png", c}});
  ASSERT_TRUE(GlobalManager::OpenArchive(zip.data(), zip.size(), ""));
  const std::wstring folder = L"resources/themes/default/basic/";
  const std::vector<std::wstring> listed = SkinResources::ListArchiveEntries(folder);
  EXPECT_EQ(listed, (std::vector<std::wstring>{folder + L"a.png", folder + L"basic.xml",
                                               folder + L"deep/b.png", folder + L"broken.png"}));
  EXPECT_TRUE(SkinResources::ListArchiveEntries(L"resources/themes/other/").empty());
  EXPECT_EQ(PrefetchArchiveImages({folder}), 3u);

  std::shared_ptr<ImageInfo> first = GlobalManager::GetImage(folder + L"a.png");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetPath(), folder + L"a.png");
  EXPECT_TRUE(SamePixels(*first, *DecodeImage(a)));
  EXPECT_EQ(TakePrefetchedImage(folder + L"a.png"), nullptr);
  EXPECT_EQ(GlobalManager::GetImage(folder + L"a.png"), first);
  // Not prefetched (another folder) or not decodable: as without a prefetch.
  std::shared_ptr<ImageInfo> other =
      GlobalManager::GetImage(L"resources/themes/default/public/c.png");
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(SamePixels(*other, *DecodeImage(c)));
  EXPECT_EQ(GlobalManager::GetImage(folder + L"broken.png"), nullptr);
  // Discarded pictures are decoded when asked for after all.
  DiscardPrefetchedImages();
  EXPECT_EQ(TakePrefetchedImage(folder + L"deep/b.png"), nullptr);
  std::shared_ptr<ImageInfo> late = GlobalManager::GetImage(folder + L"deep/b.png");
  ASSERT_NE(late, nullptr);
  EXPECT_TRUE(SamePixels(*late, *DecodeImage(b)));
  // Several folders in one batch.
  EXPECT_EQ(PrefetchArchiveImages({folder + L"deep/", L"resources/themes/default/public/"}), 2u);
  std::unique_ptr<ImageInfo> shared = TakePrefetchedImage(L"resources/themes/default/public/c.png");
  ASSERT_NE(shared, nullptr);
  EXPECT_TRUE(SamePixels(*shared, *DecodeImage(c)));
}

// Taken straight from the prefetch: each picture once, and a later batch
// replaces the earlier one.
TEST_F(ImageSkinTest, PrefetchedPicturesAreTakenOnceAndReplacedByTheNextBatch) {
  PrefetchImages({{L"k1", PngBytes(2, 2)}, {L"k2", PngBytes(5, 1)}});
  std::unique_ptr<ImageInfo> one = TakePrefetchedImage(L"k1");
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->GetWidth(), 2);
  EXPECT_EQ(TakePrefetchedImage(L"k1"), nullptr);
  EXPECT_EQ(TakePrefetchedImage(L"unknown"), nullptr);
  PrefetchImages({{L"k3", PngBytes(1, 6)}});
  EXPECT_EQ(TakePrefetchedImage(L"k2"), nullptr);
  std::unique_ptr<ImageInfo> three = TakePrefetchedImage(L"k3");
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(three->GetHeight(), 6);
  // Without an archive there is nothing to prefetch from.
  GlobalManager::CloseArchive();
  EXPECT_EQ(PrefetchArchiveImages({L"resources/"}), 0u);
}

// Decoding handed to a worker's queue: a picture the worker has not reached
// is decoded by whoever asks for it first, so a task that runs late (or
// never) costs the UI thread no wait, and the late task skips what was taken.
TEST_F(ImageSkinTest, PrefetchThroughARunnerNeverWaitsForItsTask) {
  std::function<void()> queued;
  PrefetchImages({{L"k1", PngBytes(2, 3)}, {L"k2", PngBytes(4, 1)}},
                 [&](std::function<void()> task) {
                   queued = std::move(task);
                   return true;
                 });
  ASSERT_TRUE(queued);
  std::unique_ptr<ImageInfo> one = TakePrefetchedImage(L"k1");
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->GetWidth(), 2);
  EXPECT_EQ(one->GetHeight(), 3);
  EXPECT_EQ(TakePrefetchedImage(L"k1"), nullptr);
  std::thread worker(queued);
  worker.join();
  std::unique_ptr<ImageInfo> two = TakePrefetchedImage(L"k2");
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->GetWidth(), 4);
  // A runner that refuses leaves the batch to a thread of its own.
  PrefetchImages({{L"k3", PngBytes(1, 2)}}, [](std::function<void()>) { return false; });
  std::unique_ptr<ImageInfo> three = TakePrefetchedImage(L"k3");
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(three->GetHeight(), 2);
}

// A picture decoded elsewhere joins the cache as a decode would; a live
// picture under the same key wins.
TEST_F(ImageSkinTest, AdoptedPicturesShareTheCacheEntry) {
  ImageCache cache;
  std::shared_ptr<ImageInfo> adopted = cache.Adopt(L"x.png", DecodeImage(PngBytes(3, 3)));
  ASSERT_NE(adopted, nullptr);
  EXPECT_TRUE(adopted->IsCached());
  EXPECT_EQ(adopted->GetPath(), L"x.png");
  EXPECT_TRUE(cache.Contains(L"x.png"));
  EXPECT_EQ(cache.GetImage(L"x.png"), adopted);
  EXPECT_EQ(cache.Adopt(L"x.png", DecodeImage(PngBytes(9, 9))), adopted);
  EXPECT_EQ(cache.Adopt(L"y.png", nullptr), nullptr);
  adopted.reset();
  EXPECT_FALSE(cache.Contains(L"x.png"));
}

}  // namespace
}  // namespace ui
