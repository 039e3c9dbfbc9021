#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <thread>

#include "base/message_loop.h"
#include "base/time.h"
#include "base/waitable_event.h"

namespace nbase_test {

// Replaces the millisecond counter behind TickTime::Now for the lifetime of
// the object; the counter only moves when the test says so.
class ScopedFakeClock {
 public:
  explicit ScopedFakeClock(uint32_t start_ms) {
    now_ms().store(start_ms);
    previous_ = nbase::TickTime::SetMillisecondSource(&Read);
  }
  ~ScopedFakeClock() { nbase::TickTime::SetMillisecondSource(previous_); }

  void Set(uint32_t ms) { now_ms().store(ms); }
  void Advance(uint32_t ms) { now_ms().fetch_add(ms); }

 private:
  static std::atomic<uint32_t>& now_ms() {
    static std::atomic<uint32_t> value{0};
    return value;
  }
  static uint32_t Read() { return now_ms().load(); }

  nbase::TickTime::MillisecondSource previous_;
};

// One-shot latch for handing control between threads. Waits are bounded so
// a broken test fails instead of hanging.
class Latch : public nbase::WaitableEvent {
 public:
  Latch() : WaitableEvent(ResetPolicy::kManual) {}
  bool Wait() { return TimedWait(nbase::TimeDelta::FromSeconds(20)); }
};

// A UI loop running on its own thread until its run ends.
class UILoopThread {
 public:
  UILoopThread() : thread_([this] { Main(); }) { ready_.Wait(); }
  ~UILoopThread() { Join(); }
  UILoopThread(const UILoopThread&) = delete;
  UILoopThread& operator=(const UILoopThread&) = delete;

  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  // The loop, for use by tasks running on it.
  nbase::UIMessageLoop* loop() const { return loop_; }
  const std::shared_ptr<nbase::MessageLoopProxy>& proxy() const { return proxy_; }
  // How often the loop's blocking wait returned, read when its run ended.
  uint64_t waits() const { return waits_; }

 private:
  void Main() {
    nbase::UIMessageLoop loop;
    loop_ = &loop;
    proxy_ = loop.GetProxy();
    ready_.Signal();
    loop.Run();
    waits_ = loop.ui_pump()->wait_count();
    loop_ = nullptr;
  }

  Latch ready_;
  nbase::UIMessageLoop* loop_ = nullptr;
  std::shared_ptr<nbase::MessageLoopProxy> proxy_;
  uint64_t waits_ = 0;
  std::thread thread_;
};

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class ScopedTempDir {
 public:
  explicit ScopedTempDir(const std::string& prefix) {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::filesystem::path candidate =
          std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) path_ = candidate;
    }
  }
  ~ScopedTempDir() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // Empty when no folder could be made.
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace nbase_test
