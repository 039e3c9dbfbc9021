// The desktop's clipboard and primary selection through GTK.

#include <gtk/gtk.h>

#include "base/string_util.h"
#include "ui/native/clipboard.h"

namespace ui {

namespace {

class GtkClipboardText : public Clipboard {
 public:
  std::optional<std::wstring> GetText(ClipboardKind kind) override {
    GtkClipboard* clipboard = Get(kind);
    if (!clipboard) return std::nullopt;
    // Waits in a nested loop for the owner (possibly another program) to answer.
    gchar* text = gtk_clipboard_wait_for_text(clipboard);
    if (!text) return std::nullopt;
    std::wstring out = nbase::UTF8ToWide(text);
    g_free(text);
    return out;
  }

  bool SetText(ClipboardKind kind, const std::wstring& text) override {
    GtkClipboard* clipboard = Get(kind);
    if (!clipboard) return false;
    const std::string utf8 = nbase::WideToUTF8(text);
    gtk_clipboard_set_text(clipboard, utf8.data(), static_cast<gint>(utf8.size()));
    // Other programs may read the clipboard after this one has gone.
    if (kind == ClipboardKind::kClipboard) gtk_clipboard_store(clipboard);
    return true;
  }

 private:
  static GtkClipboard* Get(ClipboardKind kind) {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return nullptr;
    return gtk_clipboard_get_for_display(
        display, kind == ClipboardKind::kPrimary ? GDK_SELECTION_PRIMARY : GDK_SELECTION_CLIPBOARD);
  }
};

}  // namespace

std::unique_ptr<Clipboard> CreateDesktopClipboard() {
  if (!gdk_display_get_default()) return nullptr;
  return std::make_unique<GtkClipboardText>();
}

}  // namespace ui
