// The timer service's ticks on Windows: a window timer (SetTimer) on a
// message-only window of the UI thread. Its WM_TIMER arrives through the
// thread's own queue, so ticks run wherever that queue is pumped (the UI
// loop, a window's move loop, a message box), and no timer exists while the
// service has nothing pending.

#include <windows.h>

#include "ui/animation/tick_source.h"
#include "ui/native/win/thread_window.h"

namespace ui {

namespace {

constexpr wchar_t kClassName[] = L"CorvaneTickWindow";
constexpr UINT_PTR kTimerId = 1;

class WinTickSource : public TickSource {
 public:
  WinTickSource()
      : hwnd_(nbase::CreateMessageWindow(kClassName, &WinTickSource::WindowProc, this)) {}
  ~WinTickSource() override {
    if (hwnd_) ::KillTimer(hwnd_, kTimerId);
    DestroyMessageWindow(hwnd_);
  }
  WinTickSource(const WinTickSource&) = delete;
  WinTickSource& operator=(const WinTickSource&) = delete;

  void Start(int interval_ms, std::function<void()> tick) override {
    tick_ = std::move(tick);
    // The same identifier replaces the period of a running timer.
    if (hwnd_) {
      running_ = ::SetTimer(hwnd_, kTimerId, static_cast<UINT>(interval_ms > 0 ? interval_ms : 1),
                            nullptr) != 0;
    }
  }

  void Stop() override {
    if (!running_) return;
    running_ = false;
    ::KillTimer(hwnd_, kTimerId);
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM w_param, LPARAM l_param) {
    auto* self = reinterpret_cast<WinTickSource*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == WM_TIMER && w_param == kTimerId) {
      // A WM_TIMER already taken off the queue still arrives after Stop.
      if (!self->running_) return 0;
      // The tick may replace the callback or stop the source: it runs
      // from a copy.
      const std::function<void()> tick = self->tick_;
      if (tick) tick();
      return 0;
    }
    return ::DefWindowProcW(hwnd, message, w_param, l_param);
  }

  HWND hwnd_ = nullptr;
  bool running_ = false;
  std::function<void()> tick_;
};

}  // namespace

std::unique_ptr<TickSource> CreateTickSource() {
  return std::make_unique<WinTickSource>();
}

}  // namespace ui
