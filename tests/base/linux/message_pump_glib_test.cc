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
#include "tests/base/task_flood_support.h"

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

TEST_F(GlibMessagePumpTest, ServesTheThreadDefaultContext) {
  UIMessageLoop loop;
  EXPECT_EQ(loop.pump_as<GlibMessagePump>()->context(), context_);
  EXPECT_EQ(UIMessageLoop::Current(), &loop);
  EXPECT_EQ(loop.type(), nbase::MessageLoop::Type::kUI);
}

TEST_F(GlibMessagePumpTest, WakeUpOutsideARunOnlyResetsTheFlag) {
  UIMessageLoop loop;
  GlibMessagePump* pump = loop.pump_as<GlibMessagePump>();
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
  loop.pump_as<GlibMessagePump>()->AddUIObserver(&observer);
  // Tasks run in batches between native iterations: enough of them keep the
  // loop passing until the dispatcher ends it.
  for (int i = 0; i < 3 * GlibMessagePump::kMaxBatchTasks; ++i) loop.PostTask([] {});
  loop.Run(&dispatcher);  // ends when the dispatcher says so
  EXPECT_EQ(dispatcher.remaining, 0);
  EXPECT_EQ(observer.will, 3);
  EXPECT_EQ(observer.did, 3);
  loop.pump_as<GlibMessagePump>()->RemoveUIObserver(&observer);
  loop.RunUntilIdle();
  EXPECT_EQ(observer.will, 3);
}

// Tasks run in bounded batches between two main-context iterations: while a
// producer thread keeps the queue full, a ready file descriptor (as input is)
// is still served after at most one batch, bounded by count for quick tasks
// and by run time for slow ones.
TEST_F(GlibMessagePumpTest, InputIsServedBetweenBatchesWhileAProducerFloods) {
  struct Case {
    int task_us;       // how long each task runs
    int64_t backlog;   // the producer's backlog
    int64_t most_lag;  // tasks allowed between the input and its dispatch
  };
  constexpr int kSlowUs = 200;
  const Case cases[] = {
      {0, 5000, 2 * GlibMessagePump::kMaxBatchTasks},
      {kSlowUs, 50, 2 * (GlibMessagePump::kBatchBudgetMicroseconds / kSlowUs + 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.task_us);
    UIMessageLoop loop;
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    nbase_test::TaskFlood::Options options;
    options.backlog = c.backlog;
    options.task_us = c.task_us;
    nbase_test::TaskFlood flood(&loop, options, [&] {
      const bool written = write(fds[1], "x", 1) == 1;
      EXPECT_TRUE(written) << "write to the pipe failed";
      return written;
    });
    GSource* input = g_unix_fd_source_new(fds[0], G_IO_IN);
    g_source_set_callback(input,
                          G_SOURCE_FUNC(+[](gint fd, GIOCondition, gpointer data) -> gboolean {
                            char byte;
                            while (read(fd, &byte, 1) == 1) {
                            }
                            static_cast<nbase_test::TaskFlood*>(data)->OnInputDispatched();
                            return G_SOURCE_CONTINUE;
                          }),
                          &flood, nullptr);
    g_source_attach(input, context_);
    flood.Run();
    g_source_destroy(input);
    g_source_unref(input);
    close(fds[0]);
    close(fds[1]);

    EXPECT_EQ(flood.delivered(), options.rounds);
    EXPECT_LE(flood.most_lag(), c.most_lag);
    EXPECT_TRUE(flood.all_ran());
  }
}

}  // namespace
