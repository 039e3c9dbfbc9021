#include "base/linux/message_pump_glib.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "tests/base/base_test_util.h"

namespace {

using nbase::GlibMessagePump;
using nbase::TimeDelta;
using nbase::UIMessageLoop;

// Every test gets its own main context, pushed as the thread default, so
// tests never share GLib's global one.
class GlibMessagePumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
  }
  void TearDown() override {
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }
  GMainContext* context_ = nullptr;
};

// A UI loop running on its own thread with its own main context.
class UILoopThread {
 public:
  UILoopThread() : thread_([this] { Main(); }) { ready_.Wait(); }
  ~UILoopThread() { Join(); }

  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  // The loop, for use by tasks running on it.
  UIMessageLoop* loop() const { return loop_; }
  const std::shared_ptr<nbase::MessageLoopProxy>& proxy() const { return proxy_; }
  // How often the loop's blocking wait returned, read when its run ended.
  uint64_t waits() const { return waits_; }

 private:
  void Main() {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    {
      UIMessageLoop loop;
      loop_ = &loop;
      proxy_ = loop.GetProxy();
      ready_.Signal();
      loop.Run();
      waits_ = loop.glib_pump()->wait_count();
      loop_ = nullptr;
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }

  nbase_test::Latch ready_;
  UIMessageLoop* loop_ = nullptr;
  std::shared_ptr<nbase::MessageLoopProxy> proxy_;
  uint64_t waits_ = 0;
  std::thread thread_;
};

TEST_F(GlibMessagePumpTest, ServesTheThreadDefaultContext) {
  UIMessageLoop loop;
  EXPECT_EQ(loop.glib_pump()->context(), context_);
  EXPECT_EQ(UIMessageLoop::Current(), &loop);
  EXPECT_EQ(loop.type(), nbase::MessageLoop::Type::kUI);
}

TEST_F(GlibMessagePumpTest, BurstOfPostsToAnIdleLoopSendsOneWakeUp) {
  UIMessageLoop loop;
  GlibMessagePump* pump = loop.glib_pump();
  auto proxy = loop.GetProxy();
  std::atomic<int> ran{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 500; ++i) proxy->PostTask([&ran] { ++ran; });
      for (int i = 0; i < 50; ++i) pump->WakeUp();  // the flag absorbs these too
    });
  }
  for (auto& t : posters) t.join();
  EXPECT_EQ(pump->posted_wake_up_count(), 1u);

  loop.RunUntilIdle();
  EXPECT_EQ(ran.load(), 2000);
  EXPECT_EQ(pump->posted_wake_up_count(), 1u);

  // Consumed: the next post wakes again.
  proxy->PostTask([] {});
  EXPECT_EQ(pump->posted_wake_up_count(), 2u);
  loop.RunUntilIdle();
}

TEST_F(GlibMessagePumpTest, BurstWhileTheLoopIsBusySendsOneWakeUp) {
  UILoopThread ui;
  nbase_test::Latch blocked, release;
  std::atomic<int> ran{0};
  uint64_t wake_ups_before = 0;
  uint64_t burst_wake_ups = 0;
  ui.proxy()->PostTask([&] {
    wake_ups_before = ui.loop()->glib_pump()->posted_wake_up_count();
    blocked.Signal();
    release.Wait();
  });
  ASSERT_TRUE(blocked.Wait());
  for (int i = 0; i < 1000; ++i) ui.proxy()->PostTask([&ran] { ++ran; });
  ui.proxy()->PostTask([&] {
    burst_wake_ups = ui.loop()->glib_pump()->posted_wake_up_count() - wake_ups_before;
    ui.loop()->RequestQuit();
  });
  release.Signal();
  ui.Join();
  EXPECT_EQ(ran.load(), 1000);
  // A batch still draining when the burst lands needs no wake-up at all; never more than one.
  EXPECT_LE(burst_wake_ups, 1u);
}

TEST_F(GlibMessagePumpTest, ShortDelayArmsTheMinimumTimer) {
  nbase_test::ScopedFakeClock clock(10000);
  UIMessageLoop loop;
  loop.PostDelayedTask([] {}, TimeDelta::FromMilliseconds(5));
  loop.RunUntilIdle();  // moves it onto the delayed queue
  EXPECT_EQ(loop.glib_pump()->armed_timer_ms(), GlibMessagePump::kMinTimerMs);

  loop.PostDelayedTask([] {}, TimeDelta::FromMilliseconds(2));  // earlier: re-armed
  loop.RunUntilIdle();
  EXPECT_EQ(loop.glib_pump()->armed_timer_ms(), GlibMessagePump::kMinTimerMs);

  UIMessageLoop* same = &loop;
  EXPECT_EQ(UIMessageLoop::Current(), same);
}

TEST_F(GlibMessagePumpTest, LongDelayArmsTimerForTheDelay) {
  nbase_test::ScopedFakeClock clock(10000);
  UIMessageLoop loop;
  loop.PostDelayedTask([] {}, TimeDelta::FromMilliseconds(750));
  loop.RunUntilIdle();
  EXPECT_EQ(loop.glib_pump()->armed_timer_ms(), 750);
}

