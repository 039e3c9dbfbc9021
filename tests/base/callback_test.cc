#include "base/callback.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

class Counter : public nbase::SupportWeakCallback {
 public:
  explicit Counter(int* hits) : hits_(hits) {}
  bool Add(int n) {
    *hits_ += n;
    return true;
  }

 private:
  int* hits_;
};

// Out of line so the compiler does not flag the (guarded) calls after it.
[[gnu::noinline]] void Destroy(std::unique_ptr<Counter>* counter) {
  counter->reset();
}

TEST(WeakCallbackTest, LiveCallbackCallsThroughAndReturnsResult) {
  int hits = 0;
  Counter counter(&hits);
  std::function<bool(int)> callback =
      counter.MakeWeakCallback(std::bind(&Counter::Add, &counter, std::placeholders::_1));
  EXPECT_TRUE(callback(3));
  EXPECT_TRUE(callback(4));
  EXPECT_EQ(hits, 7);
}

TEST(WeakCallbackTest, InertOnceOwnerIsDestroyed) {
  int hits = 0;
  auto counter = std::make_unique<Counter>(&hits);
  auto first = counter->MakeWeakCallback([c = counter.get()](int n) { return c->Add(n); });
  auto second = counter->MakeWeakCallback([c = counter.get()](int n) { return c->Add(n); });
  EXPECT_FALSE(first.Expired());
  // Both share one flag.
  EXPECT_FALSE(first.flag().owner_before(second.flag()) ||
               second.flag().owner_before(first.flag()));

  Destroy(&counter);
  EXPECT_TRUE(first.Expired());
  EXPECT_TRUE(second.Expired());
  EXPECT_FALSE(first(5));  // default result of bool, member not called
  EXPECT_FALSE(second(5));
  EXPECT_EQ(hits, 0);

  // Stored as a plain closure it is just as inert.
  nbase::Closure closure = nbase::WeakCallback<nbase::Closure>(first.flag(), [&hits] { ++hits; });
  closure();
  EXPECT_EQ(hits, 0);
}

TEST(WeakCallbackTest, DefaultConstructedIsExpired) {
  nbase::WeakCallback<std::function<int()>> callback;
  EXPECT_TRUE(callback.Expired());
  EXPECT_EQ(callback(), 0);
}

TEST(WeakCallbackTest, CancelSilencesEarlierCallbacksOnly) {
  nbase::WeakCallbackFlag flag;
  int hits = 0;
  auto before = flag.MakeWeakCallback([&hits] { ++hits; });
  flag.Cancel();
  auto after = flag.MakeWeakCallback([&hits] { hits += 10; });
  before();
  after();
  EXPECT_EQ(hits, 10);
  EXPECT_TRUE(before.Expired());
  EXPECT_FALSE(after.Expired());

  flag.Cancel();
  flag.Cancel();  // twice in a row is harmless
  after();
  EXPECT_EQ(hits, 10);
}

TEST(WeakCallbackTest, CopiedOwnerDoesNotShareTheFlag) {
  int hits = 0;
  auto original = std::make_unique<Counter>(&hits);
  auto from_original = original->MakeWeakCallback([] { return true; });
  Counter copy(*original);
  auto from_copy = copy.MakeWeakCallback([] { return true; });
  Destroy(&original);
  EXPECT_FALSE(from_original());
  EXPECT_TRUE(from_copy());
}

TEST(WeakCallbackTest, EmptyClosureThroughLiveCallbackThrows) {
  nbase::WeakCallbackFlag flag;
  auto live = flag.MakeWeakCallback(nbase::Closure());
  EXPECT_THROW(live(), std::bad_function_call);
  flag.Cancel();
  EXPECT_NO_THROW(live());  // expired: the empty closure is never touched
}

TEST(WeakCallbackTest, MutableCallableKeepsItsState) {
  nbase::WeakCallbackFlag flag;
  auto counter = flag.MakeWeakCallback([n = 0]() mutable { return ++n; });
  EXPECT_EQ(counter(), 1);
  EXPECT_EQ(counter(), 2);
}

TEST(WeakCallbackTest, RewrappedAsClosureKeepsTheFlag) {
  auto owner = std::make_unique<nbase::WeakCallbackFlag>();
  int hits = 0;
  nbase::WeakCallback<nbase::Closure> closure = owner->MakeWeakCallback([&hits] { ++hits; });
  closure();
  EXPECT_EQ(hits, 1);
  owner.reset();
  closure();
  EXPECT_EQ(hits, 1);
  EXPECT_TRUE(closure.Expired());
}

TEST(WeakCallbackTest, FlagAcquiredFromManyThreadsIsOne) {
  nbase::WeakCallbackFlag flag;
  std::vector<std::weak_ptr<nbase::WeakFlag>> flags(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < flags.size(); ++i) {
    threads.emplace_back([&flag, &flags, i] { flags[i] = flag.AcquireWeakFlag(); });
  }
  for (auto& t : threads) t.join();
  for (auto& f : flags) {
    EXPECT_FALSE(f.expired());
    EXPECT_FALSE(f.owner_before(flags[0]) || flags[0].owner_before(f));
  }
  flag.Cancel();
  for (auto& f : flags) EXPECT_TRUE(f.expired());
}

}  // namespace
