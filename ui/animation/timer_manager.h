#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/callback.h"
#include "base/time.h"
#include "ui/animation/tick_source.h"

namespace ui {

// One timer service for the whole UI: fades, animated pictures, auto-repeat,
// caret blinks and delayed window actions. It keeps a heap of entries and a
// single tick source on the UI thread's loop: 16 ms while anything is due
// within a second, one long timeout otherwise, none when nothing is pending.
// Each entry is guarded by a weak flag: once the flag is gone the entry is
// dropped unrun. UI thread only.
class TimerManager {
 public:
  using Clock = std::function<nbase::TickTime()>;

  static constexpr int kFastIntervalMs = 16;
  static constexpr int kRepeatForever = -1;

  // The process-wide service on the UI loop of the thread that first asks
  // for it.
  static TimerManager* GetInstance();

  // A private service. Without a source nothing polls it but its owner
  // (tests with a clock of their own); an empty clock means
  // nbase::TickTime::Now.
  explicit TimerManager(std::unique_ptr<TickSource> source, Clock clock = Clock());
  TimerManager(const TimerManager&) = delete;
  TimerManager& operator=(const TimerManager&) = delete;
  ~TimerManager();

  // Runs `callback` after `interval_ms`, then again every `interval_ms`
  // (counted from the poll that ran it) while `repeat` allows: -1 for ever,
  // otherwise the number of runs (0 and 1 both run once). Always true.
  bool AddCancelableTimer(const std::weak_ptr<nbase::WeakFlag>& cancel_flag,
                          const nbase::Closure& callback, uint32_t interval_ms, int repeat);
  template <typename F>
  bool AddCancelableTimer(const nbase::WeakCallback<F>& callback, uint32_t interval_ms,
                          int repeat) {
    return AddCancelableTimer(callback.flag(), callback, interval_ms, repeat);
  }

  // Runs every due entry in due order, then sets the timeout for the rest.
  // The tick source calls this; tests call it directly.
  void Poll();

  nbase::TickTime Now() const { return clock_ ? clock_() : nbase::TickTime::Now(); }

  // The period of the pending timeout in ms, 0 when there is none.
  int GetTimeoutInterval() const { return armed_ ? interval_ms_ : 0; }
  bool IsFastTimeout() const { return armed_ && fast_; }
  size_t GetPendingCount() const { return heap_.size() + deferred_.size(); }

 private:
  struct Entry {
    nbase::Closure callback;
    nbase::TimeDelta interval;
    int repeat = 0;
    nbase::TickTime due;
    uint64_t sequence = 0;  // equal due times run in the order added
    std::weak_ptr<nbase::WeakFlag> cancel_flag;
  };
  struct Later {
    bool operator()(const Entry& a, const Entry& b) const {
      return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }
  };

  void Push(Entry entry);
  void SetTimeout(int interval_ms, bool fast);
  void KillTimeout();

  std::unique_ptr<TickSource> source_;
  Clock clock_;
  std::vector<Entry> heap_;
  // Entries added or re-armed while a poll runs wait for the next poll, so a
  // zero interval cannot keep one poll going for ever.
  std::vector<Entry> deferred_;
  bool polling_ = false;
  uint64_t next_sequence_ = 0;
  bool armed_ = false;
  int interval_ms_ = 0;
  bool fast_ = false;
};

}  // namespace ui
