// The pixel image every back end draws into and from: its layout, wrapping
// foreign memory, and PNG files written from it and decoded again.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "ui/image/image_decoder.h"
#include "ui/render/pixel_image.h"

namespace ui {
namespace {

TEST(PixelImageTest, CreateGivesClearedPackedRowsWithinTheSizeLimit) {
  std::shared_ptr<PixelImage> image = PixelImage::Create(3, 2);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetStride(), 12);
  EXPECT_EQ(image->GetByteSize(), 24u);
  for (size_t i = 0; i < image->GetByteSize(); ++i) ASSERT_EQ(image->GetData()[i], 0) << i;
  // Bytes are B, G, R, A; GetPixel reads them as 0xAARRGGBB.
  uint8_t* p = image->GetRow(1) + 2 * 4;
  p[0] = 0x11, p[1] = 0x22, p[2] = 0x33, p[3] = 0x44;
  EXPECT_EQ(image->GetPixel(2, 1), 0x44332211u);
  EXPECT_EQ(image->GetPixel(3, 1), 0u);
  EXPECT_EQ(image->GetPixel(-1, 0), 0u);

  EXPECT_EQ(PixelImage::Create(0, 5), nullptr);
  EXPECT_EQ(PixelImage::Create(5, -1), nullptr);
  EXPECT_EQ(PixelImage::Create(PixelImage::kMaxSide + 1, 1), nullptr);
  EXPECT_EQ(PixelImage::Create(1, PixelImage::kMaxSide + 1), nullptr);
  EXPECT_NE(PixelImage::Create(PixelImage::kMaxSide, 1), nullptr);
}

TEST(PixelImageTest, WrappedMemoryKeepsItsStrideAndIsReleasedAfterTheBackendData) {
  std::vector<uint8_t> memory(2 * 16, 0xAB);
  std::vector<std::string> events;
  struct Data : PixelImage::BackendData {
    explicit Data(std::vector<std::string>* events) : events(events) {}
    ~Data() override { events->push_back("backend"); }
    std::vector<std::string>* events;
  };
  {
    std::shared_ptr<PixelImage> image =
        PixelImage::Wrap(memory.data(), 3, 2, 16, [&events] { events.push_back("release"); });
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetRow(1), memory.data() + 16);
    image->SetBackendData(std::make_unique<Data>(&events));
    // Clearing leaves the padding at the end of each row alone.
    image->Clear();
    EXPECT_EQ(memory[11], 0);
    EXPECT_EQ(memory[12], 0xAB);
    EXPECT_EQ(memory[27], 0);
    EXPECT_EQ(memory[28], 0xAB);
    EXPECT_TRUE(events.empty());
  }
  EXPECT_EQ(events, (std::vector<std::string>{"backend", "release"}));

  EXPECT_EQ(PixelImage::Wrap(memory.data(), 3, 2, 8), nullptr);   // stride below a row
  EXPECT_EQ(PixelImage::Wrap(memory.data(), 3, 2, 14), nullptr);  // not whole pixels
  EXPECT_EQ(PixelImage::Wrap(nullptr, 3, 2, 16), nullptr);
}

class PixelImagePngTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("pixel_image_png_" + std::to_string(std::rand()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path dir_;
};

TEST_F(PixelImagePngTest, WrittenPicturesDecodeToTheSamePixels) {
  // Opaque pixels come back exactly; translucent ones go through straight
  // alpha in the file, so they come back within a step of rounding.
  std::shared_ptr<PixelImage> image = PixelImage::Create(4, 3);
  const uint32_t pixels[] = {0xFF102030u, 0xFFFFFFFFu, 0x80402010u, 0x00000000u,
                             0x01010101u, 0xFE7F3F1Fu, 0xFF000000u, 0x40404040u};
  for (int i = 0; i < 12; ++i) {
    const uint32_t v = pixels[i % 8];
    uint8_t* p = image->GetRow(i / 4) + (i % 4) * 4;
    p[0] = v & 0xFF, p[1] = (v >> 8) & 0xFF, p[2] = (v >> 16) & 0xFF, p[3] = v >> 24;
  }
  const std::string path = (dir_ / "round.png").string();
  ASSERT_TRUE(WritePngFile(*image, path));
  std::unique_ptr<ImageInfo> decoded = DecodeImageFile(nbase::UTF8ToWide(path));
  ASSERT_NE(decoded, nullptr);
  ASSERT_EQ(decoded->GetWidth(), 4);
  ASSERT_EQ(decoded->GetHeight(), 3);
  EXPECT_TRUE(decoded->HasAlpha());
  const PixelImage* back = decoded->GetFrame(0);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const uint32_t want = image->GetPixel(x, y);
      const uint32_t got = back->GetPixel(x, y);
      if (want >> 24 == 0xFF) {
        EXPECT_EQ(got, want) << x << "," << y;
        continue;
      }
      for (int shift = 0; shift < 32; shift += 8) {
        EXPECT_NEAR(static_cast<int>((got >> shift) & 0xFF),
                    static_cast<int>((want >> shift) & 0xFF), 1)
            << x << "," << y << " byte " << shift / 8;
      }
    }
  }

  // Rewriting replaces the file; a folder that does not exist fails.
  ASSERT_TRUE(WritePngFile(*PixelImage::Create(1, 1), path));
  decoded = DecodeImageFile(nbase::UTF8ToWide(path));
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->GetWidth(), 1);
  EXPECT_FALSE(WritePngFile(*image, (dir_ / "missing" / "x.png").string()));
}

}  // namespace
}  // namespace ui
