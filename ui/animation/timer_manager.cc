#include "ui/animation/timer_manager.h"

#include <algorithm>
#include <climits>

namespace ui {

namespace {
constexpr nbase::TimeDelta kLongTimeoutThreshold = nbase::TimeDelta::FromSeconds(1);
}  // namespace

TimerManager* TimerManager::GetInstance() {
  static TimerManager instance(CreateTickSource());
  return &instance;
}

TimerManager::TimerManager(std::unique_ptr<TickSource> source, Clock clock)
    : source_(std::move(source)), clock_(std::move(clock)) {}

TimerManager::~TimerManager() {
  KillTimeout();
}

bool TimerManager::AddCancelableTimer(const std::weak_ptr<nbase::WeakFlag>& cancel_flag,
                                      const nbase::Closure& callback, uint32_t interval_ms,
                                      int repeat) {
  if (!callback) return false;
  Entry entry;
  entry.callback = callback;
  entry.interval = nbase::TimeDelta::FromMilliseconds(interval_ms);
  entry.repeat = repeat;
  entry.due = Now() + entry.interval;
  entry.cancel_flag = cancel_flag;
  entry.sequence = ++next_sequence_;
  if (polling_) {
    deferred_.push_back(std::move(entry));
    return true;
  }
  Push(std::move(entry));
  if (!armed_ || !fast_) SetTimeout(kFastIntervalMs, true);
  return true;
}

void TimerManager::Push(Entry entry) {
  heap_.push_back(std::move(entry));
  std::push_heap(heap_.begin(), heap_.end(), Later());
}

void TimerManager::Poll() {
  const nbase::TickTime now = Now();
  polling_ = true;
  while (!heap_.empty()) {
    const Entry& top = heap_.front();
    if (!top.cancel_flag.expired() && top.due > now) break;
    std::pop_heap(heap_.begin(), heap_.end(), Later());
    Entry entry = std::move(heap_.back());
    heap_.pop_back();
    if (entry.cancel_flag.expired()) continue;
    entry.callback();
    if (entry.repeat == kRepeatForever || entry.repeat >= 2) {
      if (entry.repeat != kRepeatForever) --entry.repeat;
      entry.due = now + entry.interval;
      deferred_.push_back(std::move(entry));
    }
  }
  polling_ = false;
  for (Entry& entry : deferred_) Push(std::move(entry));
  deferred_.clear();

  if (heap_.empty()) {
    KillTimeout();
    return;
  }
  const nbase::TimeDelta remaining = heap_.front().due - now;
  if (remaining >= kLongTimeoutThreshold) {
    SetTimeout(static_cast<int>(std::min<int64_t>(remaining.ToMilliseconds() + 2, INT_MAX)), false);
  } else if (!armed_ || !fast_) {
    SetTimeout(kFastIntervalMs, true);
  }
}

void TimerManager::SetTimeout(int interval_ms, bool fast) {
  KillTimeout();
  if (source_) source_->Start(interval_ms, [this] { Poll(); });
  armed_ = true;
  interval_ms_ = interval_ms;
  fast_ = fast;
}

void TimerManager::KillTimeout() {
  if (!armed_) return;
  if (source_) source_->Stop();
  armed_ = false;
  interval_ms_ = 0;
  fast_ = false;
}

}  // namespace ui
