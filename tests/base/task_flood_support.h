#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/message_loop.h"

namespace nbase_test {

// How promptly a UI loop serves native input while tasks flood it: a
// producer thread keeps a backlog of tasks queued on the loop, and a writer
// thread sends one input (a ready descriptor, a window message) after every
// `tasks_between_inputs` tasks have run. The input's handler, on the loop's
// thread, calls OnInputDispatched, which records how many tasks ran between
// the input's arrival and its dispatch.
class TaskFlood {
 public:
  struct Options {
    int rounds = 8;                      // inputs sent in all
    int64_t backlog = 5000;              // tasks the producer keeps queued
    int task_us = 0;                     // how long each task runs
    int64_t tasks_between_inputs = 100;  // tasks run before each input
  };

  // `send_input` delivers one input to the loop's thread; false stops the run.
  TaskFlood(nbase::MessageLoop* loop, Options options, std::function<bool()> send_input);

  // Runs the loop until every input was dispatched and the backlog drained.
  void Run();
  // Loop thread, from the input's handler.
  void OnInputDispatched();

  int delivered() const { return delivered_.load(); }
  // Tasks run between each input's arrival and its dispatch (a lower bound:
  // the count is taken just after the input was sent).
  const std::vector<int64_t>& lags() const { return lags_; }
  int64_t most_lag() const;
  // Whether every posted task ran.
  bool all_ran() const { return ran_.load() == posted_.load(); }

 private:
  nbase::MessageLoop* loop_;
  Options options_;
  std::function<bool()> send_input_;
  std::atomic<int64_t> posted_{0}, ran_{0}, written_at_{0};
  std::atomic<bool> stamped_{false}, stop_{false};
  std::atomic<int> delivered_{0};
  std::vector<int64_t> lags_;
};

}  // namespace nbase_test
