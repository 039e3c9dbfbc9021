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
#include "ui/image/image.h"
#include "ui/image/image_cache.h"
#include "ui/image/image_decoder.h"

namespace ui {
namespace {

void Put16(std::string* s, int v) {
  s->push_back(static_cast<char>(v & 0xFF));
  s->push_back(static_cast<char>((v >> 8) & 0xFF));
}

// A 2x2 GIF89a whose frame i is filled with palette entry i % 4 (red, green,
// blue, white). loop < 0 leaves out the looping extension.
std::string MakeGif(const std::vector<int>& delays, int loop) {
  std::string s = "GIF89a";
  Put16(&s, 2);
  Put16(&s, 2);
  s += '\x81';  // global colour table of 4 entries
  s += '\0';
  s += '\0';
  const unsigned char palette[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  s.append(reinterpret_cast<const char*>(palette), sizeof(palette));
  if (loop >= 0) {
    s += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
    Put16(&s, loop);
    s += '\0';
  }
  for (size_t f = 0; f < delays.size(); ++f) {
    s += std::string("\x21\xF9\x04\x04", 4);  // graphic control: dispose to background
    Put16(&s, delays[f]);
    s += std::string("\0\0", 2);
    s += '\x2C';
    Put16(&s, 0);
    Put16(&s, 0);
    Put16(&s, 2);
    Put16(&s, 2);
    s += '\0';
    s += '\x02';  // LZW minimum code size
    // Each pixel as clear code + literal, so the code width stays 3 bits.
    std::vector<int> codes;
    for (int i = 0; i < 4; ++i) codes.insert(codes.end(), {4, static_cast<int>(f % 4)});
    codes.push_back(5);
    std::string data;
    unsigned bits = 0;
    int count = 0;
    for (int code : codes) {
      bits |= static_cast<unsigned>(code) << count;
      count += 3;
      for (; count >= 8; count -= 8, bits >>= 8) data += static_cast<char>(bits & 0xFF);
    }
    if (count > 0) data += static_cast<char>(bits & 0xFF);
    s += static_cast<char>(data.size());
    s += data;
    s += '\0';
  }
  s += '\x3B';
  return s;
}

// Bytes of a pixel in a frame: blue, green, red, alpha.
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

std::vector<unsigned char> PixelBytes(const PixelImage* image, int x, int y) {
  const unsigned char* p = image->GetRow(y) + x * 4;
  return {p[0], p[1], p[2], p[3]};
}

class ImageDecodeTest : public ::testing::Test {
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

TEST_F(ImageDecodeTest, AlphaComesFromThePixels) {
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
TEST_F(ImageDecodeTest, PremultipliedBytesAreExact) {
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

TEST_F(ImageDecodeTest, FormatsWithoutAlphaHaveNone) {
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
TEST_F(ImageDecodeTest, PngLayoutsDecodeToTheSamePixels) {
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

TEST_F(ImageDecodeTest, UnreadableInputGivesNothing) {
  EXPECT_EQ(DecodeImage(""), nullptr);
  EXPECT_EQ(DecodeImage("not a picture at all"), nullptr);
  std::string gif = MakeGif({1, 2}, 0);
  EXPECT_EQ(DecodeImage(gif.substr(0, 20)), nullptr);
  EXPECT_EQ(DecodeImageFile(L""), nullptr);
  EXPECT_EQ(DecodeImageFile(nbase::UTF8ToWide(dir_) + L"/missing.png"), nullptr);
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