TEST_F(GlibMessagePumpTest, DelayedTasksRunInOrderOnTheRealClock) {
  UIMessageLoop loop;
  std::vector<int> order;
  nbase::TickTime start = nbase::TickTime::Now();
  loop.PostDelayedTask([&] { order.push_back(30); }, TimeDelta::FromMilliseconds(30));
  loop.PostDelayedTask([&] { order.push_back(5); }, TimeDelta::FromMilliseconds(5));
  loop.PostDelayedTask(
      [&] {
        order.push_back(40);
        loop.RequestQuit();
      },
      TimeDelta::FromMilliseconds(40));
  loop.Run();
  EXPECT_EQ(order, (std::vector<int>{5, 30, 40}));
  EXPECT_GE((nbase::TickTime::Now() - start).ToMilliseconds(), 40);
}

TEST_F(GlibMessagePumpTest, WakeUpOutsideARunOnlyResetsTheFlag) {
  UIMessageLoop loop;
  GlibMessagePump* pump = loop.glib_pump();
  int ran = 0;
  loop.PostTask([&] { ++ran; });
  EXPECT_EQ(pump->posted_wake_up_count(), 1u);
  // A foreign loop (a dialog shown before Run) iterates the context.
  while (g_main_context_iteration(context_, FALSE)) {
  }
  EXPECT_EQ(ran, 0);
  // The flag was reset, so a later wake-up is sent afresh.
  pump->WakeUp();
  EXPECT_EQ(pump->posted_wake_up_count(), 2u);
  loop.RunUntilIdle();
  EXPECT_EQ(ran, 1);
}

// A GLib callback of ours runs a nested GLib loop (as a modal dialog does):
// tasks keep flowing inside it, one per wake-up.
TEST_F(GlibMessagePumpTest, ForeignNestedLoopKeepsTasksFlowing) {
  UIMessageLoop loop;
  GMainLoop* modal = g_main_loop_new(context_, FALSE);
  std::vector<int> depths;
  struct Env {
    UIMessageLoop* loop;
    GMainLoop* modal;
    std::vector<int>* depths;
  } env{&loop, modal, &depths};
  GSource* idle = g_idle_source_new();
  g_source_set_callback(
      idle,
      [](gpointer data) -> gboolean {
        auto* env = static_cast<Env*>(data);
        for (int i = 0; i < 3; ++i)
          env->loop->PostTask([env] { env->depths->push_back(g_main_depth()); });
        env->loop->PostTask([env] { g_main_loop_quit(env->modal); });
        g_main_loop_run(env->modal);
        env->loop->RequestQuit();
        return G_SOURCE_REMOVE;
      },
      &env, nullptr);
  g_source_attach(idle, context_);
  g_source_unref(idle);
  loop.Run();
  g_main_loop_unref(modal);
  ASSERT_EQ(depths.size(), 3u);
  for (int depth : depths) EXPECT_GE(depth, 2);  // ran inside the nested GLib loop
}

TEST_F(GlibMessagePumpTest, ModalLoopInsideATaskRunsNoTasks) {
  UIMessageLoop loop;
  GMainLoop* modal = g_main_loop_new(context_, FALSE);
  bool inner_ran_inside = false;
  bool inside = false;
  loop.PostTask([&] {
    loop.PostTask([&] { inner_ran_inside = inside; });
    inside = true;
    GSource* stop = g_timeout_source_new(20);
    g_source_set_callback(
        stop,
        [](gpointer m) -> gboolean {
          g_main_loop_quit(static_cast<GMainLoop*>(m));
          return G_SOURCE_REMOVE;
        },
        modal, nullptr);
    g_source_attach(stop, context_);
    g_source_unref(stop);
    g_main_loop_run(modal);
    inside = false;
    loop.RequestQuit();
  });
  loop.Run();
  g_main_loop_unref(modal);
  EXPECT_FALSE(inner_ran_inside);
}

TEST_F(GlibMessagePumpTest, QuitMessageInInnerRunEndsTheOuterRunToo) {
  UIMessageLoop loop;
  std::vector<std::string> log;
  loop.PostTask([&] {
    loop.PostTask([&] {
      log.push_back("inner task");
      loop.PostQuitMessage();
    });
    loop.Run();
    log.push_back("inner run ended");
  });
  loop.Run();  // ends without any RequestQuit
  log.push_back("outer run ended");
  EXPECT_EQ(log, (std::vector<std::string>{"inner task", "inner run ended", "outer run ended"}));

  // The quit was consumed by the outermost run: the loop can run again.
  int ran = 0;
  loop.PostTask([&] { ++ran; });
  loop.RunUntilIdle();
  EXPECT_EQ(ran, 1);
}

