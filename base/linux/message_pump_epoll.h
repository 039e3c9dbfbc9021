#pragma once

#include <cstdint>
#include <deque>
#include <unordered_map>

#include "base/message_pump.h"
#include "base/observer_list.h"

namespace nbase {

// The IO thread's pump: waits on epoll, woken through an eventfd, and calls
// the handler of each ready descriptor, one readiness record per pass.
class EpollMessagePump final : public NativeMessagePump {
 public:
  class IOHandler {
   public:
    virtual ~IOHandler() = default;
    // `events` are the EPOLL* bits reported for `fd`.
    virtual void OnFileReady(int fd, uint32_t events) = 0;
  };

  class IOObserver {
   public:
    virtual ~IOObserver() = default;
    virtual void WillProcessIOEvent() = 0;
    virtual void DidProcessIOEvent() = 0;
  };

  EpollMessagePump();
  ~EpollMessagePump() override;

  EpollMessagePump(const EpollMessagePump&) = delete;
  EpollMessagePump& operator=(const EpollMessagePump&) = delete;

  // False when the epoll or eventfd descriptor could not be created.
  bool is_valid() const { return epoll_fd_ >= 0 && wake_fd_ >= 0; }

  // Loop thread only. Watching an already watched descriptor replaces its
  // events and handler. Returns false when epoll refuses the descriptor.
  bool WatchFileDescriptor(int fd, uint32_t events, IOHandler* handler);
  bool StopWatching(int fd);

  void WakeUp() override;
  void SetDelayedWakeUp(const TickTime& time) override { delayed_work_time_ = time; }

  void AddIOObserver(IOObserver* observer) { io_observers_.AddObserver(observer); }
  void RemoveIOObserver(IOObserver* observer) { io_observers_.RemoveObserver(observer); }

 private:
  struct Ready {
    int fd;
    uint32_t events;
  };

  void PumpLoop() override;
  // Handles one readiness record, waiting up to `timeout_ms` (-1: no limit)
  // for one. Returns false when none came (timeout, or a failed wait).
  bool WaitForIOEvent(int timeout_ms);

  int epoll_fd_ = -1;
  int wake_fd_ = -1;
  // Records returned by one epoll_wait beyond the first, handled later.
  std::deque<Ready> held_back_;
  std::unordered_map<int, IOHandler*> handlers_;
  ObserverList<IOObserver> io_observers_;
};

}  // namespace nbase
