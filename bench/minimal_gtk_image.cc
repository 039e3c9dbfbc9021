// The yardstick of the window benchmarks: the least a GTK 3 program does to
// show one picture in a window. Prints "shown" once the first frame is drawn.

#include <gtk/gtk.h>

#include <cstdio>

namespace {

gboolean OnDrawn(GtkWidget* widget, cairo_t* /*cr*/, gpointer /*data*/) {
  static bool first = true;
  if (first) {
    first = false;
    std::printf("shown %dx%d\n", gtk_widget_get_allocated_width(widget),
                gtk_widget_get_allocated_height(widget));
    std::fflush(stdout);
  }
  return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: minimal_gtk_image PICTURE\n", stderr);
    return 2;
  }
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  GtkWidget* image = gtk_image_new_from_file(argv[1]);
  gtk_container_add(GTK_CONTAINER(window), image);
  g_signal_connect_after(window, "draw", G_CALLBACK(OnDrawn), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
