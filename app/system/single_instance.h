#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// A process-wide named lock, the kernel's, so it goes away with its holder
// even after a crash: an exclusive flock on "<name>.lock" in the runtime
// folder on Linux, the named mutex `name` of the session on Windows.
class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(std::string name);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // True when this object holds the lock (now or already). Never blocks.
  bool TryAcquire();
  bool held() const { return handle_ != kNoHandle; }
  // The lock file, or the mutex name.
  std::string lock_path() const;

 private:
  // A file descriptor or a mutex handle.
  static constexpr std::intptr_t kNoHandle = -1;
  std::string name_;
  std::intptr_t handle_ = kNoHandle;
};

}  // namespace corvane
