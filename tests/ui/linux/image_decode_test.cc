#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "tests/ui/image_test_support.h"
#include "ui/image/image.h"
#include "ui/image/image_cache.h"
#include "ui/image/image_decoder.h"

namespace ui {
namespace {

using image_test::PixelBytes;

// Encodes a 3 x 2 picture with libpng in the given layout. Pixel (x, y) is
// grey level 40 + 80x (red varies, green 90, blue 200 - 100y in colour), alpha
// 255 except pixel (1, 1) at 128 when the layout carries alpha.
std::string EncodePng(int color_type, int bit_depth, int interlace) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
      },
      nullptr);
  png_set_IHDR(png, info, 3, 2, bit_depth, color_type, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (color_type == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[6];
    png_byte alpha[6];
    for (int i = 0; i < 6; ++i) {
      const int x = i % 3, y = i / 3;
      palette[i] = {static_cast<png_byte>(40 + 80 * x), 90, static_cast<png_byte>(200 - 100 * y)};
      alpha[i] = (x == 1 && y == 1) ? 128 : 255;
    }
    png_set_PLTE(png, info, palette, 6);
    png_set_tRNS(png, info, alpha, 6, nullptr);
  }
  png_write_info(png, info);
  const int channels = color_type == PNG_COLOR_TYPE_PALETTE ? 1 : png_get_channels(png, info);
  const int bytes = bit_depth / 8;
  std::vector<std::vector<png_byte>> rows(2, std::vector<png_byte>(3 * channels * bytes));
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      std::vector<int> v;
      const int a = (x == 1 && y == 1) ? 128 : 255;
      switch (color_type) {
        case PNG_COLOR_TYPE_PALETTE:
          v = {y * 3 + x};
          break;
        case PNG_COLOR_TYPE_GRAY:
          v = {40 + 80 * x};
          break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
          v = {40 + 80 * x, a};
          break;
        case PNG_COLOR_TYPE_RGB:
          v = {40 + 80 * x, 90, 200 - 100 * y};
          break;
        default:
          v = {40 + 80 * x, 90, 200 - 100 * y, a};
          break;
      }
      for (int c = 0; c < channels; ++c) {
        png_byte* at = &rows[y][(x * channels + c) * bytes];
        at[0] = static_cast<png_byte>(v[c]);
        if (bytes == 2) at[1] = static_cast<png_byte>(v[c]);  // v * 257: the same 8-bit value
      }
    }
  }
  png_bytep pointers[2] = {rows[0].data(), rows[1].data()};
  png_write_image(png, pointers);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

class ImageDecodePixbufTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gchar* dir = g_dir_make_tmp("corvane-image-XXXXXX", nullptr);
    ASSERT_NE(dir, nullptr);
    dir_ = dir;
    g_free(dir);
  }
  void TearDown() override {
    for (const std::string& file : files_) g_remove(file.c_str());
    g_rmdir(dir_.c_str());
  }

  std::string PathOf(const std::string& name) {
    std::string path = dir_ + "/" + name;
    files_.push_back(path);
    return path;
  }

  std::wstring WriteFile(const std::string& name, const std::string& bytes) {
    std::string path = PathOf(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return nbase::UTF8ToWide(path);
  }

  // Saves a width x height picture; `pixel` gives RGBA for each position.
  template <typename F>
  std::wstring SavePixbuf(const std::string& name, const char* type, bool alpha, int width,
                          int height, F pixel) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, width, height);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::array<unsigned char, 4> rgba = pixel(x, y);
        std::memcpy(pixels + y * stride + x * channels, rgba.data(), channels);
      }
    }
    std::string path = PathOf(name);
    GError* error = nullptr;
    const bool saved = gdk_pixbuf_save(pixbuf, path.c_str(), type, &error, nullptr);
    if (error) {
      ADD_FAILURE() << error->message;
      g_error_free(error);
    }
    EXPECT_TRUE(saved);
    g_object_unref(pixbuf);
    return nbase::UTF8ToWide(path);
  }

  std::wstring SaveOpaquePng(const std::string& name, int width, int height) {
    return SavePixbuf(name, "png", true, width, height, [](int x, int y) {
      return std::array<unsigned char, 4>{static_cast<unsigned char>(x * 10),
                                          static_cast<unsigned char>(y * 10), 77, 255};
    });
  }

  std::string dir_;
  std::vector<std::string> files_;
};

