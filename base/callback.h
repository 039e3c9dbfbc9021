#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

namespace nbase {

// Every posted task is one of these. Calling an empty one throws
// std::bad_function_call; queues skip empty ones instead of calling them.
using Closure = std::function<void()>;

// Exists only to be reference counted: a weak callback is live while the
// owner still holds its strong reference to the flag.
class WeakFlag {};

template <typename F>
class WeakCallback;

// Base of every object that hands out callbacks which must fall silent once
// the object is gone. Copies and moves of an object do not share its flag.
class SupportWeakCallback {
 public:
  SupportWeakCallback() = default;
  SupportWeakCallback(const SupportWeakCallback&) {}
  SupportWeakCallback& operator=(const SupportWeakCallback&) { return *this; }
  virtual ~SupportWeakCallback() = default;

  // Creates the flag on first use (or after a cancellation).
  std::weak_ptr<WeakFlag> AcquireWeakFlag() {
    std::lock_guard<std::mutex> guard(flag_lock_);
    if (!weak_flag_) weak_flag_ = std::make_shared<WeakFlag>();
    return weak_flag_;
  }

  template <typename F>
  WeakCallback<std::decay_t<F>> MakeWeakCallback(F&& callable) {
    return WeakCallback<std::decay_t<F>>(AcquireWeakFlag(), std::forward<F>(callable));
  }

 protected:
  // Drops the strong reference: every weak callback issued so far goes inert.
  void ReleaseWeakFlag() {
    std::shared_ptr<WeakFlag> old;
    std::lock_guard<std::mutex> guard(flag_lock_);
    old.swap(weak_flag_);
  }

 private:
  // The flag may be acquired from another thread (a stop request, a proxy's
  // last release) while its owner uses it, so the pointer is guarded.
  std::mutex flag_lock_;
  std::shared_ptr<WeakFlag> weak_flag_;
};

// A callable paired with a weak reference to its owner's flag. Once the flag
// has expired, calling it returns a default-constructed result (false for a
// boolean, nothing for void) without touching the callable. The check and
// the call are not atomic: owners must die on the thread that runs these.
template <typename F>
class WeakCallback {
 public:
  WeakCallback() = default;
  WeakCallback(std::weak_ptr<WeakFlag> flag, F callable)
      : flag_(std::move(flag)), callable_(std::move(callable)) {}
  // Rewraps a weak callback of another callable type (e.g. a lambda into a
  // Closure), keeping its flag.
  template <typename G, typename = std::enable_if_t<!std::is_same_v<F, G> &&
                                                    std::is_constructible_v<F, const G&>>>
  WeakCallback(const WeakCallback<G>& other)  // NOLINT: implicit on purpose
      : flag_(other.flag()), callable_(other.callable()) {}

  template <typename... Args>
  auto operator()(Args&&... args) const -> std::invoke_result_t<F&, Args&&...> {
    using Result = std::invoke_result_t<F&, Args&&...>;
    if (flag_.expired()) {
      if constexpr (std::is_void_v<Result>) {
        return;
      } else {
        return Result();
      }
    }
    return std::invoke(callable_, std::forward<Args>(args)...);
  }

  bool Expired() const { return flag_.expired(); }
  const std::weak_ptr<WeakFlag>& flag() const { return flag_; }
  const F& callable() const { return callable_; }

 private:
  std::weak_ptr<WeakFlag> flag_;
  mutable F callable_;
};

// A plain member for objects that need callbacks they can revoke at will
// (blink timers, fades, delayed loads).
class WeakCallbackFlag final : public SupportWeakCallback {
 public:
  // Callbacks made before this are inert; the next MakeWeakCallback starts
  // a fresh flag, so later callbacks are live.
  void Cancel() { ReleaseWeakFlag(); }
};

}  // namespace nbase
