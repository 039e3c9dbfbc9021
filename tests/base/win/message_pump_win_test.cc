#include "base/win/message_pump_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "tests/base/base_test_util.h"
#include "tests/base/task_flood_support.h"

namespace {

using nbase::TimeDelta;
using nbase::UIMessageLoop;
using nbase::WinIOMessagePump;
using nbase::WinUIMessagePump;

WinUIMessagePump* Pump(UIMessageLoop& loop) {
  return loop.pump_as<WinUIMessagePump>();
}

// A message-only window of the calling thread whose messages go to a
// function, as a control's window would receive input.
class TestWindow {
 public:
  using Handler = std::function<void(UINT message, WPARAM wparam)>;

  explicit TestWindow(Handler handler) : handler_(std::move(handler)) {
    static const ATOM atom = [] {
      WNDCLASSEXW window_class = {};
      window_class.cbSize = sizeof(window_class);
      window_class.lpfnWndProc = &TestWindow::Proc;
      window_class.hInstance = ::GetModuleHandleW(nullptr);
      window_class.lpszClassName = L"NbaseTestWindow";
      return ::RegisterClassExW(&window_class);
    }();
    window_ = ::CreateWindowExW(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TestWindow() { ::DestroyWindow(window_); }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND hwnd() const { return window_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message >= WM_APP) {
      self->handler_(message, wparam);
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  Handler handler_;
  HWND window_ = nullptr;
};

// What a message box does while it is up: a plain message loop of its own
// on the same queue, until `done` says so (or 10 s have passed, so that a
// broken pump fails the test instead of hanging it).
void RunModalLoop(const std::function<bool()>& done) {
  const nbase::TickTime give_up = nbase::TickTime::Now() + TimeDelta::FromSeconds(10);
  while (!done() && nbase::TickTime::Now() < give_up) {
    MSG message;
    if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    } else {
      ::MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
  }
}

TEST(WinUIMessagePumpTest, MessageWindowIsMessageOnlyAndGoesWithTheLoop) {
  HWND window = nullptr;
  {
    UIMessageLoop loop;
    EXPECT_EQ(UIMessageLoop::Current(), &loop);
    window = Pump(loop)->message_window();
    ASSERT_TRUE(::IsWindow(window));
    EXPECT_EQ(::GetWindowThreadProcessId(window, nullptr), ::GetCurrentThreadId());
    EXPECT_EQ(::FindWindowExW(HWND_MESSAGE, nullptr, L"KestrelMessagePumpWindow", nullptr), window);
    // A second UI loop on another thread has a window of its own.
    HWND other = nullptr;
    std::thread([&other] {
      UIMessageLoop second;
      other = Pump(second)->message_window();
      EXPECT_TRUE(::IsWindow(other));
    }).join();
    EXPECT_NE(other, window);
    EXPECT_FALSE(::IsWindow(other));
  }
  EXPECT_FALSE(::IsWindow(window));
}

// The wake-up is the work message: one in the queue however many tasks
// wait, and one delivered outside a run (a message box shown before Run)
// runs nothing and only clears the flag, so that the next wake-up posts a
// fresh one.
TEST(WinUIMessagePumpTest, OneWorkMessageWaitsInTheQueueForAnyNumberOfTasks) {
  UIMessageLoop loop;
  WinUIMessagePump* pump = Pump(loop);
  int ran = 0;
  for (int i = 0; i < 100; ++i) loop.PostTask([&ran] { ++ran; });
  for (int i = 0; i < 10; ++i) pump->WakeUp();
  std::vector<MSG> queued;
  MSG message;
  while (::PeekMessageW(&message, pump->message_window(), WinUIMessagePump::kWorkMessage,
                        WinUIMessagePump::kWorkMessage, PM_REMOVE)) {
    queued.push_back(message);
  }
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(pump->posted_wake_up_count(), 1u);

  ::DispatchMessageW(&queued[0]);
  EXPECT_EQ(ran, 0);
  pump->WakeUp();
  EXPECT_EQ(pump->posted_wake_up_count(), 2u);
  EXPECT_TRUE(::PeekMessageW(&message, pump->message_window(), WinUIMessagePump::kWorkMessage,
                             WinUIMessagePump::kWorkMessage, PM_NOREMOVE));
  loop.RunUntilIdle();
  EXPECT_EQ(ran, 100);
}

// A message box shown from a window's message handler runs its own loop:
// immediate tasks (through the work message) and due delayed tasks (through
// the timer) keep running inside it.
TEST(WinUIMessagePumpTest, ForeignModalLoopKeepsTasksAndTimersRunning) {
  UIMessageLoop loop;
  std::vector<std::string> log;
  bool inside = false;
  bool done = false;
  TestWindow window([&](UINT, WPARAM) {
    for (int i = 0; i < 3; ++i) loop.PostTask([&] { log.push_back(inside ? "in" : "out"); });
    loop.PostDelayedTask(
        [&] {
          log.push_back(inside ? "timer in" : "timer out");
          done = true;
        },
        TimeDelta::FromMilliseconds(30));
    inside = true;
    RunModalLoop([&] { return done; });
    inside = false;
    loop.RequestQuit();
  });
  ::PostMessageW(window.hwnd(), WM_APP, 0, 0);
  loop.Run();
  EXPECT_EQ(log, (std::vector<std::string>{"in", "in", "in", "timer in"}));
}

TEST(WinUIMessagePumpTest, ModalLoopInsideATaskRunsNoTasks) {
  UIMessageLoop loop;
  bool inside = false;
  bool inner_ran_inside = false;
  bool inner_ran = false;
  bool timer_ran_inside = false;
  loop.PostTask([&] {
    loop.PostTask([&] {
      inner_ran_inside = inside;
      inner_ran = true;
    });
    loop.PostDelayedTask([&] { timer_ran_inside = inside; }, TimeDelta::FromMilliseconds(1));
    inside = true;
    const nbase::TickTime end = nbase::TickTime::Now() + TimeDelta::FromMilliseconds(60);
    RunModalLoop([&] { return nbase::TickTime::Now() >= end; });
    inside = false;
    loop.PostDelayedTask([&] { loop.RequestQuit(); }, TimeDelta::FromMilliseconds(20));
  });
  loop.Run();
  EXPECT_TRUE(inner_ran);
  EXPECT_FALSE(inner_ran_inside);
  EXPECT_FALSE(timer_ran_inside);
}

// A timer that fires inside a task's modal loop runs nothing there (no task
// runs inside a task); the next delayed task still gets a timer, so that it
// runs inside a later modal loop, one a window's message handler opens.
TEST(WinUIMessagePumpTest, DelayedWorkKeepsItsTimerAfterAModalLoopInsideATask) {
  UIMessageLoop loop;
  std::vector<std::string> log;
  bool inside_handler = false;
  bool late_ran = false;
  TestWindow window([&](UINT, WPARAM) {
    inside_handler = true;
    RunModalLoop([&] { return late_ran; });
    inside_handler = false;
    loop.RequestQuit();
  });
  loop.PostDelayedTask([&] { log.push_back("early"); }, TimeDelta::FromMilliseconds(20));
  loop.PostDelayedTask(
      [&] {
        log.push_back(inside_handler ? "late in handler" : "late outside");
        late_ran = true;
      },
      TimeDelta::FromMilliseconds(300));
  loop.PostTask([&] {
    // The early task's timer fires in here.
    const nbase::TickTime end = nbase::TickTime::Now() + TimeDelta::FromMilliseconds(60);
    RunModalLoop([&] { return nbase::TickTime::Now() >= end; });
    ::PostMessageW(window.hwnd(), WM_APP, 0, 0);
  });
  loop.Run();
  EXPECT_EQ(log, (std::vector<std::string>{"early", "late in handler"}));
}

// The quit message is WM_QUIT: an inner run re-posts it for the outer runs,
// and the outermost consumes it, so that a message box shown after the loop
// ended does not close at once.
TEST(WinUIMessagePumpTest, OutermostRunConsumesTheQuitMessage) {
  UIMessageLoop loop;
  int depth_at_quit = 0;
  loop.PostTask([&] {
    loop.PostTask([&] {
      depth_at_quit = loop.run_depth();
      loop.PostQuitMessage();
    });
    loop.Run();
  });
  loop.Run();
  EXPECT_EQ(depth_at_quit, 2);
  MSG message;
  EXPECT_FALSE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST(WinUIMessagePumpTest, ObserversSeeEachMessageAndTheDispatcherCanEndTheRun) {
  struct Observer : WinUIMessagePump::UIObserver {
    void WillProcessMessage(const MSG& message) override {
      if (message.message == WM_APP) ++will;
    }
    void DidProcessMessage(const MSG& message) override {
      if (message.message == WM_APP) ++did;
    }
    int will = 0, did = 0;
  } observer;
  struct StopAfter : nbase::MessageDispatcher {
    bool Dispatch() override { return --remaining > 0; }
    int remaining = 3;
  } dispatcher;
  UIMessageLoop loop;
  std::vector<WPARAM> handled;
  TestWindow window([&](UINT, WPARAM wparam) { handled.push_back(wparam); });
  Pump(loop)->AddUIObserver(&observer);
  for (WPARAM i = 0; i < 5; ++i) ::PostMessageW(window.hwnd(), WM_APP, i, 0);
  loop.Run(&dispatcher);  // ends when the dispatcher says so
  EXPECT_EQ(dispatcher.remaining, 0);
  EXPECT_EQ(handled, (std::vector<WPARAM>{0, 1, 2}));
  EXPECT_EQ(observer.will, 3);
  EXPECT_EQ(observer.did, 3);
  Pump(loop)->RemoveUIObserver(&observer);
  loop.RunUntilIdle();
  EXPECT_EQ(handled, (std::vector<WPARAM>{0, 1, 2, 3, 4}));
  EXPECT_EQ(observer.will, 3);
}

// Tasks run in bounded batches between two messages: while a producer thread
// keeps the task queue full, a message posted to a window of the loop's
// thread (as input is) is dispatched after at most one batch, bounded by
// count for quick tasks and by run time for slow ones.
TEST(WinUIMessagePumpTest, WindowMessagesAreServedWhileTasksFlood) {
  constexpr int kSlowUs = 200;
  struct Case {
    int task_us;
    int64_t backlog;
    int64_t most_lag;
  };
  const Case cases[] = {
      {0, 5000, 2 * WinUIMessagePump::kMaxBatchTasks},
      {kSlowUs, 50, 2 * (WinUIMessagePump::kBatchBudgetMicroseconds / kSlowUs + 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.task_us);
    UIMessageLoop loop;
    nbase_test::TaskFlood::Options options;
    options.backlog = c.backlog;
    options.task_us = c.task_us;
    HWND target = nullptr;
    nbase_test::TaskFlood flood(&loop, options,
                                [&target] { return ::PostMessageW(target, WM_APP, 0, 0) != 0; });
    TestWindow window([&flood](UINT, WPARAM) { flood.OnInputDispatched(); });
    target = window.hwnd();
    flood.Run();

    EXPECT_EQ(flood.delivered(), options.rounds);
    EXPECT_LE(flood.most_lag(), c.most_lag);
    EXPECT_TRUE(flood.all_ran());
  }
}

// ---------------------------------------------------------------------------
// The I/O completion port pump

WinIOMessagePump* Pump(nbase::IOMessageLoop& loop) {
  return loop.pump_as<WinIOMessagePump>();
}

struct LoggingHandler : WinIOMessagePump::IOHandler {
  void OnIOCompleted(WinIOMessagePump::IOContext* context, DWORD bytes, DWORD error) override {
    log->push_back("io:" + std::to_string(context->overlapped.Offset) + ":" +
                   std::to_string(bytes) + ":" + std::to_string(error));
    if (quit_after > 0 && --quit_after == 0) nbase::MessageLoop::Current()->RequestQuit();
  }
  std::vector<std::string>* log = nullptr;
  int quit_after = 0;
};

TEST(WinIOMessagePumpTest, OverlappedFileOperationsCompleteOnTheLoopThread) {
  nbase_test::ScopedTempDir dir("io_pump_test_");
  ASSERT_FALSE(dir.path().empty());
  const std::wstring path = (dir.path() / L"data.bin").wstring();
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);

  nbase::IOMessageLoop loop;
  ASSERT_TRUE(Pump(loop)->is_valid());
  std::vector<std::string> log;
  LoggingHandler handler;
  handler.log = &log;
  struct Observer : WinIOMessagePump::IOObserver {
    void WillProcessIOEvent() override { ++before; }
    void DidProcessIOEvent() override { ++after; }
    int before = 0, after = 0;
  } observer;
  Pump(loop)->AddIOObserver(&observer);
  ASSERT_TRUE(Pump(loop)->RegisterIOHandler(file, &handler));

  // A write, then a read past the end: the read's failure reaches the
  // handler with its error and no bytes.
  WinIOMessagePump::IOContext write_context, read_context;
  write_context.handler = &handler;
  read_context.handler = &handler;
  read_context.overlapped.Offset = 100;
  char buffer[16];
  const BOOL wrote = ::WriteFile(file, "hello", 5, nullptr, &write_context.overlapped);
  ASSERT_TRUE(wrote || ::GetLastError() == ERROR_IO_PENDING);
  handler.quit_after = 1;
  loop.Run();
  const BOOL read = ::ReadFile(file, buffer, sizeof(buffer), nullptr, &read_context.overlapped);
  if (read || ::GetLastError() == ERROR_IO_PENDING) {
    handler.quit_after = 1;
    loop.Run();
  } else {
    // Refused at once: no completion is queued for it.
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
    log.push_back("io:100:0:" + std::to_string(ERROR_HANDLE_EOF));
  }
  EXPECT_EQ(log,
            (std::vector<std::string>{"io:0:5:0", "io:100:0:" + std::to_string(ERROR_HANDLE_EOF)}));
  EXPECT_GE(observer.before, 1);
  EXPECT_EQ(observer.before, observer.after);
  Pump(loop)->RemoveIOObserver(&observer);
  ::CloseHandle(file);

  EXPECT_FALSE(Pump(loop)->RegisterIOHandler(INVALID_HANDLE_VALUE, &handler));
  EXPECT_FALSE(Pump(loop)->RegisterIOHandler(nullptr, &handler));
}

TEST(WinIOMessagePumpTest, TasksAndCompletionsInterleaveOnePerPass) {
  nbase::IOMessageLoop loop;
  std::vector<std::string> log;
  LoggingHandler handler;
  handler.log = &log;
  WinIOMessagePump::IOContext first, second;
  first.handler = second.handler = &handler;
  first.overlapped.Offset = 1;
  second.overlapped.Offset = 2;
  // Completions as the system queues them for finished operations, then
  // tasks.
  ASSERT_TRUE(::PostQueuedCompletionStatus(Pump(loop)->port(), 7, 0, &first.overlapped));
  ASSERT_TRUE(::PostQueuedCompletionStatus(Pump(loop)->port(), 9, 0, &second.overlapped));
  loop.PostTask([&] { log.push_back("task1"); });
  loop.PostTask([&] { log.push_back("task2"); });
  loop.RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"task1", "io:1:7:0", "task2", "io:2:9:0"}));
}

}  // namespace
