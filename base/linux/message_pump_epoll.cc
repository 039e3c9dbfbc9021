#include "base/linux/message_pump_epoll.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace nbase {

EpollMessagePump::EpollMessagePump() {
  epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (epoll_fd_ >= 0 && wake_fd_ >= 0) {
    epoll_event ev = {};
    ev.events = EPOLLIN;
    ev.data.fd = wake_fd_;
    epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &ev);
  }
}

EpollMessagePump::~EpollMessagePump() {
  if (wake_fd_ >= 0) close(wake_fd_);
  if (epoll_fd_ >= 0) close(epoll_fd_);
}

bool EpollMessagePump::WatchFileDescriptor(int fd, uint32_t events, IOHandler* handler) {
  if (!is_valid() || fd < 0 || fd == wake_fd_ || !handler) return false;
  epoll_event ev = {};
  ev.events = events;
  ev.data.fd = fd;
  bool known = handlers_.count(fd) != 0;
  if (epoll_ctl(epoll_fd_, known ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) != 0) return false;
  handlers_[fd] = handler;
  return true;
}

bool EpollMessagePump::StopWatching(int fd) {
  auto it = handlers_.find(fd);
  if (it == handlers_.end()) return false;
  handlers_.erase(it);
  // Records already fetched for it must not reach the old handler.
  held_back_.erase(std::remove_if(held_back_.begin(), held_back_.end(),
                                  [fd](const Ready& r) { return r.fd == fd; }),
                   held_back_.end());
  // A descriptor closed before this call is already gone from the set.
  epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
  return true;
}

void EpollMessagePump::WakeUp() {
  if (!ClaimWakeUp() || wake_fd_ < 0) return;
  uint64_t one = 1;
  // EAGAIN means the counter is already non-zero: the pump wakes anyway.
  ssize_t written = write(wake_fd_, &one, sizeof(one));
  (void)written;
}

bool EpollMessagePump::WaitForIOEvent(int timeout_ms) {
  Ready ready;
  if (!held_back_.empty()) {
    ready = held_back_.front();
    held_back_.pop_front();
  } else {
    if (!is_valid()) return false;
    epoll_event events[16];
    int count = epoll_wait(epoll_fd_, events, 16, timeout_ms);
    if (count <= 0) return false;  // timeout, or EINTR: no work this time
    ready = {events[0].data.fd, events[0].events};
    for (int i = 1; i < count; ++i) held_back_.push_back({events[i].data.fd, events[i].events});
  }

  if (ready.fd == wake_fd_) {
    uint64_t value;
    ssize_t got = read(wake_fd_, &value, sizeof(value));
    (void)got;
    ResetHaveWork();
    return true;
  }
  auto it = handlers_.find(ready.fd);
  if (it == handlers_.end()) return true;
  io_observers_.Notify(&IOObserver::WillProcessIOEvent);
  it->second->OnFileReady(ready.fd, ready.events);
  io_observers_.Notify(&IOObserver::DidProcessIOEvent);
  return true;
}

void EpollMessagePump::PumpLoop() {
  Delegate* delegate = state_->delegate;
  for (;;) {
    bool more = delegate->RunImmediateWork();
    if (state_->should_quit) break;
    more |= WaitForIOEvent(0);
    if (state_->should_quit) break;
    more |= delegate->RunDelayedWork(&delayed_work_time_);
    if (state_->should_quit) break;
    if (more) continue;

    more = delegate->RunIdleWork();
    if (state_->should_quit) break;
    if (more) continue;

    int64_t delay = CurrentDelayMs();
    WaitForIOEvent(delay < 0 ? -1 : static_cast<int>(std::min<int64_t>(delay, INT_MAX)));
  }
}

}  // namespace nbase
