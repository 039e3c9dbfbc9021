#include "ui/native/win/thread_window.h"

#include <deque>
#include <utility>

#include "base/win/message_window.h"

namespace ui {

namespace {

constexpr wchar_t kClassName[] = L"CorvaneThreadWindow";
constexpr UINT kRunTasksMessage = WM_APP + 0x101;

class ThreadWindow {
 public:
  ThreadWindow() : hwnd_(nbase::CreateMessageWindow(kClassName, &ThreadWindow::WindowProc, this)) {}
  ~ThreadWindow() { DestroyMessageWindow(hwnd_); }
  ThreadWindow(const ThreadWindow&) = delete;
  ThreadWindow& operator=(const ThreadWindow&) = delete;

  HWND hwnd() const { return hwnd_; }

  void Post(std::function<void()> task) {
    tasks_.push_back(std::move(task));
    if (posted_ || !hwnd_) return;
    posted_ = ::PostMessageW(hwnd_, kRunTasksMessage, 0, 0) != FALSE;
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM w_param, LPARAM l_param) {
    auto* self = reinterpret_cast<ThreadWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == kRunTasksMessage) {
      self->RunTasks();
      return 0;
    }
    return ::DefWindowProcW(hwnd, message, w_param, l_param);
  }

  void RunTasks() {
    posted_ = false;
    // Only what was queued before this message; later posts wake us again.
    std::deque<std::function<void()>> batch;
    batch.swap(tasks_);
    while (!batch.empty()) {
      std::function<void()> task = std::move(batch.front());
      batch.pop_front();
      if (task) task();
    }
  }

  HWND hwnd_ = nullptr;
  bool posted_ = false;
  std::deque<std::function<void()>> tasks_;
};

ThreadWindow& Current() {
  thread_local ThreadWindow window;
  return window;
}

}  // namespace

HINSTANCE GetUiModule() {
  return nbase::GetModuleOfThisCode();
}

void DestroyMessageWindow(HWND hwnd) {
  if (!hwnd) return;
  ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  ::DestroyWindow(hwnd);
}

void PostThreadTask(std::function<void()> task) {
  Current().Post(std::move(task));
}

HWND GetThreadMessageWindow() {
  return Current().hwnd();
}

}  // namespace ui
