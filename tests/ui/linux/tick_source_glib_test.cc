// The timer service's ticks as GLib timeouts on a main context.

#include <glib.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "base/callback.h"
#include "ui/animation/linux/tick_source_glib.h"
#include "ui/animation/timer_manager.h"

namespace ui {
namespace {

TEST(TickSourceGLibTest, TimeoutsArriveThroughTheirOwnMainContextAndLeaveNothingBehind) {
  GMainContext* context = g_main_context_new();
  {
    TimerManager manager(CreateGLibTickSource(context));
    nbase::WeakCallbackFlag owner;
    int runs = 0;
    manager.AddCancelableTimer(
        owner.AcquireWeakFlag(), [&] { ++runs; }, 5, 3);
    // Never blocks, so a missing timeout fails instead of hanging.
    for (int i = 0; i < 2000 && runs < 3; ++i) {
      g_main_context_iteration(context, FALSE);
      g_usleep(1000);
    }
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(manager.GetTimeoutInterval(), 0);
    EXPECT_FALSE(g_main_context_pending(context));
  }
  g_main_context_unref(context);
}

TEST(TickSourceGLibTest, ATickMayRestartItsOwnSource) {
  GMainContext* context = g_main_context_new();
  {
    std::unique_ptr<TickSource> source = CreateGLibTickSource(context);
    std::vector<int> seen;
    std::function<void()> second = [&] {
      seen.push_back(2);
      source->Stop();
    };
    source->Start(1, [&] {
      seen.push_back(1);
      source->Start(1, second);
    });
    for (int i = 0; i < 2000 && seen.size() < 2; ++i) {
      g_main_context_iteration(context, FALSE);
      g_usleep(1000);
    }
    for (int i = 0; i < 20; ++i) {
      g_main_context_iteration(context, FALSE);
      g_usleep(1000);
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
    EXPECT_FALSE(g_main_context_pending(context));
  }
  g_main_context_unref(context);
}

}  // namespace
}  // namespace ui
