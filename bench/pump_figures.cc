// Task throughput of the message loops on the target it is built for (the
// GLib pump on Linux, the Windows message queue pump on Windows), as plain
// figures: scripts/bench-pumps runs the Linux build and the Windows build
// under Wine and prints them side by side. Each line is
//   figure<TAB>name<TAB>tasks per second<TAB>what it measures
// and the best of several runs is kept: load from other processes only
// slows runs down.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "base/waitable_event.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPostedTasks = 200000;
constexpr int kDelayedTasks = 100000;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// A loop of `Loop` type running on its own thread until the object goes.
template <typename Loop>
class LoopThread {
 public:
  LoopThread() : thread_([this] { Main(); }) { ready_.Wait(); }
  ~LoopThread() {
    proxy_->PostTask([] { nbase::MessageLoop::Current()->RequestQuit(); });
    thread_.join();
  }
  nbase::MessageLoopProxy* proxy() const { return proxy_.get(); }

 private:
  void Main() {
    Loop loop;
    proxy_ = loop.GetProxy();
    ready_.Signal();
    loop.Run();
  }

  nbase::WaitableEvent ready_;
  std::shared_ptr<nbase::MessageLoopProxy> proxy_;
  std::thread thread_;
};

// Tasks per second when `producers` threads post kPostedTasks in all to a
// loop running on its own thread, from the first post to the last task run.
template <typename Loop>
double PostedFromThreads(int producers) {
  LoopThread<Loop> consumer;
  const int per_producer = kPostedTasks / producers;
  std::atomic<int> remaining{per_producer * producers};
  nbase::WaitableEvent done;
  const Clock::time_point start = Clock::now();
  std::vector<std::thread> threads;
  for (int p = 0; p < producers; ++p) {
    threads.emplace_back([&] {
      for (int i = 0; i < per_producer; ++i) {
        consumer.proxy()->PostTask([&remaining, &done] {
          if (--remaining == 0) done.Signal();
        });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  done.Wait();
  return per_producer * producers / Seconds(start);
}

// Tasks per second when the loop's own thread posts kPostedTasks and then
// runs them: the pump's cost per task without any cross-thread traffic.
template <typename Loop>
double PostedOnTheLoopThread() {
  Loop loop;
  int remaining = kPostedTasks;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kPostedTasks; ++i) {
    loop.PostTask([&remaining, &loop] {
      if (--remaining == 0) loop.RequestQuit();
    });
  }
  loop.Run();
  return kPostedTasks / Seconds(start);
}

int64_t DelayMicroseconds(int i) {
  return 1000 * ((i * 7919) % 5) + (i % 997);
}

// kDelayedTasks delayed tasks with mixed delays of 0-4 ms, scheduled and run
// (the schedule of bench_message_loop).
template <typename Loop>
double DelayedTasks() {
  Loop loop;
  int remaining = kDelayedTasks;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kDelayedTasks; ++i) {
    loop.PostDelayedTask(
        [&remaining, &loop] {
          if (--remaining == 0) loop.RequestQuit();
        },
        nbase::TimeDelta::FromMicroseconds(DelayMicroseconds(i)));
  }
  loop.Run();
  return kDelayedTasks / Seconds(start);
}

void Report(const char* name, const char* what, int runs, const std::function<double()>& run) {
  double best = 0;
  for (int i = 0; i < runs; ++i) best = std::max(best, run());
  std::printf("figure\t%s\t%.0f\t%s\n", name, best, what);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  Report("ui-post-1", "UI loop, posted from 1 producer thread", runs,
         [] { return PostedFromThreads<nbase::UIMessageLoop>(1); });
  Report("ui-post-4", "UI loop, posted from 4 producer threads", runs,
         [] { return PostedFromThreads<nbase::UIMessageLoop>(4); });
  Report("ui-post-self", "UI loop, posted on its own thread, then run", runs,
         [] { return PostedOnTheLoopThread<nbase::UIMessageLoop>(); });
  Report("ui-delayed", "UI loop, 100 000 delayed tasks (0-4 ms)", runs,
         [] { return DelayedTasks<nbase::UIMessageLoop>(); });
  Report("default-post-1", "default loop, posted from 1 producer thread", runs,
         [] { return PostedFromThreads<nbase::MessageLoop>(1); });
  Report("default-delayed", "default loop, 100 000 delayed tasks (0-4 ms)", runs,
         [] { return DelayedTasks<nbase::MessageLoop>(); });
  return 0;
}
