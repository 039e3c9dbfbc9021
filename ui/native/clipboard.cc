#include "ui/native/clipboard.h"

#include <gtk/gtk.h>

#include "base/string_util.h"

namespace ui {

std::optional<std::wstring> MemoryClipboard::GetText(ClipboardKind kind) {
  auto it = texts_.find(kind);
  if (it == texts_.end()) return std::nullopt;
  return it->second;
}

bool MemoryClipboard::SetText(ClipboardKind kind, const std::wstring& text) {
  texts_[kind] = text;
  return true;
}

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

std::unique_ptr<Clipboard>& DefaultSlot() {
  static std::unique_ptr<Clipboard> slot;
  return slot;
}

}  // namespace

std::unique_ptr<Clipboard> CreateGtkClipboard() {
  if (!gdk_display_get_default()) return nullptr;
  return std::make_unique<GtkClipboardText>();
}

Clipboard* GetDefaultClipboard() {
  std::unique_ptr<Clipboard>& slot = DefaultSlot();
  if (!slot) slot = std::make_unique<MemoryClipboard>();
  return slot.get();
}

void SetDefaultClipboard(std::unique_ptr<Clipboard> clipboard) {
  DefaultSlot() = std::move(clipboard);
}

}  // namespace ui
