#include "app/system/error_alert.h"

#include <gtk/gtk.h>

namespace corvane {

bool HasInteractiveSession() {
  return gdk_display_get_default() != nullptr;
}

bool ShowErrorAlert(const std::string& title, const std::string& text) {
  if (!gdk_display_get_default()) return false;
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_NONE, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_dialog_add_button(GTK_DIALOG(dialog), "确定", GTK_RESPONSE_OK);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  // Without a window manager nothing else would bring it up in front.
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return true;
}

bool AskRetryOrCancel(const std::string& title, const std::string& text) {
  // Without a display there is nobody to ask: the answer is "cancel".
  if (!gdk_display_get_default()) return false;
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                             GTK_BUTTONS_NONE, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  // A box without an owner stands in the middle of the screen.
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), "重试", GTK_RESPONSE_ACCEPT, "取消",
                         GTK_RESPONSE_CANCEL, nullptr);
  const gint answer = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return answer == GTK_RESPONSE_ACCEPT;
}

}  // namespace corvane
