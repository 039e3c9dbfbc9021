// The system clipboard's text (CF_UNICODETEXT). Windows has no primary
// selection: that kind holds nothing.

#include <windows.h>

#include <cstring>
#include <thread>

#include "ui/native/clipboard.h"
#include "ui/native/win/thread_window.h"

namespace ui {

namespace {

// Another program may hold the clipboard open for a moment.
bool OpenClipboardWithRetry(HWND owner) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (::OpenClipboard(owner)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class WinClipboard : public Clipboard {
 public:
  std::optional<std::wstring> GetText(ClipboardKind kind) override {
    if (kind != ClipboardKind::kClipboard) return std::nullopt;
    if (!::IsClipboardFormatAvailable(CF_UNICODETEXT)) return std::nullopt;
    if (!OpenClipboardWithRetry(GetThreadMessageWindow())) return std::nullopt;
    std::optional<std::wstring> out;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* text = static_cast<const wchar_t*>(::GlobalLock(data))) {
        // Up to the terminator, never past the block.
        const size_t limit = ::GlobalSize(data) / sizeof(wchar_t);
        size_t length = 0;
        while (length < limit && text[length] != L'\0') ++length;
        out = std::wstring(text, length);
        ::GlobalUnlock(data);
      }
    }
    ::CloseClipboard();
    return out;
  }

  bool SetText(ClipboardKind kind, const std::wstring& text) override {
    if (kind != ClipboardKind::kClipboard) return false;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return false;
    if (void* memory = ::GlobalLock(block)) {
      std::memcpy(memory, text.c_str(), bytes);
      ::GlobalUnlock(block);
    } else {
      ::GlobalFree(block);
      return false;
    }
    // A window must own the clipboard, or SetClipboardData refuses.
    if (!OpenClipboardWithRetry(GetThreadMessageWindow())) {
      ::GlobalFree(block);
      return false;
    }
    bool ok = ::EmptyClipboard() != FALSE;
    // The system owns the block once it is taken.
    if (ok) ok = ::SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    ::CloseClipboard();
    if (!ok) ::GlobalFree(block);
    return ok;
  }
};

}  // namespace

std::unique_ptr<Clipboard> CreateDesktopClipboard() {
  return std::make_unique<WinClipboard>();
}

}  // namespace ui
