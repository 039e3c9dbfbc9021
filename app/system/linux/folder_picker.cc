#include "app/system/folder_picker.h"

#include <gtk/gtk.h>

#include "ui/native/linux/gtk_window.h"

namespace corvane {

namespace {

class DesktopFolderPicker : public FolderPicker {
 public:
  bool Pick(ui::NativeWindow* owner, const std::string& title, const std::string& start_folder,
            Done done) override {
    if (!gdk_display_get_default()) return false;
    GtkWindow* parent = nullptr;
    if (owner) {
      auto* gtk_owner = dynamic_cast<ui::GtkNativeWindow*>(owner);
      // A headless window has nothing a dialog could stand over.
      if (!gtk_owner || !gtk_owner->GetWidget()) return false;
      parent = GTK_WINDOW(gtk_owner->GetWidget());
    }
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        title.c_str(), parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "选择", "取消");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
    // Only folders on this machine: the result must be a path the package
    // can install into.
    gtk_file_chooser_set_local_only(files, TRUE);
    gtk_file_chooser_set_create_folders(files, TRUE);
    gtk_file_chooser_set_current_folder(files, start_folder.c_str());
    g_signal_connect_data(chooser, "response", G_CALLBACK(OnResponse), new Done(std::move(done)),
                          FreeDone, GConnectFlags(0));
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
    return true;
  }

 private:
  static void OnResponse(GtkNativeDialog* dialog, gint response, gpointer data) {
    std::optional<std::string> folder;
    if (response == GTK_RESPONSE_ACCEPT) {
      // Names in the file system's own bytes, whatever their encoding.
      if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
        folder = name;
        g_free(name);
      }
    }
    // The answer is given once; the chooser goes with it.
    Done done = std::move(*static_cast<Done*>(data));
    g_signal_handlers_disconnect_by_data(dialog, data);
    g_object_unref(dialog);
    if (done) done(std::move(folder));
  }
  static void FreeDone(gpointer data, GClosure*) { delete static_cast<Done*>(data); }
};

}  // namespace

std::unique_ptr<FolderPicker> MakeDesktopFolderPicker() {
  return std::make_unique<DesktopFolderPicker>();
}

std::string ProductFolderUnder(const std::string& folder) {
  std::string base = folder;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base == "/") base.clear();
  return base + "/brightmoor/corvane";
}

}  // namespace corvane
