#pragma once

#include <compare>
#include <cstdint>

namespace nbase {

// Signed microseconds.
class TimeDelta {
 public:
  constexpr TimeDelta() = default;

  static constexpr TimeDelta FromMicroseconds(int64_t us) { return TimeDelta(us); }
  static constexpr TimeDelta FromMilliseconds(int64_t ms) { return TimeDelta(ms * 1000); }
  static constexpr TimeDelta FromSeconds(int64_t s) { return TimeDelta(s * 1000000); }

  constexpr int64_t ToMicroseconds() const { return us_; }
  constexpr int64_t ToMilliseconds() const { return us_ / 1000; }
  // Rounds towards +infinity: a wait of this many milliseconds is never short.
  constexpr int64_t ToMillisecondsRoundedUp() const {
    return us_ >= 0 ? (us_ + 999) / 1000 : -((-us_) / 1000);
  }
  constexpr double ToSecondsF() const { return static_cast<double>(us_) / 1e6; }

  constexpr TimeDelta operator+(TimeDelta o) const { return TimeDelta(us_ + o.us_); }
  constexpr TimeDelta operator-(TimeDelta o) const { return TimeDelta(us_ - o.us_); }
  constexpr TimeDelta operator-() const { return TimeDelta(-us_); }
  constexpr TimeDelta operator*(int64_t n) const { return TimeDelta(us_ * n); }
  TimeDelta& operator+=(TimeDelta o) {
    us_ += o.us_;
    return *this;
  }
  TimeDelta& operator-=(TimeDelta o) {
    us_ -= o.us_;
    return *this;
  }
  constexpr auto operator<=>(const TimeDelta&) const = default;

 private:
  constexpr explicit TimeDelta(int64_t us) : us_(us) {}
  int64_t us_ = 0;
};

// A point on a monotonic clock, microseconds since an arbitrary origin.
// The value 0 is the null time ("not set").
class TickTime {
 public:
  constexpr TickTime() = default;

  // Reads the 32-bit millisecond counter and extends it across its wrap
  // (every ~49.7 days), so results keep increasing as long as Now is called
  // at least once per wrap period. Thread-safe.
  static TickTime Now();

  // The millisecond counter behind Now. Production reads the system's
  // monotonic clock; tests install their own source to drive a wrap.
  // Installing a source resets the wrap state. Returns the previous source.
  using MillisecondSource = uint32_t (*)();
  static MillisecondSource SetMillisecondSource(MillisecondSource source);
  // The low 32 bits of the monotonic clock in milliseconds: CLOCK_MONOTONIC
  // on Linux, the performance counter on Windows.
  static uint32_t SystemMilliseconds();

  static constexpr TickTime FromInternalValue(int64_t us) { return TickTime(us); }
  constexpr int64_t ToInternalValue() const { return us_; }
  constexpr bool is_null() const { return us_ == 0; }

  constexpr TickTime operator+(TimeDelta d) const { return TickTime(us_ + d.ToMicroseconds()); }
  constexpr TickTime operator-(TimeDelta d) const { return TickTime(us_ - d.ToMicroseconds()); }
  constexpr TimeDelta operator-(TickTime o) const {
    return TimeDelta::FromMicroseconds(us_ - o.us_);
  }
  TickTime& operator+=(TimeDelta d) {
    us_ += d.ToMicroseconds();
    return *this;
  }
  constexpr auto operator<=>(const TickTime&) const = default;

 private:
  constexpr explicit TickTime(int64_t us) : us_(us) {}
  int64_t us_ = 0;
};

}  // namespace nbase
