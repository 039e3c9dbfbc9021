#include "base/time.h"

#include <gtest/gtest.h>

#include "tests/base/base_test_util.h"

namespace {

using nbase::TickTime;
using nbase::TimeDelta;

TEST(TickTimeTest, NowKeepsIncreasingAcrossTheCounterWrap) {
  nbase_test::ScopedFakeClock clock(0xFFFFFFFFu - 9);  // 10 ms before the wrap
  TickTime before = TickTime::Now();
  clock.Set(5);  // the counter wrapped: the reading drops
  TickTime after = TickTime::Now();
  EXPECT_GT(after, before);
  EXPECT_EQ((after - before).ToMilliseconds(), 15);

  // An unchanged reading is not a wrap.
  EXPECT_EQ(TickTime::Now(), after);

  // A second wrap adds another 2^32 ms.
  clock.Set(0xFFFFFFF0u);
  TickTime late = TickTime::Now();
  clock.Set(0x10);
  TickTime later = TickTime::Now();
  EXPECT_EQ((later - late).ToMilliseconds(), 0x20);
  EXPECT_EQ((later - before).ToMilliseconds(), (int64_t{1} << 33) + 0x10 - (0xFFFFFFFFll - 9));
}

TEST(TickTimeTest, ACounterReadingOfZeroIsNotTheNullTime) {
  nbase_test::ScopedFakeClock clock(0);
  EXPECT_FALSE(TickTime::Now().is_null());
}

TEST(TickTimeTest, RealClockIsMonotonicAndSet) {
  TickTime a = TickTime::Now();
  TickTime b = TickTime::Now();
  EXPECT_FALSE(a.is_null());
  EXPECT_LE(a, b);
}

TEST(TickTimeTest, ArithmeticAndComparison) {
  TickTime t = TickTime::FromInternalValue(1000);
  EXPECT_EQ((t + TimeDelta::FromMilliseconds(2)).ToInternalValue(), 3000);
  EXPECT_EQ((t - TimeDelta::FromMicroseconds(400)).ToInternalValue(), 600);
  EXPECT_EQ((TickTime::FromInternalValue(5000) - t).ToMicroseconds(), 4000);
  EXPECT_LT(TickTime::FromInternalValue(-5), TickTime());
  EXPECT_TRUE(TickTime().is_null());
}

TEST(TimeDeltaTest, ConversionsRoundAsDocumented) {
  EXPECT_EQ(TimeDelta::FromSeconds(2).ToMicroseconds(), 2000000);
  EXPECT_EQ(TimeDelta::FromMicroseconds(1500).ToMilliseconds(), 1);
  EXPECT_EQ(TimeDelta::FromMicroseconds(1500).ToMillisecondsRoundedUp(), 2);
  EXPECT_EQ(TimeDelta::FromMicroseconds(2000).ToMillisecondsRoundedUp(), 2);
  EXPECT_EQ(TimeDelta::FromMicroseconds(1).ToMillisecondsRoundedUp(), 1);
  EXPECT_EQ(TimeDelta::FromMicroseconds(-1500).ToMillisecondsRoundedUp(), -1);
  EXPECT_EQ((TimeDelta::FromMilliseconds(3) * 4).ToMilliseconds(), 12);
  EXPECT_LT(-TimeDelta::FromMilliseconds(1), TimeDelta());
}

}  // namespace
