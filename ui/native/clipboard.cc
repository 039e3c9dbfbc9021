#include "ui/native/clipboard.h"

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

std::unique_ptr<Clipboard>& DefaultSlot() {
  static std::unique_ptr<Clipboard> slot;
  return slot;
}

}  // namespace

Clipboard* GetDefaultClipboard() {
  std::unique_ptr<Clipboard>& slot = DefaultSlot();
  if (!slot) slot = std::make_unique<MemoryClipboard>();
  return slot.get();
}

void UseDesktopClipboard() {
  std::unique_ptr<Clipboard>& slot = DefaultSlot();
  if (slot) return;
  slot = CreateDesktopClipboard();
}

void SetDefaultClipboard(std::unique_ptr<Clipboard> clipboard) {
  DefaultSlot() = std::move(clipboard);
}

}  // namespace ui