TEST_F(ImageDecodePixbufTest, AlphaComesFromThePixels) {
  std::unique_ptr<ImageInfo> opaque = DecodeImageFile(SaveOpaquePng("opaque.png", 3, 2));
  ASSERT_NE(opaque, nullptr);
  EXPECT_FALSE(opaque->HasAlpha());
  EXPECT_EQ(opaque->GetWidth(), 3);
  EXPECT_EQ(opaque->GetHeight(), 2);
  EXPECT_EQ(opaque->GetFrameCount(), 1u);
  EXPECT_EQ(opaque->GetFrame(0)->GetStride(), opaque->GetWidth() * 4);
  EXPECT_EQ(PixelBytes(opaque->GetFrame(0), 2, 1), (std::vector<unsigned char>{77, 10, 20, 255}));

  std::unique_ptr<ImageInfo> one_clear =
      DecodeImageFile(SavePixbuf("clear.png", "png", true, 3, 2, [](int x, int y) {
        const unsigned char a = (x == 1 && y == 1) ? 0 : 255;
        return std::array<unsigned char, 4>{10, 20, 30, a};
      }));
  ASSERT_NE(one_clear, nullptr);
  EXPECT_TRUE(one_clear->HasAlpha());
  EXPECT_EQ(PixelBytes(one_clear->GetFrame(0), 1, 1), (std::vector<unsigned char>{0, 0, 0, 0}));

  // Colours are premultiplied: 200, 100, 50 at alpha 128.
  std::unique_ptr<ImageInfo> half =
      DecodeImageFile(SavePixbuf("half.png", "png", true, 1, 1, [](int, int) {
        return std::array<unsigned char, 4>{200, 100, 50, 128};
      }));
  ASSERT_NE(half, nullptr);
  EXPECT_TRUE(half->HasAlpha());
  EXPECT_EQ(PixelBytes(half->GetFrame(0), 0, 0), (std::vector<unsigned char>{25, 50, 100, 128}));
}

// PNGs are read by libpng and the other formats converted from pixbufs, with
// shortcuts for alpha 0 and 255; both must match exact premultiplication,
// rounded to nearest.
TEST_F(ImageDecodePixbufTest, PremultipliedBytesAreExact) {
  const std::array<std::array<unsigned char, 4>, 5> row = {{
      {200, 100, 50, 0},
      {255, 255, 255, 1},
      {200, 100, 50, 128},
      {255, 128, 3, 254},
      {9, 8, 7, 255},
  }};
  for (const char* type : {"png", "ico"}) {
    SCOPED_TRACE(type);
    // The first row is opaque so a translucent pixel in a later row must be seen.
    std::unique_ptr<ImageInfo> rgba = DecodeImageFile(
        SavePixbuf(std::string("mixed.") + type, type, true, 5, 2, [&](int x, int y) {
          return y == 0 ? std::array<unsigned char, 4>{1, 2, 3, 255} : row[x];
        }));
    ASSERT_NE(rgba, nullptr);
    EXPECT_TRUE(rgba->HasAlpha());
    EXPECT_EQ(rgba->GetWidth(), 5);
    EXPECT_EQ(rgba->GetHeight(), 2);
    const PixelImage* frame = rgba->GetFrame(0);
    EXPECT_EQ(frame->GetWidth(), 5);
    EXPECT_EQ(PixelBytes(frame, 4, 0), (std::vector<unsigned char>{3, 2, 1, 255}));
    EXPECT_EQ(PixelBytes(frame, 0, 1), (std::vector<unsigned char>{0, 0, 0, 0}));
    EXPECT_EQ(PixelBytes(frame, 1, 1), (std::vector<unsigned char>{1, 1, 1, 1}));
    EXPECT_EQ(PixelBytes(frame, 2, 1), (std::vector<unsigned char>{25, 50, 100, 128}));
    EXPECT_EQ(PixelBytes(frame, 3, 1), (std::vector<unsigned char>{3, 127, 254, 254}));
    EXPECT_EQ(PixelBytes(frame, 4, 1), (std::vector<unsigned char>{7, 8, 9, 255}));
  }

  // Three channels: every pixel opaque, colours as they are.
  for (const char* type : {"png", "bmp"}) {
    SCOPED_TRACE(type);
    std::unique_ptr<ImageInfo> rgb = DecodeImageFile(
        SavePixbuf(std::string("rgb3.") + type, type, false, 3, 2, [](int x, int y) {
          return std::array<unsigned char, 4>{static_cast<unsigned char>(x * 100),
                                              static_cast<unsigned char>(y * 200), 5, 0};
        }));
    ASSERT_NE(rgb, nullptr);
    EXPECT_FALSE(rgb->HasAlpha());
    EXPECT_EQ(PixelBytes(rgb->GetFrame(0), 0, 0), (std::vector<unsigned char>{5, 0, 0, 255}));
    EXPECT_EQ(PixelBytes(rgb->GetFrame(0), 2, 1), (std::vector<unsigned char>{5, 200, 200, 255}));
  }
}

