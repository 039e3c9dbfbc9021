#pragma once

// The text clipboard: the regular one (copy, cut, paste) and, on X11, the
// primary selection (select to copy, middle click to paste).

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace ui {

enum class ClipboardKind { kClipboard, kPrimary };

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Nothing when the clipboard holds no text or cannot be read.
  virtual std::optional<std::wstring> GetText(ClipboardKind kind) = 0;
  virtual bool SetText(ClipboardKind kind, const std::wstring& text) = 0;
};

// Keeps the texts in memory: headless windows and tests.
class MemoryClipboard : public Clipboard {
 public:
  std::optional<std::wstring> GetText(ClipboardKind kind) override;
  bool SetText(ClipboardKind kind, const std::wstring& text) override;

 private:
  std::map<ClipboardKind, std::wstring> texts_;
};

// The desktop's clipboard (GTK's on Linux, the system's on Windows); null
// when no display is open.
std::unique_ptr<Clipboard> CreateDesktopClipboard();

// The clipboard controls use: the one set here, else a process-wide memory one.
Clipboard* GetDefaultClipboard();
void SetDefaultClipboard(std::unique_ptr<Clipboard> clipboard);
// Makes the desktop's clipboard the default unless one is set already
// (nothing without a display).
void UseDesktopClipboard();

}  // namespace ui
