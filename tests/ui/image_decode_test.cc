// Decoding through the target's decoder (gdk-pixbuf and libpng on Linux,
// GDI+ on Windows) and the image cache: GIF frames and delays, broken input,
// sharing and retention.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "tests/ui/image_test_support.h"
#include "tests/ui/temp_folder_test_support.h"
#include "ui/image/image.h"
#include "ui/image/image_cache.h"
#include "ui/image/image_decoder.h"

namespace ui {
namespace {

using image_test::MakeGif;
using image_test::PixelBytes;

class ImageDecodeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.IsValid()); }

  std::string PathOf(const std::string& name) { return folder_.Child(name); }

  std::wstring WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = PathOf(name);
    std::ofstream(std::filesystem::path(nbase::UTF8ToWide(path)), std::ios::binary) << bytes;
    return nbase::UTF8ToWide(path);
  }

  // An opaque PNG whose pixel (x, y) is red 10x, green 10y, blue 77, as the
  // target's own writer makes it.
  std::wstring SaveOpaquePng(const std::string& name, int width, int height) {
    std::shared_ptr<PixelImage> image = PixelImage::Create(width, height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        uint8_t* p = image->GetRow(y) + x * 4;
        p[0] = 77, p[1] = static_cast<uint8_t>(y * 10), p[2] = static_cast<uint8_t>(x * 10);
        p[3] = 255;
      }
    }
    const std::string path = PathOf(name);
    EXPECT_TRUE(WritePngFile(*image, path));
    return nbase::UTF8ToWide(path);
  }

  std::string dir() const { return folder_.path(); }

 private:
  testing::TempFolder folder_{"corvane-image-"};
};

