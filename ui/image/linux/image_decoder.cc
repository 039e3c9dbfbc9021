#include "ui/image/image_decoder.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <png.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/file_util.h"
#include "base/string_util.h"

namespace ui {

namespace {

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};

// gdk-pixbuf plays a looping GIF for ever and does not tell how many frames it
// has, so the frames are counted from the file's own blocks.
size_t CountGifFrames(std::string_view gif) {
  const auto* p = reinterpret_cast<const unsigned char*>(gif.data());
  const size_t n = gif.size();
  size_t pos = 13;  // header and logical screen descriptor
  if (n < pos) return 0;
  if (p[10] & 0x80) pos += 3u << ((p[10] & 7) + 1);
  // Skips a chain of data sub-blocks; false when the file ends inside it.
  auto skip_sub_blocks = [&]() {
    while (pos < n) {
      const size_t len = p[pos];
      pos += 1 + len;
      if (len == 0) return true;
    }
    return false;
  };
  size_t frames = 0;
  while (pos < n) {
    const unsigned char block = p[pos++];
    if (block == 0x3B) break;
    if (block == 0x21) {
      ++pos;  // extension label
      if (!skip_sub_blocks()) break;
    } else if (block == 0x2C) {
      if (pos + 9 > n) break;
      const unsigned char packed = p[pos + 8];
      pos += 9;
      if (packed & 0x80) pos += 3u << ((packed & 7) + 1);
      ++pos;  // LZW minimum code size
      if (!skip_sub_blocks()) break;
      ++frames;
    } else {
      break;
    }
  }
  return frames;
}

uint32_t Premultiply(uint32_t c, uint32_t a) {
  const uint32_t x = c * a + 128;
  return (x + (x >> 8)) >> 8;
}

uint32_t OpaquePixel(const guint8* s) {
  return 0xFF000000u | (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
}

void ConvertRgbRow(const guint8* s, int width, uint32_t* d) {
  int x = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // One 4-byte load per pixel; the last pixel is left out since its fourth
    // byte may lie past the end of the pixel data.
    for (; x + 1 < width; ++x, s += 3) {
      uint32_t v;
      std::memcpy(&v, s, sizeof(v));
      d[x] = 0xFF000000u | (__builtin_bswap32(v) >> 8);
    }
  }
  for (; x < width; ++x, s += 3) d[x] = OpaquePixel(s);
}

// Returns whether every pixel of the row is opaque. Skin pictures are mostly
// fully opaque or fully clear, so those skip the multiplications.
bool ConvertRgbaRow(const guint8* s, int width, uint32_t* d) {
  uint32_t all = 255;
  for (int x = 0; x < width; ++x, s += 4) {
    const uint32_t a = s[3];
    all &= a;
    if (a == 255) {
      d[x] = OpaquePixel(s);
    } else if (a == 0) {
      d[x] = 0;
    } else {
      d[x] = (a << 24) | (Premultiply(s[0], a) << 16) | (Premultiply(s[1], a) << 8) |
             Premultiply(s[2], a);
    }
  }
  return all == 255;
}

// Converts to ARGB32 premultiplied; reports whether any pixel is not opaque.
cairo_surface_t* PixbufToSurface(GdkPixbuf* pixbuf, bool* translucent) {
  if (gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB ||
      gdk_pixbuf_get_bits_per_sample(pixbuf) != 8) {
    return nullptr;
  }
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  if (channels != (alpha ? 4 : 3)) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  const guint8* src = gdk_pixbuf_read_pixels(pixbuf);
  const int src_stride = gdk_pixbuf_get_rowstride(pixbuf);
  unsigned char* dst = cairo_image_surface_get_data(surface);
  const int dst_stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    const guint8* s = src + static_cast<size_t>(y) * src_stride;
    auto* d = reinterpret_cast<uint32_t*>(dst + static_cast<size_t>(y) * dst_stride);
    if (alpha) {
      if (!ConvertRgbaRow(s, width, d)) *translucent = true;
    } else {
      ConvertRgbRow(s, width, d);
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

bool AddFrame(ImageInfo* info, GdkPixbuf* pixbuf, bool* translucent) {
  cairo_surface_t* frame = PixbufToSurface(pixbuf, translucent);
  if (!frame) return false;
  info->AddFrame(frame);
  return true;
}

bool DecodeGifFrames(GdkPixbufAnimation* animation, size_t frame_count, ImageInfo* info,
                     bool* translucent) {
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GTimeVal time = {0, 0};
  GObjectPtr<GdkPixbufAnimationIter> iter(gdk_pixbuf_animation_get_iter(animation, &time));
  std::vector<int> delays;
  for (size_t i = 0; i < frame_count; ++i) {
    const int delay = gdk_pixbuf_animation_iter_get_delay_time(iter.get());
    // A negative delay past the first frame means the last frame is already in.
    if (delay < 0 && i > 0) break;
    if (!AddFrame(info, gdk_pixbuf_animation_iter_get_pixbuf(iter.get()), translucent)) {
      return false;
    }
    delays.push_back(delay < 0 ? 0 : delay);
    if (delay < 0) break;
    g_time_val_add(&time, static_cast<glong>(delay) * 1000);
    gdk_pixbuf_animation_iter_advance(iter.get(), &time);
  }
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (info->GetFrameCount() > 1) info->SetFrameDelays(std::move(delays));
  return info->GetFrameCount() > 0;
}

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);

// Letting gdk-pixbuf sniff the content type costs more than decoding a small
// icon, so the common skin formats are told by their signatures instead.
GdkPixbufLoader* NewLoaderFor(std::string_view bytes) {
  static constexpr struct {
    std::string_view signature;
    const char* type;
  } kKnown[] = {
      {kPngSignature, "png"},
      {"GIF87a", "gif"},
      {"GIF89a", "gif"},
      {"\xFF\xD8\xFF", "jpeg"},
  };
  for (const auto& known : kKnown) {
    if (!bytes.starts_with(known.signature)) continue;
    GError* error = nullptr;
    if (GdkPixbufLoader* typed = gdk_pixbuf_loader_new_with_type(known.type, &error)) {
      return typed;
    }
    // A missing loader module: leave the choice to gdk-pixbuf.
    if (error) g_error_free(error);
    break;
  }
  return gdk_pixbuf_loader_new();
}

struct PngSource {
  std::string_view rest;
};

void ReadPngBytes(png_structp png, png_bytep data, size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (source->rest.size() < length) png_error(png, "truncated");
  std::memcpy(data, source->rest.data(), length);
  source->rest.remove_prefix(length);
}

// A bad picture is a null result, not a message on stderr.
void PngError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

// Reads the rows into a new premultiplied surface. libpng reports errors by
// longjmp, so nothing in this frame has a destructor to skip.
cairo_surface_t* ReadPngRows(png_structp png, png_infop info, bool* translucent) {
  cairo_surface_t* volatile surface = nullptr;
  png_bytep volatile pixels = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    if (surface) cairo_surface_destroy(surface);
    std::free(pixels);
    return nullptr;
  }
  png_read_info(png, info);
  // Every layout comes out as 8-bit RGB or RGBA.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int channels = png_get_channels(png, info);
  if (png_get_bit_depth(png, info) != 8 || (channels != 3 && channels != 4)) return nullptr;
  surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width),
                                       static_cast<int>(height));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  unsigned char* const dst = cairo_image_surface_get_data(surface);
  const size_t dst_stride = static_cast<size_t>(cairo_image_surface_get_stride(surface));
  const size_t row_bytes = png_get_rowbytes(png, info);
  // An interlaced picture needs all its rows at once; a plain one only one.
  const size_t kept_rows = passes > 1 ? height : 1;
  pixels = static_cast<png_bytep>(std::malloc(row_bytes * kept_rows));
  if (!pixels) png_error(png, "out of memory");
  if (passes > 1) {
    for (int pass = 0; pass < passes; ++pass) {
      for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, pixels + y * row_bytes, nullptr);
    }
  }
  for (png_uint_32 y = 0; y < height; ++y) {
    png_bytep row = pixels;
    if (passes > 1) {
      row += y * row_bytes;
    } else {
      png_read_row(png, row, nullptr);
    }
    auto* d = reinterpret_cast<uint32_t*>(dst + y * dst_stride);
    if (channels == 4) {
      if (!ConvertRgbaRow(row, static_cast<int>(width), d)) *translucent = true;
    } else {
      ConvertRgbRow(row, static_cast<int>(width), d);
    }
  }
  std::free(pixels);
  pixels = nullptr;
  cairo_surface_mark_dirty(surface);
  return surface;
}

