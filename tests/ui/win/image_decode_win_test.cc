// Pictures through GDI+ under Wine: BMP and ICO written byte by byte, JPEG
// from GDI+'s own encoder, PNG files written and replaced, and skin pictures
// GDI+ cannot read.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "tests/ui/control_test_support.h"
#include "tests/ui/image_test_support.h"
#include "tests/ui/render_test_support.h"
#include "tests/ui/temp_folder_test_support.h"
#include "ui/image/image_decoder.h"
#include "ui/render/win/gdi_pixels.h"
#include "ui/render/win/gdiplus_session.h"
#include "ui/render/win/render_gdiplus.h"

namespace ui {
namespace {

using image_test::PixelBytes;

void Put32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put16(std::string* s, uint32_t v) {
  for (int i = 0; i < 2; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A bottom-up DIB header and pixel rows: 24 bits (rows padded to 4 bytes) or
// 32 bits with straight alpha; `height` doubled for an icon's XOR and AND
// masks.
std::string DibBits(int width, int height, int bits, bool icon,
                    const std::vector<std::vector<uint32_t>>& argb) {
  std::string s;
  Put32(&s, 40);
  Put32(&s, static_cast<uint32_t>(width));
  Put32(&s, static_cast<uint32_t>(icon ? height * 2 : height));
  Put16(&s, 1);
  Put16(&s, static_cast<uint32_t>(bits));
  for (int i = 0; i < 6; ++i) Put32(&s, 0);
  for (int y = height - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < width; ++x) {
      const uint32_t c = argb[y][x];
      row.push_back(static_cast<char>(c & 0xFF));
      row.push_back(static_cast<char>((c >> 8) & 0xFF));
      row.push_back(static_cast<char>((c >> 16) & 0xFF));
      if (bits == 32) row.push_back(static_cast<char>(c >> 24));
    }
    while (row.size() % 4) row.push_back('\0');
    s += row;
  }
  if (icon) s.append(static_cast<size_t>(height) * 4, '\0');  // AND mask: 32-bit rows
  return s;
}

std::string Bmp(int width, int height, const std::vector<std::vector<uint32_t>>& argb) {
  const std::string dib = DibBits(width, height, 24, false, argb);
  std::string s = "BM";
  Put32(&s, static_cast<uint32_t>(14 + dib.size()));
  Put32(&s, 0);
  Put32(&s, 14 + 40);
  return s + dib;
}

std::string Ico(int width, int height, const std::vector<std::vector<uint32_t>>& argb) {
  const std::string dib = DibBits(width, height, 32, true, argb);
  std::string s;
  Put16(&s, 0);
  Put16(&s, 1);  // icon
  Put16(&s, 1);  // one image
  s.push_back(static_cast<char>(width));
  s.push_back(static_cast<char>(height));
  s.push_back('\0');
  s.push_back('\0');
  Put16(&s, 1);
  Put16(&s, 32);
  Put32(&s, static_cast<uint32_t>(dib.size()));
  Put32(&s, 6 + 16);
  return s + dib;
}

std::string ReadBytes(const std::string& utf8_path) {
  std::ifstream in(std::filesystem::path(nbase::UTF8ToWide(utf8_path)), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(ImageDecodeWinTest, BitmapsAreOpaqueWithTheirColours) {
  const std::vector<std::vector<uint32_t>> pixels = {{0x000000, 0x102030, 0xFFFFFF},
                                                     {0x0000FF, 0x00FF00, 0xFF0000}};
  std::unique_ptr<ImageInfo> bmp = DecodeImage(Bmp(3, 2, pixels));
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(bmp->GetWidth(), 3);
  EXPECT_EQ(bmp->GetHeight(), 2);
  EXPECT_FALSE(bmp->HasAlpha());
  const PixelImage* frame = bmp->GetFrame(0);
  // Decoded frames are DIB sections, ready for GDI to blit.
  EXPECT_NE(DibSectionOf(*frame), nullptr);
  EXPECT_EQ(PixelBytes(frame, 1, 0), (std::vector<unsigned char>{0x30, 0x20, 0x10, 255}));
  EXPECT_EQ(PixelBytes(frame, 0, 1), (std::vector<unsigned char>{0xFF, 0, 0, 255}));
  EXPECT_EQ(PixelBytes(frame, 2, 1), (std::vector<unsigned char>{0, 0, 0xFF, 255}));
}

TEST(ImageDecodeWinTest, IconsKeepTheirAlphaPremultiplied) {
  std::vector<std::vector<uint32_t>> pixels(16, std::vector<uint32_t>(16, 0xFF090807u));
  pixels[0][0] = 0x00C86432u;  // clear
  pixels[0][1] = 0x80C86432u;  // 200, 100, 50 at half alpha
  pixels[0][2] = 0x01FFFFFFu;
  std::unique_ptr<ImageInfo> icon = DecodeImage(Ico(16, 16, pixels));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->GetWidth(), 16);
  EXPECT_TRUE(icon->HasAlpha());
  const PixelImage* frame = icon->GetFrame(0);
  EXPECT_EQ(PixelBytes(frame, 0, 0), (std::vector<unsigned char>{0, 0, 0, 0}));
  const std::vector<unsigned char> half = PixelBytes(frame, 1, 0);
  EXPECT_NEAR(half[0], 25, 1);
  EXPECT_NEAR(half[1], 50, 1);
  EXPECT_NEAR(half[2], 100, 1);
  EXPECT_EQ(half[3], 128);
  EXPECT_EQ(PixelBytes(frame, 2, 0)[3], 1);
  EXPECT_LE(PixelBytes(frame, 2, 0)[0], 1);
  EXPECT_EQ(PixelBytes(frame, 5, 5), (std::vector<unsigned char>{7, 8, 9, 255}));
}

TEST(ImageDecodeWinTest, JpegsFromTheSystemEncoderDecodeOpaque) {
  testing::TempFolder folder("image_jpeg_");
  ASSERT_TRUE(folder.IsValid());
  ASSERT_TRUE(EnsureGdiplus());
  // Grey, written by GDI+'s JPEG encoder.
  std::shared_ptr<PixelImage> grey = render_test::SolidFrame(16, 8, 0xFF808080u);
  Gdiplus::GpBitmap* bitmap = WrapInGdiplusBitmap(*grey);
  ASSERT_NE(bitmap, nullptr);
  UINT count = 0, bytes = 0;
  ASSERT_EQ(Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes), Gdiplus::Ok);
  std::vector<unsigned char> buffer(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  ASSERT_EQ(Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, codecs), Gdiplus::Ok);
  const CLSID* jpeg = nullptr;
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(codecs[i].MimeType) == L"image/jpeg") jpeg = &codecs[i].Clsid;
  }
  ASSERT_NE(jpeg, nullptr);
  const std::wstring path = nbase::UTF8ToWide(folder.Child("grey.jpg"));
  ASSERT_EQ(Gdiplus::DllExports::GdipSaveImageToFile(bitmap, path.c_str(), jpeg, nullptr),
            Gdiplus::Ok);
  Gdiplus::DllExports::GdipDisposeImage(bitmap);

