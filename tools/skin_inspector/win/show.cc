// The skin in a Win32 window on the desktop; --watch follows the skin folder
// through the system's change notification.

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "tools/skin_inspector/inspector.h"
#include "ui/core/global_manager.h"

namespace inspector {

namespace {

constexpr UINT kDebounceMs = 150;

class Previewer {
 public:
  explicit Previewer(const Options& o) : o_(o), preview_(o, [this] { done_ = true; }) {}
  ~Previewer() {
    if (change_ != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change_);
    if (error_window_) DestroyWindow(error_window_);
  }

  int Run() {
    if (!preview_.Open()) return 1;
    if (o_.watch && !Watch()) return 1;
    Loop();
    return 0;
  }

 private:
  bool Watch() {
    std::wstring dir = nbase::UTF8ToWide(o_.resources + "/" + o_.theme + "/") + SkinFolder(o_.skin);
    for (wchar_t& c : dir) {
      if (c == L'/') c = L'\\';
    }
    change_ = FindFirstChangeNotificationW(
        dir.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (change_ == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "skin_inspector: cannot watch %s (error %lu)\n",
                   nbase::WideToUTF8(dir).c_str(), GetLastError());
      return false;
    }
    std::printf("watching %s\n", nbase::WideToUTF8(dir).c_str());
    std::fflush(stdout);
    return true;
  }

  // Messages of this thread until the window is gone; a change of the skin
  // folder starts the debounce timer, whose end rebuilds the window.
  void Loop() {
    while (!done_) {
      const DWORD handles = change_ == INVALID_HANDLE_VALUE ? 0 : 1;
      const DWORD woke = MsgWaitForMultipleObjectsEx(handles, &change_, INFINITE, QS_ALLINPUT,
                                                     MWMO_INPUTAVAILABLE);
      if (handles && woke == WAIT_OBJECT_0) {
        FindNextChangeNotification(change_);
        // Editors write in several steps; rebuild once they are done.
        debounce_ = SetTimer(nullptr, debounce_, kDebounceMs, nullptr);
        continue;
      }
      MSG message;
      while (!done_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return;
        if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == debounce_) {
          KillTimer(nullptr, debounce_);
          debounce_ = 0;
          Rebuild();
          continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
  }

  void Rebuild() {
    std::wstring error;
    if (preview_.Rebuild(&error)) {
      if (error_window_) ShowWindow(error_window_, SW_HIDE);
      return;
    }
    ShowError(error);
  }

  // The parser's text in place of the skin, until the next edit fixes it: a
  // read-only edit window, so that the text can be copied.
  void ShowError(const std::wstring& error) {
    const ui::UiRect& place = preview_.place();
    if (!error_window_) {
      error_window_ = CreateWindowExW(
          0, L"EDIT", L"skin_inspector: error",
          WS_OVERLAPPEDWINDOW | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL,
          place.left, place.top, 480, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    if (!error_window_) return;
    SetWindowTextW(error_window_, error.c_str());
    SetWindowPos(error_window_, HWND_TOP, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  }

  const Options& o_;
  Preview preview_;
  bool done_ = false;
  HANDLE change_ = INVALID_HANDLE_VALUE;
  UINT_PTR debounce_ = 0;
  HWND error_window_ = nullptr;
};

}  // namespace

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  // The tree is byte for byte what the other target prints: no "\r\n".
  _setmode(_fileno(stdout), _O_BINARY);
  // The wide command line: file names in any script, passed on as UTF-8.
  std::vector<std::string> args;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; argv && i < count; ++i) args.push_back(nbase::WideToUTF8(argv[i]));
  if (argv) LocalFree(argv);
  return args;
}

int Show(Options o) {
  ApplyDesktopDpi(&o, ui::GlobalManager::GetSystemDPI());
  // The same checks as the picture: no window for a skin that does not build.
  if (Inspect(o) != 0) return 1;
  Previewer previewer(o);
  return previewer.Run();
}

}  // namespace inspector
