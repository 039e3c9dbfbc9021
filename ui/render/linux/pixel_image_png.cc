// PNG files of pixel images through Cairo's writer.

#include <cairo.h>

#include "ui/render/pixel_image.h"

namespace ui {

bool WritePngFile(const PixelImage& image, const std::string& utf8_path) {
  // A surface of its own: the writer must not depend on what else wraps the
  // image.
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      const_cast<uint8_t*>(image.GetData()), CAIRO_FORMAT_ARGB32, image.GetWidth(),
      image.GetHeight(), image.GetStride());
  const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
                  cairo_surface_write_to_png(surface, utf8_path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace ui
