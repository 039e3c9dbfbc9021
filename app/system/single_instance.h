#pragma once

#include <string>

namespace corvane {

// A process-wide named lock: an exclusive flock on "<name>.lock" in the
// runtime folder. The lock is the kernel's, so it goes away with its holder
// even after a crash.
class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(std::string name);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // True when this object holds the lock (now or already). Never blocks.
  bool TryAcquire();
  bool held() const { return fd_ >= 0; }
  std::string lock_path() const;

 private:
  std::string name_;
  int fd_ = -1;
};

}  // namespace corvane
