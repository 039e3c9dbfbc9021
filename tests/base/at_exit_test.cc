#include "base/at_exit.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using nbase::AtExitManager;

void Record(void* param) {
  static_cast<std::vector<int>*>(param)->push_back(1);
}
void RecordTwo(void* param) {
  static_cast<std::vector<int>*>(param)->push_back(2);
}

TEST(AtExitManagerTest, WithoutAnOwnerCallbacksAreDroppedUnrun) {
  std::vector<int> log;
  EXPECT_FALSE(AtExitManager::RegisterCallback(&Record, &log));
  AtExitManager::ProcessCallbacksNow();
  EXPECT_TRUE(log.empty());
}

TEST(AtExitManagerTest, OwnerRunsCallbacksLastFirstWhenDestroyed) {
  std::vector<int> log;
  {
    AtExitManager manager;
    EXPECT_TRUE(AtExitManager::RegisterCallback(&Record, &log));
    EXPECT_TRUE(AtExitManager::RegisterCallback(&RecordTwo, &log));
    EXPECT_FALSE(AtExitManager::RegisterCallback(nullptr, &log));
    EXPECT_TRUE(log.empty());
  }
  EXPECT_EQ(log, (std::vector<int>{2, 1}));
  // The owner is gone again.
  EXPECT_FALSE(AtExitManager::RegisterCallback(&Record, &log));
}

TEST(AtExitManagerTest, NestedOwnerShadowsAndRestoresTheOuterOne) {
  std::vector<int> outer_log, inner_log;
  AtExitManager outer;
  AtExitManager::RegisterCallback(&Record, &outer_log);
  {
    AtExitManager inner;
    AtExitManager::RegisterCallback(&RecordTwo, &inner_log);
  }
  EXPECT_EQ(inner_log, (std::vector<int>{2}));
  EXPECT_TRUE(outer_log.empty());
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ(outer_log, (std::vector<int>{1}));
}

}  // namespace
