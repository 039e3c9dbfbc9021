#include "base/win/message_pump_win.h"

#include <algorithm>

#include "base/message_loop.h"
#include "base/win/message_window.h"

namespace nbase {
namespace {

constexpr wchar_t kWindowClass[] = L"KestrelMessagePumpWindow";
// The longest finite wait or timer: INFINITE itself means no limit.
constexpr int64_t kMaxFiniteMs = INFINITE - 1;

DWORD ToWaitMs(int64_t delay_ms) {
  return delay_ms < 0 ? INFINITE : static_cast<DWORD>(std::min(delay_ms, kMaxFiniteMs));
}

}  // namespace

// ---------------------------------------------------------------------------
// WinUIMessagePump

WinUIMessagePump::WinUIMessagePump() : thread_id_(::GetCurrentThreadId()) {
  window_ = CreateMessageWindow(kWindowClass, &WinUIMessagePump::WindowProc, this);
}

WinUIMessagePump::~WinUIMessagePump() {
  if (!window_) return;
  // The window procedure must not reach this pump any more, whichever thread
  // drops the last reference (a post from another thread may).
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  if (::GetCurrentThreadId() == thread_id_) {
    KillTimer();
    ::DestroyWindow(window_);
  } else {
    // Only the owning thread may destroy it; the timer goes with it.
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
  }
}

void WinUIMessagePump::WakeUp() {
  if (!ClaimWakeUp()) return;
  // One work message at most in the queue. A full queue refuses the post:
  // the flag is cleared so that a later WakeUp tries again.
  if (!::PostMessageW(window_, kWorkMessage, reinterpret_cast<WPARAM>(this), 0)) ResetHaveWork();
}

void WinUIMessagePump::PostQuitMessage() {
  if (::GetCurrentThreadId() == thread_id_) {
    ::PostQuitMessage(0);
  } else {
    ::PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
  }
}

void WinUIMessagePump::SetDelayedWakeUp(const TickTime& time) {
  delayed_work_time_ = time;
  const int64_t interval = TimerIntervalMs();
  if (interval < 0) {
    KillTimer();
    return;
  }
  // The timer only matters inside modal loops; the pump's own wait is exact.
  // Setting it again with the same identifier replaces the interval.
  if (::SetTimer(window_, timer_id(), static_cast<UINT>(interval), nullptr)) {
    armed_timer_ms_ = interval;
  }
}

void WinUIMessagePump::KillTimer() {
  if (armed_timer_ms_ < 0) return;
  ::KillTimer(window_, timer_id());
  armed_timer_ms_ = -1;
}

LRESULT CALLBACK WinUIMessagePump::WindowProc(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  auto* pump = reinterpret_cast<WinUIMessagePump*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (pump) {
    if (message == kWorkMessage && wparam == reinterpret_cast<WPARAM>(pump)) {
      pump->HandleWorkMessage();
    } else if (message == WM_TIMER && wparam == pump->timer_id()) {
      pump->HandleTimerMessage();
    }
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void WinUIMessagePump::HandleWorkMessage() {
  // Outside Run (a modal loop before the loop started, or between runs):
  // only the flag is reset, so the next WakeUp posts a fresh message.
  if (!state_) {
    ResetHaveWork();
    return;
  }
  ProcessPumpReplacementMessage();
  // While a task runs the delegate refuses, so no task runs re-entrantly.
  if (state_ && state_->delegate->RunImmediateWork()) WakeUp();
}

void WinUIMessagePump::HandleTimerMessage() {
  KillTimer();
  if (!state_) return;
  state_->delegate->RunDelayedWork(&delayed_work_time_);
  if (!delayed_work_time_.is_null()) SetDelayedWakeUp(delayed_work_time_);
}

bool WinUIMessagePump::ProcessMessage(const MSG& message) {
  if (message.message == WM_QUIT) {
    state_->should_quit = true;
    // Outer runs of this pump end too; the outermost one consumes it, so
    // that a later loop on this thread (a message box) does not see it.
    if (state_->depth > 1) ::PostQuitMessage(static_cast<int>(message.wParam));
    return false;
  }
  if (message.hwnd == window_ && message.message == kWorkMessage) {
    return ProcessPumpReplacementMessage();
  }
  MSG copy = message;
  if (::CallMsgFilterW(&copy, kMessageFilterCode)) return true;

  ui_observers_.Notify(&UIObserver::WillProcessMessage, message);
  ::TranslateMessage(&copy);
  ::DispatchMessageW(&copy);
  // A dispatcher sees each message after it went to its window; false ends
  // this run.
  if (state_ && state_->dispatcher && !state_->dispatcher->Dispatch()) {
    state_->should_quit = true;
  }
  ui_observers_.Notify(&UIObserver::DidProcessMessage, message);
  return true;
}

bool WinUIMessagePump::ProcessPumpReplacementMessage() {
  MSG message;
  bool have_message;
  MessageLoop* loop = MessageLoop::Current();
  if (loop && loop->os_modal()) {
    // A platform modal loop runs: take only what it would not miss.
    have_message = ::PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE) ||
                   ::PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE);
  } else {
    have_message = ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
  }
  // The work message is off the queue: the next WakeUp posts another.
  ResetHaveWork();
  if (!have_message) return false;
  // Another time slice for tasks after this message.
  WakeUp();
  return ProcessMessage(message);
}

bool WinUIMessagePump::ProcessNativeWork() {
  // PeekMessageW delivers sent messages itself and returns none for them,
  // yet they were work.
  const DWORD status = ::GetQueueStatus(QS_SENDMESSAGE);
  MSG message;
  if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return ProcessMessage(message);
  return (HIWORD(status) & QS_SENDMESSAGE) != 0;
}

void WinUIMessagePump::WaitForNativeWork() {
  const DWORD result = ::MsgWaitForMultipleObjectsEx(0, nullptr, ToWaitMs(CurrentDelayMs()),
                                                     QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (result != WAIT_OBJECT_0) return;
  // Mouse input for a child window of another thread can end the wait while
  // this queue yields nothing; waiting for a real message avoids spinning.
  const DWORD status = ::GetQueueStatus(QS_MOUSE);
  MSG message;
  if ((HIWORD(status) & QS_MOUSE) &&
      !::PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE)) {
    ::WaitMessage();
  }
}

// ---------------------------------------------------------------------------
// WinIOMessagePump

WinIOMessagePump::WinIOMessagePump() {
  port_ = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
}

WinIOMessagePump::~WinIOMessagePump() {
  if (port_) ::CloseHandle(port_);
}

bool WinIOMessagePump::RegisterIOHandler(HANDLE file, IOHandler* handler) {
  if (!port_ || !handler || file == nullptr || file == INVALID_HANDLE_VALUE) return false;
  return ::CreateIoCompletionPort(file, port_, reinterpret_cast<ULONG_PTR>(handler), 1) == port_;
}

void WinIOMessagePump::WakeUp() {
  if (!ClaimWakeUp()) return;
  // The wake-up is a completion whose key and record are the pump itself.
  if (!::PostQueuedCompletionStatus(port_, 0, reinterpret_cast<ULONG_PTR>(this),
                                    reinterpret_cast<OVERLAPPED*>(this))) {
    ResetHaveWork();
  }
}

bool WinIOMessagePump::WaitForIOEvent(int64_t timeout_ms) {
  if (!port_) return false;
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  DWORD error = 0;
  if (!::GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, ToWaitMs(timeout_ms))) {
    // No record: the wait timed out (or failed), no work this time.
    if (!overlapped) return false;
    // A failed operation's record: its handler hears the error.
    error = ::GetLastError();
    bytes = 0;
  }
  if (key == reinterpret_cast<ULONG_PTR>(this) &&
      overlapped == reinterpret_cast<OVERLAPPED*>(this)) {
    ResetHaveWork();
    return true;
  }
  auto* context = reinterpret_cast<IOContext*>(overlapped);
  if (!context->handler) {
    // Its issuer gave it up; nobody else will free it.
    delete context;
    return true;
  }
  io_observers_.Notify(&IOObserver::WillProcessIOEvent);
  context->handler->OnIOCompleted(context, bytes, error);
  io_observers_.Notify(&IOObserver::DidProcessIOEvent);
  return true;
}

// ---------------------------------------------------------------------------

std::shared_ptr<UIMessagePump> CreateUIMessagePump() {
  return std::make_shared<WinUIMessagePump>();
}

std::shared_ptr<IOMessagePump> CreateIOMessagePump() {
  return std::make_shared<WinIOMessagePump>();
}

}  // namespace nbase
