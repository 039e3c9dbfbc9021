#include "app/system/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/system/folders.h"

namespace corvane {

SingleInstanceLock::SingleInstanceLock(std::string name) : name_(std::move(name)) {}

SingleInstanceLock::~SingleInstanceLock() {
  if (handle_ != kNoHandle) close(static_cast<int>(handle_));
}

std::string SingleInstanceLock::lock_path() const {
  const std::string folder = RuntimeFolder();
  // The runtime folder is the user's own. In the shared fallback another
  // user's lock file (which this user cannot open) would pass for a running
  // instance for good, so each user gets a lock of their own there too.
  if (folder == "/tmp") return folder + "/" + name_ + "-" + std::to_string(geteuid()) + ".lock";
  return folder + "/" + name_ + ".lock";
}

bool SingleInstanceLock::TryAcquire() {
  if (held()) return true;
  // Close-on-exec: a package or product started later must not inherit the
  // lock and keep it after this process has ended.
  const int fd = open(lock_path().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

}  // namespace corvane