TEST_F(ImageDecodeTest, WrittenPngsComeBackWithTheirPixels) {
  std::unique_ptr<ImageInfo> opaque = DecodeImageFile(SaveOpaquePng("opaque.png", 3, 2));
  ASSERT_NE(opaque, nullptr);
  EXPECT_FALSE(opaque->HasAlpha());
  EXPECT_EQ(opaque->GetWidth(), 3);
  EXPECT_EQ(opaque->GetHeight(), 2);
  ASSERT_EQ(opaque->GetFrameCount(), 1u);
  EXPECT_EQ(opaque->GetFrame(0)->GetStride(), opaque->GetWidth() * 4);
  EXPECT_EQ(PixelBytes(opaque->GetFrame(0), 2, 1), (std::vector<unsigned char>{77, 10, 20, 255}));

  // One clear pixel makes the picture one with alpha; it stays clear.
  std::shared_ptr<PixelImage> image = PixelImage::Create(3, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const uint32_t pixel = (x == 1 && y == 1) ? 0u : 0xFF1E140Au;
      std::memcpy(image->GetRow(y) + x * 4, &pixel, 4);
    }
  }
  ASSERT_TRUE(WritePngFile(*image, PathOf("clear.png")));
  std::unique_ptr<ImageInfo> one_clear = DecodeImageFile(nbase::UTF8ToWide(PathOf("clear.png")));
  ASSERT_NE(one_clear, nullptr);
  EXPECT_TRUE(one_clear->HasAlpha());
  EXPECT_EQ(PixelBytes(one_clear->GetFrame(0), 1, 1), (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_EQ(PixelBytes(one_clear->GetFrame(0), 0, 1),
            (std::vector<unsigned char>{10, 20, 30, 255}));
}

TEST_F(ImageDecodeTest, GifFramesPlayWithTheirDelays) {
  // Looping for ever and playing once must decode alike.
  for (int loop : {0, -1}) {
    SCOPED_TRACE(loop);
    std::unique_ptr<ImageInfo> decoded = DecodeImage(MakeGif({0, 3, 4, 7}, loop));
    ASSERT_NE(decoded, nullptr);
    ASSERT_EQ(decoded->GetFrameCount(), 4u);
    EXPECT_EQ(decoded->GetWidth(), 2);
    EXPECT_EQ(decoded->GetHeight(), 2);
    EXPECT_FALSE(decoded->HasAlpha());
    EXPECT_EQ(PixelBytes(decoded->GetFrame(0), 1, 1), (std::vector<unsigned char>{0, 0, 255, 255}));
    EXPECT_EQ(PixelBytes(decoded->GetFrame(1), 0, 1), (std::vector<unsigned char>{0, 255, 0, 255}));
    EXPECT_EQ(PixelBytes(decoded->GetFrame(2), 1, 0), (std::vector<unsigned char>{255, 0, 0, 255}));
    EXPECT_EQ(PixelBytes(decoded->GetFrame(3), 0, 0),
              (std::vector<unsigned char>{255, 255, 255, 255}));
    EXPECT_EQ(decoded->GetFrame(4), nullptr);

    Image image;
    image.SetImageString(L"file='anim.gif' playcount='2'", RectScaler());
    image.SetImageInfo(std::move(decoded));
    std::vector<int> intervals;
    std::vector<const PixelImage*> shown;
    for (int i = 0; i < 5; ++i) {
      intervals.push_back(image.GetCurrentInterval());
      shown.push_back(image.GetCurrentFrameImage());
      image.IncrementCurrentFrame();
    }
    EXPECT_EQ(intervals, (std::vector<int>{100, 50, 50, 70, 100}));
    EXPECT_EQ(shown[4], shown[0]);
    EXPECT_NE(shown[1], shown[0]);
    EXPECT_EQ(image.GetPlayedCount(), 1);
    EXPECT_TRUE(image.ContinuePlay());
    for (int i = 0; i < 4; ++i) image.IncrementCurrentFrame();
    EXPECT_EQ(image.GetPlayedCount(), 2);
    EXPECT_FALSE(image.ContinuePlay());
    // Clearing drops the picture and the position, not the attribute.
    image.ClearCache();
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(image.GetPlayedCount(), 0);
    EXPECT_EQ(image.image_attribute.play_count, 2);
  }
}

TEST_F(ImageDecodeTest, LongGifDelaysAreUsedAsGiven) {
  std::unique_ptr<ImageInfo> decoded = DecodeImage(MakeGif({5, 12}, 0));
  ASSERT_NE(decoded, nullptr);
  Image image;
  image.SetImageInfo(std::move(decoded));
  EXPECT_EQ(image.GetCurrentInterval(), 50);
  image.IncrementCurrentFrame();
  EXPECT_EQ(image.GetCurrentInterval(), 120);
}

TEST_F(ImageDecodeTest, SingleFrameGifHasNoDelays) {
  std::unique_ptr<ImageInfo> decoded = DecodeImage(MakeGif({7}, -1));
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->GetFrameCount(), 1u);
  EXPECT_TRUE(decoded->GetFrameDelays().empty());
  Image image;
  image.SetImageInfo(std::move(decoded));
  EXPECT_EQ(image.GetCurrentInterval(), 0);
}

TEST_F(ImageDecodeTest, UnreadableInputGivesNothing) {
  EXPECT_EQ(DecodeImage(""), nullptr);
  EXPECT_EQ(DecodeImage("not a picture at all"), nullptr);
  std::string gif = MakeGif({1, 2}, 0);
  EXPECT_EQ(DecodeImage(gif.substr(0, 20)), nullptr);
  EXPECT_EQ(DecodeImageFile(L""), nullptr);
  EXPECT_EQ(DecodeImageFile(nbase::UTF8ToWide(dir()) + L"/missing.png"), nullptr);
  EXPECT_EQ(DecodeImageFile(WriteFile("bad.png", "\x89PNG\r\n\x1a\nbroken")), nullptr);
  // Signatures alone choose a decoder but make no picture.
  EXPECT_EQ(DecodeImage("\xFF\xD8\xFF"), nullptr);
  EXPECT_EQ(DecodeImage("GIF89a"), nullptr);
}

