#include "ui/native/desktop_settings.h"

#include <gtk/gtk.h>

namespace ui {

CaretBlinkSettings ReadCaretBlinkSettings() {
  CaretBlinkSettings out;
  if (!gdk_display_get_default()) return out;
  GtkSettings* settings = gtk_settings_get_default();
  if (!settings) return out;
  gboolean blink = TRUE;
  gint time = 0;
  gint timeout = 0;
  g_object_get(settings, "gtk-cursor-blink", &blink, "gtk-cursor-blink-time", &time,
               "gtk-cursor-blink-timeout", &timeout, nullptr);
  out.blink = blink;
  if (time > 0) out.interval_ms = time / 2;
  // GTK counts the timeout in seconds; G_MAXINT means never.
  out.timeout_ms = timeout > 0 && timeout < G_MAXINT / 1000 ? timeout * 1000 : 0;
  return out;
}

}  // namespace ui
