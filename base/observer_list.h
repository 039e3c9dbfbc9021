#pragma once

#include <algorithm>
#include <utility>
#include <vector>

namespace nbase {

class LazyEraser {
 public:
  virtual ~LazyEraser() = default;
  // Removes the empty entries left by removals.
  virtual void Compact() = 0;
};

// Observers may add or remove observers (themselves included) while being
// notified: removal only empties an entry, and the array is compacted once
// the outermost notification has finished. Not thread-safe: each list
// belongs to one thread.
template <typename T>
class ObserverList : public LazyEraser {
 public:
  void AddObserver(T* observer) { observers_.push_back(observer); }

  void RemoveObserver(T* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it == observers_.end()) return;
    *it = nullptr;
    if (depth_ <= 0) Compact();
  }

  bool HasObserver(const T* observer) const {
    return observer &&
           std::find(observers_.begin(), observers_.end(), observer) != observers_.end();
  }

  bool empty() const {
    return std::all_of(observers_.begin(), observers_.end(), [](T* o) { return o == nullptr; });
  }

  // Number of entries including emptied ones not compacted yet.
  size_t entry_count() const { return observers_.size(); }

  // Calls `method` with `args` on every observer. Observers appended during
  // the walk are reached in the same pass.
  template <typename Method, typename... Args>
  void Notify(Method method, Args&&... args) {
    ForEach([&](T* observer) { (observer->*method)(args...); });
  }

  template <typename Fn>
  void ForEach(Fn&& fn) {
    DepthGuard guard(this);
    for (size_t i = 0; i < observers_.size(); ++i) {
      if (T* observer = observers_[i]) fn(observer);
    }
  }

  void Compact() override {
    if (depth_ > 0) return;
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr), observers_.end());
  }

 private:
  // Also restores the depth when an observer throws.
  class DepthGuard {
   public:
    explicit DepthGuard(ObserverList* list) : list_(list) { ++list_->depth_; }
    ~DepthGuard() {
      if (--list_->depth_ < 1) list_->Compact();
    }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

   private:
    ObserverList* list_;
  };

  int depth_ = 0;
  std::vector<T*> observers_;
};

}  // namespace nbase
