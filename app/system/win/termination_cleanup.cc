// Windows ends a console program through its control handler (Ctrl+C, the
// console window closed, log-off, shut-down) and a program without a console
// through WM_ENDSESSION to its top-level windows; both remove the guarded
// files before the process goes.
#include "app/system/termination_cleanup.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "app/system/win/wide_text.h"

namespace corvane {

namespace {

constexpr int kSlots = 4;
constexpr size_t kMaxPath = 32768;

struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<bool> armed{false};
  wchar_t path[kMaxPath] = {};
};
Slot g_slots[kSlots];

void DeleteArmed() {
  for (Slot& slot : g_slots) {
    if (slot.armed.load()) DeleteFileW(slot.path);
  }
}

BOOL WINAPI OnConsoleControl(DWORD /*event*/) {
  DeleteArmed();
  // Not handled: the next handler, finally the default one, ends the process.
  return FALSE;
}

LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_ENDSESSION && wparam) DeleteArmed();
  if (message == WM_QUERYENDSESSION) return TRUE;
  return DefWindowProcW(window, message, wparam, lparam);
}

// A hidden top-level window of its own thread: message-only windows do not
// receive the session's end.
void WatchSessionEnd() {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = SessionWindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"CorvaneSessionEndWatcher";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, window_class.hInstance, nullptr);
  if (!window) return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}

void InstallHandlersOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    std::thread(WatchSessionEnd).detach();
  });
}

}  // namespace

RemoveOnTermination::RemoveOnTermination(const std::string& path) {
  const std::wstring wide = Utf8ToUtf16(path);
  if (wide.empty() || wide.size() >= kMaxPath) return;
  InstallHandlersOnce();
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!g_slots[i].taken.compare_exchange_strong(expected, true)) continue;
    wide.copy(g_slots[i].path, wide.size());
    g_slots[i].path[wide.size()] = L'\0';
    g_slots[i].armed.store(true);
    slot_ = i;
    return;
  }
}

RemoveOnTermination::~RemoveOnTermination() {
  if (slot_ < 0) return;
  g_slots[slot_].armed.store(false);
  g_slots[slot_].taken.store(false);
}

void RemoveGuardedFiles() {
  DeleteArmed();
}

}  // namespace corvane
