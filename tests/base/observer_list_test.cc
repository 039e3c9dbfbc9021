#include "base/observer_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Observer;
using List = nbase::ObserverList<Observer>;

// Records its name when notified and may act on the list from inside.
struct Observer {
  Observer(std::string name, std::vector<std::string>* log) : name(std::move(name)), log(log) {}
  void OnEvent(int value) {
    log->push_back(name + std::to_string(value));
    if (action) action();
  }
  std::string name;
  std::vector<std::string>* log;
  std::function<void()> action;
};

TEST(ObserverListTest, NotifiesInOrderWithArguments) {
  std::vector<std::string> log;
  Observer a("a", &log), b("b", &log);
  List list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.Notify(&Observer::OnEvent, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "b1"}));
  EXPECT_TRUE(list.HasObserver(&a));
}

TEST(ObserverListTest, ObserverAddedDuringNotificationIsReachedInTheSamePass) {
  std::vector<std::string> log;
  Observer a("a", &log), late("late", &log);
  List list;
  a.action = [&] {
    if (!list.HasObserver(&late)) list.AddObserver(&late);
  };
  list.AddObserver(&a);
  list.Notify(&Observer::OnEvent, 7);
  EXPECT_EQ(log, (std::vector<std::string>{"a7", "late7"}));
}

TEST(ObserverListTest, RemovalDuringNotificationSkipsAndCompactsAfterward) {
  std::vector<std::string> log;
  Observer a("a", &log), b("b", &log), c("c", &log);
  List list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&c);
  // a removes itself and c (not reached yet).
  a.action = [&] {
    list.RemoveObserver(&a);
    list.RemoveObserver(&c);
    EXPECT_EQ(list.entry_count(), 3u);  // emptied, not erased, while walking
  };
  list.Notify(&Observer::OnEvent, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "b1"}));
  EXPECT_EQ(list.entry_count(), 1u);  // no empty entry left afterwards
  log.clear();
  list.Notify(&Observer::OnEvent, 2);
  EXPECT_EQ(log, (std::vector<std::string>{"b2"}));
}

TEST(ObserverListTest, NestedNotificationCompactsOnlyAtTheOutermostLevel) {
  std::vector<std::string> log;
  Observer a("a", &log), b("b", &log);
  List list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  bool nested = false;
  size_t count_after_inner = 0;
  a.action = [&] {
    if (nested) return;
    nested = true;
    b.action = [&] { list.RemoveObserver(&b); };
    list.Notify(&Observer::OnEvent, 9);  // inner pass removes b
    count_after_inner = list.entry_count();
  };
  list.Notify(&Observer::OnEvent, 1);
  EXPECT_EQ(count_after_inner, 2u);
  EXPECT_EQ(list.entry_count(), 1u);
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "a9", "b9"}));
}

TEST(ObserverListTest, ThrowingObserverStillEndsTheNotification) {
  std::vector<std::string> log;
  Observer a("a", &log), b("b", &log);
  List list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  a.action = [&] {
    list.RemoveObserver(&b);
    throw std::runtime_error("observer failed");
  };
  EXPECT_THROW(list.Notify(&Observer::OnEvent, 1), std::runtime_error);
  EXPECT_EQ(list.entry_count(), 1u);  // depth restored and compacted
  a.action = nullptr;
  list.RemoveObserver(&a);  // outside a notification: erased at once
  EXPECT_EQ(list.entry_count(), 0u);
  EXPECT_TRUE(list.empty());
}

}  // namespace