// libpng straight into a premultiplied surface, converting with the same
// rows as the pixbuf path; this spares the pixbuf and its clearing. The
// zlib stream's own checksum is not computed: every chunk's CRC, which is,
// covers the same bytes. Null when libpng cannot read it; gdk-pixbuf gets
// those.
std::unique_ptr<ImageInfo> DecodePng(std::string_view bytes) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) return nullptr;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return nullptr;
  }
#if defined(PNG_IGNORE_ADLER32)
  png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
  PngSource source{bytes};
  png_set_read_fn(png, &source, ReadPngBytes);
  bool translucent = false;
  cairo_surface_t* surface = ReadPngRows(png, info, &translucent);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!surface) return nullptr;
  auto image = std::make_unique<ImageInfo>();
  image->SetSize(cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface));
  image->AddFrame(surface);
  image->SetHasAlpha(translucent);
  return image;
}

}  // namespace

std::unique_ptr<ImageInfo> DecodeImage(std::string_view bytes) {
  if (bytes.empty()) return nullptr;
  if (bytes.starts_with(kPngSignature)) {
    if (std::unique_ptr<ImageInfo> png = DecodePng(bytes)) return png;
  }
  GObjectPtr<GdkPixbufLoader> loader(NewLoaderFor(bytes));
  GError* error = nullptr;
  const bool written = gdk_pixbuf_loader_write(
      loader.get(), reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), &error);
  // Closing is required even after a failed write.
  const bool closed = gdk_pixbuf_loader_close(loader.get(), written ? &error : nullptr);
  if (error) g_error_free(error);
  if (!written || !closed) return nullptr;
  GdkPixbufAnimation* animation = gdk_pixbuf_loader_get_animation(loader.get());
  if (!animation) return nullptr;

  auto info = std::make_unique<ImageInfo>();
  bool translucent = false;
  GdkPixbufFormat* format = gdk_pixbuf_loader_get_format(loader.get());
  std::unique_ptr<gchar, GFreeDeleter> name(format ? gdk_pixbuf_format_get_name(format) : nullptr);
  const bool gif = name && std::strcmp(name.get(), "gif") == 0;
  bool ok;
  if (gif && !gdk_pixbuf_animation_is_static_image(animation)) {
    ok = DecodeGifFrames(animation, std::max<size_t>(1, CountGifFrames(bytes)), info.get(),
                         &translucent);
  } else {
    GdkPixbuf* still = gdk_pixbuf_animation_get_static_image(animation);
    ok = still && AddFrame(info.get(), still, &translucent);
  }
  if (!ok) return nullptr;
  info->SetSize(gdk_pixbuf_animation_get_width(animation),
                gdk_pixbuf_animation_get_height(animation));
  info->SetHasAlpha(translucent);
  return info;
}

std::unique_ptr<ImageInfo> DecodeImageFile(const std::wstring& path) {
  if (path.empty()) return nullptr;
  gchar* contents = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(nbase::ResolvePathIgnoringCase(nbase::WideToUTF8(path)).c_str(),
                           &contents, &length, nullptr)) {
    return nullptr;
  }
  std::unique_ptr<gchar, GFreeDeleter> owned(contents);
  return DecodeImage(std::string_view(contents, length));
}

}  // namespace ui
