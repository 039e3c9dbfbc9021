#pragma once

#include <windows.h>

#include <cstdint>

#include "base/message_pump.h"
#include "base/observer_list.h"

namespace nbase {

// The UI thread's pump: runs the thread's Windows message queue, one message
// per pass, interleaved with a bounded batch of tasks. A hidden message-only
// window carries the one outstanding wake-up (a posted work message) and the
// timer of delayed work, so tasks keep running, one per work message, inside
// modal loops (message boxes, window moves) that pump the same queue.
class WinUIMessagePump final : public UIMessagePump {
 public:
  class UIObserver {
   public:
    virtual ~UIObserver() = default;
    virtual void WillProcessMessage(const MSG& message) = 0;
    virtual void DidProcessMessage(const MSG& message) = 0;
  };

  // The private work message, posted to the message window.
  static constexpr UINT kWorkMessage = WM_USER + 1;
  // What CallMsgFilterW is asked with before a message is dispatched.
  static constexpr int kMessageFilterCode = 0x5001;

  // Creates the message window on the calling thread, which runs the pump.
  WinUIMessagePump();
  ~WinUIMessagePump() override;

  WinUIMessagePump(const WinUIMessagePump&) = delete;
  WinUIMessagePump& operator=(const WinUIMessagePump&) = delete;

  void WakeUp() override;
  void SetDelayedWakeUp(const TickTime& time) override;
  void PostQuitMessage() override;

  void AddUIObserver(UIObserver* observer) { ui_observers_.AddObserver(observer); }
  void RemoveUIObserver(UIObserver* observer) { ui_observers_.RemoveObserver(observer); }

  HWND message_window() const { return window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  // One message off the queue, if any.
  bool ProcessNativeWork() override;
  void WaitForNativeWork() override;
  void KillTimer() override;
  // Handles one message taken off the queue; returns whether more work is
  // plausible (false for WM_QUIT).
  bool ProcessMessage(const MSG& message);
  // The work message just taken must not starve the queue: one real message
  // takes its place.
  bool ProcessPumpReplacementMessage();
  // The work message and the timer as the window procedure sees them (from
  // modal loops, or dispatched by a foreign loop).
  void HandleWorkMessage();
  void HandleTimerMessage();
  UINT_PTR timer_id() const { return reinterpret_cast<UINT_PTR>(this); }

  HWND window_ = nullptr;
  DWORD thread_id_ = 0;
  ObserverList<UIObserver> ui_observers_;
};

// A pump that serves an I/O completion port besides tasks: the handler of
// each completed overlapped operation on a handle associated with the port
// runs on the pump's thread, one completion per pass.
class WinIOMessagePump final : public IOMessagePump {
 public:
  class IOHandler;

  // Issue overlapped operations with &context->overlapped. A context whose
  // handler is cleared before its completion arrives is deleted by the pump,
  // so allocate such contexts with new.
  struct IOContext {
    OVERLAPPED overlapped = {};
    IOHandler* handler = nullptr;
  };

  class IOHandler {
   public:
    virtual ~IOHandler() = default;
    // `error` is 0 on success, else the Windows error code.
    virtual void OnIOCompleted(IOContext* context, DWORD bytes_transferred, DWORD error) = 0;
  };

  class IOObserver {
   public:
    virtual ~IOObserver() = default;
    virtual void WillProcessIOEvent() = 0;
    virtual void DidProcessIOEvent() = 0;
  };

  WinIOMessagePump();
  ~WinIOMessagePump() override;

  WinIOMessagePump(const WinIOMessagePump&) = delete;
  WinIOMessagePump& operator=(const WinIOMessagePump&) = delete;

  bool is_valid() const { return port_ != nullptr; }
  // The completion port. Completions of one's own may be posted to it with
  // an IOContext whose handler is set.
  HANDLE port() const { return port_; }
  // Associates `file` (opened for overlapped I/O) with the port, so its
  // completions reach `handler`. False when the system refuses.
  bool RegisterIOHandler(HANDLE file, IOHandler* handler);

  void WakeUp() override;
  void SetDelayedWakeUp(const TickTime& time) override { delayed_work_time_ = time; }

  void AddIOObserver(IOObserver* observer) { io_observers_.AddObserver(observer); }
  void RemoveIOObserver(IOObserver* observer) { io_observers_.RemoveObserver(observer); }

 private:
  // Handles one completion; a failed wait without a record counts as none.
  bool WaitForIOEvent(int64_t timeout_ms) override;

  HANDLE port_ = nullptr;
  ObserverList<IOObserver> io_observers_;
};

}  // namespace nbase
