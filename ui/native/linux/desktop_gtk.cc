#include <gdk/gdk.h>

#include "ui/native/desktop.h"
#include "ui/native/linux/gtk_window.h"

namespace ui {

std::unique_ptr<NativeWindow> CreateDesktopWindow() {
  return std::make_unique<GtkNativeWindow>();
}

UiRect GetPrimaryWorkArea() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return UiRect();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0) {
    monitor = gdk_display_get_monitor(display, 0);
  }
  if (!monitor) return UiRect();
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  return UiRect(area.x, area.y, area.x + area.width, area.y + area.height);
}

}  // namespace ui
