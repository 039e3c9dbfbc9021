#include "app/system/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/system/folders.h"

namespace corvane {

SingleInstanceLock::SingleInstanceLock(std::string name) : name_(std::move(name)) {}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ >= 0) close(fd_);
}

std::string SingleInstanceLock::lock_path() const {
  return RuntimeFolder() + "/" + name_ + ".lock";
}

bool SingleInstanceLock::TryAcquire() {
  if (fd_ >= 0) return true;
  // Close-on-exec: a package or product started later must not inherit the
  // lock and keep it after this process has ended.
  const int fd = open(lock_path().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

}  // namespace corvane
