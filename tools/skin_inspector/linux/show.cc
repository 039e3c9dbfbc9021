// The skin in a GTK window on the desktop; --watch follows the skin folder
// through GIO's file monitor.

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "base/string_util.h"
#include "tools/skin_inspector/inspector.h"
#include "ui/core/global_manager.h"

namespace inspector {

namespace {

class Previewer {
 public:
  explicit Previewer(const Options& o) : o_(o), preview_(o, [this] { g_main_loop_quit(loop_); }) {
    loop_ = g_main_loop_new(nullptr, FALSE);
  }
  ~Previewer() {
    if (monitor_) g_object_unref(monitor_);
    if (poll_) g_source_remove(poll_);
    if (debounce_) g_source_remove(debounce_);
    if (error_window_) gtk_widget_destroy(error_window_);
    g_main_loop_unref(loop_);
  }

  int Run() {
    if (!preview_.Open()) return 1;
    if (o_.watch && !Watch()) return 1;
    g_main_loop_run(loop_);
    return 0;
  }

 private:
  bool Watch() {
    const std::string dir =
        o_.resources + "/" + o_.theme + "/" + nbase::WideToUTF8(SkinFolder(o_.skin));
    GFile* file = g_file_new_for_path(dir.c_str());
    GError* error = nullptr;
    monitor_ = g_file_monitor_directory(file, G_FILE_MONITOR_WATCH_MOVES, nullptr, &error);
    g_object_unref(file);
    if (monitor_) {
      g_signal_connect(monitor_, "changed", G_CALLBACK(&Previewer::OnChangedThunk), this);
      std::printf("watching %s\n", dir.c_str());
    } else {
      // No change notification here (every inotify instance taken, or none at
      // all): the folder is looked at twice a second instead.
      g_clear_error(&error);
      if (!g_file_test(dir.c_str(), G_FILE_TEST_IS_DIR)) {
        std::fprintf(stderr, "skin_inspector: cannot watch %s: no such folder\n", dir.c_str());
        return false;
      }
      polled_dir_ = dir;
      polled_state_ = ReadFolderState(dir);
      poll_ = g_timeout_add(kPollMs, &Previewer::OnPollThunk, this);
      std::printf("watching %s (polling every %d ms)\n", dir.c_str(), kPollMs);
    }
    std::fflush(stdout);
    return true;
  }

  // Modification time and size of each file of a folder, by name.
  using FolderState = std::map<std::string, std::pair<int64_t, int64_t>>;
  static FolderState ReadFolderState(const std::string& dir) {
    FolderState state;
    GDir* folder = g_dir_open(dir.c_str(), 0, nullptr);
    if (!folder) return state;
    while (const char* name = g_dir_read_name(folder)) {
      struct stat st;
      if (stat((dir + "/" + name).c_str(), &st) != 0) continue;
      state[name] = {int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec, st.st_size};
    }
    g_dir_close(folder);
    return state;
  }

  static gboolean OnPollThunk(gpointer self) {
    auto* me = static_cast<Previewer*>(self);
    FolderState now = ReadFolderState(me->polled_dir_);
    if (now != me->polled_state_) {
      me->polled_state_ = std::move(now);
      me->Changed();
    }
    return G_SOURCE_CONTINUE;
  }

  static void OnChangedThunk(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent, gpointer self) {
    static_cast<Previewer*>(self)->Changed();
  }

  void Changed() {
    // Editors write in several steps; rebuild once they are done.
    if (debounce_) g_source_remove(debounce_);
    debounce_ = g_timeout_add(150, &Previewer::OnDebounceThunk, this);
  }

  static gboolean OnDebounceThunk(gpointer self) {
    auto* me = static_cast<Previewer*>(self);
    me->debounce_ = 0;
    me->Rebuild();
    return G_SOURCE_REMOVE;
  }

  void Rebuild() {
    std::wstring error;
    if (preview_.Rebuild(&error)) {
      if (error_window_) gtk_widget_hide(error_window_);
      return;
    }
    ShowError(error);
  }

  // The parser's text in place of the skin, until the next edit fixes it.
  void ShowError(const std::wstring& error) {
    if (!error_window_) {
      error_window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      gtk_window_set_title(GTK_WINDOW(error_window_), "skin_inspector: error");
      error_label_ = gtk_label_new(nullptr);
      gtk_label_set_selectable(GTK_LABEL(error_label_), TRUE);
      gtk_label_set_line_wrap(GTK_LABEL(error_label_), TRUE);
      gtk_container_set_border_width(GTK_CONTAINER(error_window_), 16);
      gtk_container_add(GTK_CONTAINER(error_window_), error_label_);
      g_signal_connect(error_window_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete),
                       nullptr);
    }
    gtk_label_set_text(GTK_LABEL(error_label_), nbase::WideToUTF8(error).c_str());
    gtk_window_move(GTK_WINDOW(error_window_), preview_.place().left, preview_.place().top);
    gtk_widget_show_all(error_window_);
  }

  const Options& o_;
  GMainLoop* loop_ = nullptr;
  Preview preview_;
  static constexpr int kPollMs = 500;

  GFileMonitor* monitor_ = nullptr;
  guint poll_ = 0;
  std::string polled_dir_;
  FolderState polled_state_;
  guint debounce_ = 0;
  GtkWidget* error_window_ = nullptr;
  GtkWidget* error_label_ = nullptr;
};

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  // File names are the file system's bytes here.
  return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

int Show(Options o) {
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "skin_inspector: no display to show the window on\n");
    return 1;
  }
  // The desktop's DPI picks the theme folder and the scale, as in the installer.
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  const int monitor_scale = monitor ? gdk_monitor_get_scale_factor(monitor) : 1;
  ApplyDesktopDpi(&o, ui::GlobalManager::GetSystemDPI() * std::max(1, monitor_scale));
  // The same checks as the picture: no window for a skin that does not build.
  if (Inspect(o) != 0) return 1;
  Previewer previewer(o);
  return previewer.Run();
}

}  // namespace inspector