TEST_F(GlibMessagePumpTest, ObserversAndDispatcherWrapNativeBatches) {
  struct Observer : GlibMessagePump::UIObserver {
    void WillProcessNativeEvents() override { ++will; }
    void DidProcessNativeEvents() override { ++did; }
    int will = 0, did = 0;
  } observer;
  struct StopAfter : nbase::MessageDispatcher {
    bool Dispatch() override { return --remaining > 0; }
    int remaining = 3;
  } dispatcher;
  UIMessageLoop loop;
  loop.AddUIObserver(&observer);
  // Tasks run in batches between native iterations: enough of them keep the
  // loop passing until the dispatcher ends it.
  for (int i = 0; i < 3 * GlibMessagePump::kMaxBatchTasks; ++i) loop.PostTask([] {});
  loop.Run(&dispatcher);  // ends when the dispatcher says so
  EXPECT_EQ(dispatcher.remaining, 0);
  EXPECT_EQ(observer.will, 3);
  EXPECT_EQ(observer.did, 3);
  loop.RemoveUIObserver(&observer);
  loop.RunUntilIdle();
  EXPECT_EQ(observer.will, 3);
}

// Tasks run in bounded batches between two main-context iterations: while a
// producer thread keeps the queue full, a ready file descriptor (as input is)
// is still served after at most one batch, bounded by count for quick tasks
// and by run time for slow ones.
TEST_F(GlibMessagePumpTest, InputIsServedBetweenBatchesWhileAProducerFloods) {
  constexpr int kRounds = 8;
  struct Case {
    int task_us;        // what each task sleeps
    int64_t in_flight;  // the producer's backlog
    int64_t most_lag;   // tasks allowed between the input and its dispatch
  };
  constexpr int kSlowUs = 200;
  const Case cases[] = {
      {0, 5000, 2 * GlibMessagePump::kMaxBatchTasks},
      {kSlowUs, 50, 2 * (GlibMessagePump::kBatchBudgetMicroseconds / kSlowUs + 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.task_us);
    UIMessageLoop loop;
    auto proxy = loop.GetProxy();
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);

    struct Shared {
      std::atomic<int64_t> posted{0}, ran{0}, written_at{0};
      std::atomic<bool> stamped{false}, stop{false};
      std::atomic<int> delivered{0};
      std::vector<int64_t> lags;
      UIMessageLoop* loop = nullptr;
      int fd = -1;
    } shared;
    shared.loop = &loop;
    shared.fd = fds[0];
    GSource* input = g_unix_fd_source_new(fds[0], G_IO_IN);
    g_source_set_callback(input,
                          G_SOURCE_FUNC(+[](gint fd, GIOCondition, gpointer data) -> gboolean {
                            auto* s = static_cast<Shared*>(data);
                            // The loop thread waits for the writer's stamp; no task runs meanwhile.
                            while (!s->stamped.load()) std::this_thread::yield();
                            s->stamped.store(false);
                            s->lags.push_back(s->ran.load() - s->written_at.load());
                            char byte;
                            while (read(fd, &byte, 1) == 1) {
                            }
                            if (++s->delivered == kRounds) s->stop.store(true);
                            return G_SOURCE_CONTINUE;
                          }),
                          &shared, nullptr);
    g_source_attach(input, context_);

    std::thread producer([&] {
      while (!shared.stop.load()) {
        if (shared.posted.load() - shared.ran.load() >= c.in_flight) {
          std::this_thread::yield();
          continue;
        }
        ++shared.posted;
        proxy->PostTask([&shared, us = c.task_us] {
          if (us > 0) std::this_thread::sleep_for(std::chrono::microseconds(us));
          ++shared.ran;
        });
      }
      // Quits once the backlog has drained.
      proxy->PostTask([&shared] { shared.loop->RequestQuit(); });
    });
    std::thread writer([&] {
      for (int round = 0; round < kRounds && !shared.stop.load(); ++round) {
        while (shared.ran.load() < (round + 1) * 100) std::this_thread::yield();
        if (write(fds[1], "x", 1) != 1) {
          ADD_FAILURE() << "write to the pipe failed";
          shared.stop.store(true);
          break;
        }
        shared.written_at.store(shared.ran.load());
        shared.stamped.store(true);
        while (shared.delivered.load() <= round) std::this_thread::yield();
      }
    });
    loop.Run();
    writer.join();
    producer.join();
    g_source_destroy(input);
    g_source_unref(input);
    close(fds[0]);
    close(fds[1]);

    EXPECT_EQ(shared.delivered.load(), kRounds);
    ASSERT_EQ(shared.lags.size(), static_cast<size_t>(kRounds));
    EXPECT_LE(*std::max_element(shared.lags.begin(), shared.lags.end()), c.most_lag);
    EXPECT_EQ(shared.ran.load(), shared.posted.load());
  }
}

TEST_F(GlibMessagePumpTest, IdleLoopDoesNotWakeByItself) {
  UILoopThread ui;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ui.proxy()->PostTask([&ui] { ui.loop()->RequestQuit(); });
  ui.Join();
  EXPECT_LE(ui.waits(), 1u);  // only the wake-up for the quit task
}

}  // namespace
