#include "tests/base/task_flood_support.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace nbase_test {

TaskFlood::TaskFlood(nbase::MessageLoop* loop, Options options, std::function<bool()> send_input)
    : loop_(loop), options_(options), send_input_(std::move(send_input)) {}

void TaskFlood::OnInputDispatched() {
  // The loop thread waits for the writer's stamp; no task runs meanwhile.
  while (!stamped_.load()) std::this_thread::yield();
  stamped_.store(false);
  lags_.push_back(ran_.load() - written_at_.load());
  if (++delivered_ == options_.rounds) stop_.store(true);
}

int64_t TaskFlood::most_lag() const {
  return lags_.empty() ? -1 : *std::max_element(lags_.begin(), lags_.end());
}

void TaskFlood::Run() {
  auto proxy = loop_->GetProxy();
  std::thread producer([&] {
    while (!stop_.load()) {
      if (posted_.load() - ran_.load() >= options_.backlog) {
        std::this_thread::yield();
        continue;
      }
      ++posted_;
      proxy->PostTask([this] {
        // Busy for its time: a sleep this short is rounded to nothing on some
        // systems.
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::microseconds(options_.task_us);
        while (std::chrono::steady_clock::now() < until) {
        }
        ++ran_;
      });
    }
    // Quits once the backlog has drained.
    proxy->PostTask([] { nbase::MessageLoop::Current()->RequestQuit(); });
  });
  std::thread writer([&] {
    for (int round = 0; round < options_.rounds && !stop_.load(); ++round) {
      while (ran_.load() < (round + 1) * options_.tasks_between_inputs) std::this_thread::yield();
      if (!send_input_()) {
        stop_.store(true);
        break;
      }
      written_at_.store(ran_.load());
      stamped_.store(true);
      while (delivered_.load() <= round) std::this_thread::yield();
    }
  });
  loop_->Run();
  writer.join();
  producer.join();
}

}  // namespace nbase_test