  std::unique_ptr<ImageInfo> decoded = DecodeImageFile(path);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->GetWidth(), 16);
  EXPECT_EQ(decoded->GetHeight(), 8);
  EXPECT_FALSE(decoded->HasAlpha());
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(PixelBytes(decoded->GetFrame(0), 9, 5)[i], 128, 3);
  EXPECT_EQ(PixelBytes(decoded->GetFrame(0), 9, 5)[3], 255);
}

TEST(ImageDecodeWinTest, PngFilesKeepStraightAlphaAndReplaceTheOldFile) {
  testing::TempFolder folder("image_png_");
  ASSERT_TRUE(folder.IsValid());
  const std::string path = folder.Child("out.png");
  // Premultiplied half red: the file holds 255, 0, 0 at alpha 128.
  ASSERT_TRUE(WritePngFile(*render_test::SolidFrame(2, 1, 0x80800000u), path));
  std::unique_ptr<ImageInfo> first = DecodeImageFile(nbase::UTF8ToWide(path));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(PixelBytes(first->GetFrame(0), 1, 0), (std::vector<unsigned char>{0, 0, 128, 128}));
  const std::string png = ReadBytes(path);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");

  ASSERT_TRUE(WritePngFile(*render_test::SolidFrame(5, 3, 0xFF00FF00u), path));
  std::unique_ptr<ImageInfo> second = DecodeImageFile(nbase::UTF8ToWide(path));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->GetWidth(), 5);

  // A folder that does not exist: no file, and nothing left half-written.
  const std::string nowhere = folder.Child("missing/out.png");
  EXPECT_FALSE(WritePngFile(*render_test::SolidFrame(2, 2, 0xFF000000u), nowhere));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(nbase::UTF8ToWide(nowhere))));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(
                              std::filesystem::path(nbase::UTF8ToWide(folder.path()))),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(ImageDecodeWinTest, SkinPicturesGdiplusCannotReadLeaveTheControlEmpty) {
  testing::TempFolder folder("image_broken_");
  ASSERT_TRUE(folder.IsValid());
  const std::string png = folder.Child("ok.png");
  ASSERT_TRUE(WritePngFile(*render_test::SolidFrame(4, 4, 0xFF0000FFu), png));
  const std::string whole = ReadBytes(png);
  // A truncated PNG, a PNG signature with noise, and text named like a picture.
  const std::vector<std::pair<std::string, std::string>> broken = {
      {"cut.png", whole.substr(0, whole.size() / 2)},
      {"noise.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, '\x7f')},
      {"text.gif", "GIF89a but not really"},
  };
  for (const auto& [name, bytes] : broken) {
    std::ofstream(std::filesystem::path(nbase::UTF8ToWide(folder.Child(name))), std::ios::binary)
        << bytes;
    EXPECT_EQ(DecodeImage(bytes), nullptr) << name;
    EXPECT_EQ(DecodeImageFile(nbase::UTF8ToWide(folder.Child(name))), nullptr) << name;
  }

  // Through the skin: the control paints its colour and no picture.
  GlobalManager::SetImageLoader(MakeSkinImageLoader());
  HeadlessWindowFixture fixture(CSize(20, 20));
  GlobalManager::AddTextColor(L"broken_test_white", 0xFFFFFFFFu);
  auto* root = new Control;
  root->SetBkColor(L"broken_test_white");
  root->SetBkImage(nbase::UTF8ToWide(folder.Child("cut.png")));
  fixture.Attach(root);
  EXPECT_EQ(fixture.headless()->GetPixel(10, 10), 0xFFFFFFFFu);
  root->SetBkImage(nbase::UTF8ToWide(png));
  fixture.Paint();
  EXPECT_EQ(fixture.headless()->GetPixel(2, 2), 0xFF0000FFu);
  GlobalManager::SetImageLoader(nullptr);
}

}  // namespace
}  // namespace ui