TEST_F(ImageDecodeTest, TruncatedAndCorruptGifsStayInBounds) {
  const std::string gif = MakeGif({2, 9, 4}, 0);
  auto check = [](const std::string& bytes) {
    std::unique_ptr<ImageInfo> decoded = DecodeImage(bytes);
    if (!decoded) return;
    EXPECT_GE(decoded->GetFrameCount(), 1u);
    EXPECT_LE(decoded->GetFrameCount(), 3u);
    for (size_t i = 0; i < decoded->GetFrameCount(); ++i) EXPECT_NE(decoded->GetFrame(i), nullptr);
    const size_t delays = decoded->GetFrameDelays().size();
    EXPECT_TRUE(delays == 0 || delays == decoded->GetFrameCount());
  };
  for (size_t length = 0; length < gif.size(); ++length) check(gif.substr(0, length));
  for (size_t i = 6; i < gif.size(); ++i) {
    for (unsigned char value : {0x00, 0x2C, 0x21, 0xFF}) {
      std::string corrupt = gif;
      corrupt[i] = static_cast<char>(value);
      check(corrupt);
    }
  }
}

TEST_F(ImageDecodeTest, CacheSharesOneDecodeWhileHeld) {
  const std::wstring path = SaveOpaquePng("shared.png", 4, 4);
  ImageCache cache;
  std::shared_ptr<ImageInfo> first = cache.GetImage(path);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->IsCached());
  EXPECT_EQ(first->GetPath(), path);

  // While held, a changed file is not decoded again.
  SaveOpaquePng("shared.png", 9, 9);
  std::shared_ptr<ImageInfo> second = cache.GetImage(path);
  EXPECT_EQ(second, first);
  EXPECT_EQ(second->GetWidth(), 4);
  EXPECT_EQ(cache.GetEntryCount(), 1u);

  first.reset();
  EXPECT_TRUE(cache.Contains(path));
  second.reset();
  EXPECT_FALSE(cache.Contains(path));
  EXPECT_EQ(cache.GetEntryCount(), 0u);

  std::shared_ptr<ImageInfo> third = cache.GetImage(path);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->GetWidth(), 9);
}

// With a byte budget the cache keeps the most recently requested pictures
// after their holders let go, drops the least recent one first, and never
// retains a picture above the whole budget.
TEST_F(ImageDecodeTest, RetainedPicturesStayWithinTheBudgetLeastRecentFirstOut) {
  const std::wstring a = SaveOpaquePng("a.png", 4, 4);
  const std::wstring b = SaveOpaquePng("b.png", 4, 4);
  const std::wstring c = SaveOpaquePng("c.png", 4, 4);
  const std::wstring big = SaveOpaquePng("big.png", 8, 8);
  const size_t small_bytes = 4 * 4 * 4;
  ImageCache cache(2 * small_bytes);

  std::shared_ptr<ImageInfo> first_a = cache.GetImage(a);
  ASSERT_NE(first_a, nullptr);
  EXPECT_EQ(first_a->GetByteSize(), small_bytes);
  first_a.reset();
  ASSERT_NE(cache.GetImage(b), nullptr);
  EXPECT_TRUE(cache.Contains(a));
  EXPECT_TRUE(cache.Contains(b));
  EXPECT_EQ(cache.GetRetainedBytes(), 2 * small_bytes);

  // Using a again makes b the least recent, so c pushes b out.
  SaveOpaquePng("a.png", 5, 5);
  EXPECT_EQ(cache.GetImage(a)->GetWidth(), 4);
  ASSERT_NE(cache.GetImage(c), nullptr);
  EXPECT_TRUE(cache.Contains(a));
  EXPECT_FALSE(cache.Contains(b));
  EXPECT_TRUE(cache.Contains(c));
  EXPECT_EQ(cache.GetEntryCount(), 2u);
  EXPECT_EQ(cache.GetRetainedBytes(), 2 * small_bytes);
  SaveOpaquePng("b.png", 3, 3);
  std::shared_ptr<ImageInfo> small_b = cache.GetImage(b);
  ASSERT_NE(small_b, nullptr);
  EXPECT_EQ(small_b->GetWidth(), 3);  // b was freed: decoded again
  small_b.reset();
  // b, c, a from the most recent: a no longer fits.
  EXPECT_FALSE(cache.Contains(a));
  EXPECT_TRUE(cache.Contains(b));
  EXPECT_TRUE(cache.Contains(c));
  EXPECT_EQ(cache.GetRetainedBytes(), small_bytes + 3 * 3 * 4);

  // A picture the cache lets go of stays shared while someone holds it.
  std::shared_ptr<ImageInfo> held_c = cache.GetImage(c);
  ASSERT_NE(cache.GetImage(SaveOpaquePng("a.png", 4, 4)), nullptr);
  ASSERT_NE(cache.GetImage(SaveOpaquePng("d.png", 4, 4)), nullptr);
  EXPECT_FALSE(cache.Contains(b));
  EXPECT_EQ(cache.GetRetainedBytes(), 2 * small_bytes);  // d and a
  SaveOpaquePng("c.png", 7, 7);
  EXPECT_EQ(cache.GetImage(c), held_c);
  held_c.reset();
  EXPECT_FALSE(cache.Contains(c));

  // Above the budget: shared while held, freed with its last holder.
  std::shared_ptr<ImageInfo> held_big = cache.GetImage(big);
  ASSERT_NE(held_big, nullptr);
  EXPECT_EQ(cache.GetImage(big), held_big);
  const size_t retained = cache.GetRetainedBytes();
  held_big.reset();
  EXPECT_FALSE(cache.Contains(big));
  EXPECT_EQ(cache.GetRetainedBytes(), retained);
}

