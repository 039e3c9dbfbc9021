#include "base/linux/message_pump_epoll.h"

#include <gtest/gtest.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "tests/base/base_test_util.h"

namespace {

using nbase::EpollMessagePump;
using nbase::IOMessageLoop;

struct Pipe {
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    close(fds[0]);
    close(fds[1]);
  }
  int read_end() const { return fds[0]; }
  int write_end() const { return fds[1]; }
  int fds[2] = {-1, -1};
};

// Reads what is ready and quits once `expected` bytes have arrived.
class Reader : public EpollMessagePump::IOHandler {
 public:
  explicit Reader(size_t expected) : expected_(expected) {}
  void OnFileReady(int fd, uint32_t events) override {
    EXPECT_TRUE(events & EPOLLIN);
    char buffer[256];
    ssize_t got = read(fd, buffer, sizeof(buffer));
    if (got > 0) data.append(buffer, static_cast<size_t>(got));
    if (data.size() >= expected_) IOMessageLoop::Current()->RequestQuit();
  }
  std::string data;

 private:
  size_t expected_;
};

TEST(EpollMessagePumpTest, HandlerGetsDataWrittenFromAnotherThread) {
  IOMessageLoop loop;
  ASSERT_TRUE(loop.epoll_pump()->is_valid());
  Pipe pipe;
  Reader reader(5);
  ASSERT_TRUE(loop.WatchFileDescriptor(pipe.read_end(), EPOLLIN, &reader));
  struct Observer : EpollMessagePump::IOObserver {
    void WillProcessIOEvent() override { ++before; }
    void DidProcessIOEvent() override { ++after; }
    int before = 0, after = 0;
  } observer;
  loop.AddIOObserver(&observer);
  std::thread writer([&] { ASSERT_EQ(write(pipe.write_end(), "hello", 5), 5); });
  loop.Run();
  writer.join();
  EXPECT_EQ(reader.data, "hello");
  EXPECT_GE(observer.before, 1);
  EXPECT_EQ(observer.before, observer.after);
  EXPECT_TRUE(loop.StopWatching(pipe.read_end()));
  EXPECT_FALSE(loop.StopWatching(pipe.read_end()));
  loop.RemoveIOObserver(&observer);
}

TEST(EpollMessagePumpTest, TasksAndReadyDescriptorsInterleave) {
  IOMessageLoop loop;
  Pipe pipe;
  std::vector<std::string> log;
  struct Logger : EpollMessagePump::IOHandler {
    void OnFileReady(int fd, uint32_t) override {
      char c;
      if (read(fd, &c, 1) == 1) log->push_back(std::string("io:") + c);
    }
    std::vector<std::string>* log;
  } logger;
  logger.log = &log;
  ASSERT_TRUE(loop.WatchFileDescriptor(pipe.read_end(), EPOLLIN, &logger));
  ASSERT_EQ(write(pipe.write_end(), "ab", 2), 2);
  loop.PostTask([&] { log.push_back("task1"); });
  loop.PostTask([&] { log.push_back("task2"); });
  loop.RunUntilIdle();
  // One task, then one readiness record, per pass.
  EXPECT_EQ(log, (std::vector<std::string>{"task1", "io:a", "task2", "io:b"}));
}

TEST(EpollMessagePumpTest, WatchRefusesBadDescriptorsAndNullHandlers) {
  IOMessageLoop loop;
  Reader reader(1);
  EXPECT_FALSE(loop.WatchFileDescriptor(-1, EPOLLIN, &reader));
  Pipe pipe;
  EXPECT_FALSE(loop.WatchFileDescriptor(pipe.read_end(), EPOLLIN, nullptr));
  int closed = dup(pipe.read_end());
  close(closed);
  EXPECT_FALSE(loop.WatchFileDescriptor(closed, EPOLLIN, &reader));
}

TEST(EpollMessagePumpTest, BurstOfPostsSendsOneWakeUpAndAllRun) {
  IOMessageLoop loop;
  auto proxy = loop.GetProxy();
  std::atomic<int> ran{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < 3; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 300; ++i) proxy->PostTask([&ran] { ++ran; });
      for (int i = 0; i < 30; ++i) loop.pump()->WakeUp();
    });
  }
  for (auto& t : posters) t.join();
  EXPECT_EQ(loop.epoll_pump()->posted_wake_up_count(), 1u);
  loop.RunUntilIdle();
  EXPECT_EQ(ran.load(), 900);
}

TEST(EpollMessagePumpTest, DelayedTaskEndsTheWait) {
  IOMessageLoop loop;
  nbase::TickTime start = nbase::TickTime::Now();
  loop.PostDelayedTask([&] { loop.RequestQuit(); }, nbase::TimeDelta::FromMilliseconds(20));
  loop.Run();
  EXPECT_GE((nbase::TickTime::Now() - start).ToMilliseconds(), 20);
}

}  // namespace
