// The desktop's resolution from GDK.

#include <gdk/gdk.h>
#include <gtk/gtk.h>

#include "ui/resource/skin_resources.h"

namespace ui {

int SkinResources::GetSystemDPI() {
  if (gdk_display_get_default() == nullptr) return 96;
  // GTK's settings (Xft/DPI, GDK_DPI_SCALE) set the resolution once they exist.
  gtk_settings_get_default();
  GdkScreen* screen = gdk_screen_get_default();
  const double resolution = screen != nullptr ? gdk_screen_get_resolution(screen) : -1.0;
  if (resolution <= 0) return 96;
  return static_cast<int>(resolution + 0.5);
}

}  // namespace ui