TEST_F(ImageDecodeTest, FailedDecodeIsNotCached) {
  ImageCache cache;
  const std::wstring path = nbase::UTF8ToWide(PathOf("later.png"));
  EXPECT_EQ(cache.GetImage(path), nullptr);
  EXPECT_FALSE(cache.Contains(path));
  EXPECT_EQ(cache.GetEntryCount(), 0u);
  SaveOpaquePng("later.png", 2, 3);
  std::shared_ptr<ImageInfo> found = cache.GetImage(path);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->GetHeight(), 3);
}

TEST_F(ImageDecodeTest, ArchiveComesFirstThenTheDisk) {
  const std::wstring on_disk = SaveOpaquePng("disk.png", 5, 5);
  const std::string gif = MakeGif({3, 4}, 0);
  std::vector<std::wstring> asked;
  ImageCache::ArchiveReader archive = [&](const std::wstring& key) -> std::optional<std::string> {
    asked.push_back(key);
    if (key == L"themes/default/anim.gif") return gif;
    if (key == on_disk) return std::string("garbage");
    return std::nullopt;
  };
  ImageCache cache;
  std::shared_ptr<ImageInfo> from_archive = cache.GetImage(L"themes/default/anim.gif", archive);
  ASSERT_NE(from_archive, nullptr);
  EXPECT_EQ(from_archive->GetFrameCount(), 2u);
  // An archive entry that does not decode falls back to the file.
  std::shared_ptr<ImageInfo> fallback = cache.GetImage(on_disk, archive);
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(fallback->GetWidth(), 5);
  EXPECT_EQ(cache.GetImage(L"themes/default/none.png", archive), nullptr);
  EXPECT_EQ(asked.size(), 3u);
  // A cached picture does not touch the archive again.
  EXPECT_EQ(cache.GetImage(L"themes/default/anim.gif", archive), from_archive);
  EXPECT_EQ(asked.size(), 3u);
}

TEST_F(ImageDecodeTest, PicturesMayOutliveTheirCache) {
  const std::wstring path = SaveOpaquePng("orphan.png", 2, 2);
  std::shared_ptr<ImageInfo> kept;
  {
    ImageCache cache;
    kept = cache.GetImage(path);
  }
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->GetWidth(), 2);
  kept.reset();
}

}  // namespace
}  // namespace ui