TEST_F(ImageDecodePixbufTest, FormatsWithoutAlphaHaveNone) {
  auto grey = [](int, int) { return std::array<unsigned char, 4>{128, 128, 128, 255}; };
  for (const char* type : {"jpeg", "bmp", "png"}) {
    SCOPED_TRACE(type);
    std::unique_ptr<ImageInfo> decoded =
        DecodeImageFile(SavePixbuf(std::string("rgb.") + type, type, false, 8, 4, grey));
    ASSERT_NE(decoded, nullptr);
    EXPECT_FALSE(decoded->HasAlpha());
    EXPECT_EQ(decoded->GetWidth(), 8);
    EXPECT_EQ(decoded->GetHeight(), 4);
    EXPECT_EQ(PixelBytes(decoded->GetFrame(0), 7, 3)[3], 255);
  }
  std::unique_ptr<ImageInfo> icon =
      DecodeImageFile(SavePixbuf("icon.ico", "ico", true, 16, 16, [](int x, int) {
        return std::array<unsigned char, 4>{1, 2, 3, static_cast<unsigned char>(x ? 255 : 0)};
      }));
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(icon->HasAlpha());
  EXPECT_EQ(icon->GetWidth(), 16);
}

// Every PNG layout comes out as premultiplied 8-bit BGRA with the same
// pixels: palettes with transparency, grey, 16-bit and interlaced pictures.
TEST_F(ImageDecodePixbufTest, PngLayoutsDecodeToTheSamePixels) {
  struct Layout {
    const char* name;
    int color_type;
    int bit_depth;
    int interlace;
    bool alpha;
  };
  const Layout layouts[] = {
      {"rgb8", PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_NONE, false},
      {"rgba8", PNG_COLOR_TYPE_RGBA, 8, PNG_INTERLACE_NONE, true},
      {"rgba16", PNG_COLOR_TYPE_RGBA, 16, PNG_INTERLACE_NONE, true},
      {"rgba8 adam7", PNG_COLOR_TYPE_RGBA, 8, PNG_INTERLACE_ADAM7, true},
      {"rgb16 adam7", PNG_COLOR_TYPE_RGB, 16, PNG_INTERLACE_ADAM7, false},
      {"palette+trns", PNG_COLOR_TYPE_PALETTE, 8, PNG_INTERLACE_NONE, true},
      {"grey8", PNG_COLOR_TYPE_GRAY, 8, PNG_INTERLACE_NONE, false},
      {"grey+alpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, PNG_INTERLACE_NONE, true},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    const std::string bytes = EncodePng(layout.color_type, layout.bit_depth, layout.interlace);
    std::unique_ptr<ImageInfo> decoded = DecodeImage(bytes);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->GetWidth(), 3);
    EXPECT_EQ(decoded->GetHeight(), 2);
    EXPECT_EQ(decoded->HasAlpha(), layout.alpha);
    const PixelImage* frame = decoded->GetFrame(0);
    const bool grey =
        layout.color_type == PNG_COLOR_TYPE_GRAY || layout.color_type == PNG_COLOR_TYPE_GRAY_ALPHA;
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        const unsigned char r = static_cast<unsigned char>(40 + 80 * x);
        std::vector<unsigned char> want =
            grey
                ? std::vector<unsigned char>{r, r, r, 255}
                : std::vector<unsigned char>{static_cast<unsigned char>(200 - 100 * y), 90, r, 255};
        if (layout.alpha && x == 1 && y == 1) {
          // 128 / 255 of each colour, rounded.
          for (int c = 0; c < 3; ++c)
            want[c] = static_cast<unsigned char>((want[c] * 128 + 127) / 255);
          want[3] = 128;
        }
        EXPECT_EQ(PixelBytes(frame, x, y), want) << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace ui
