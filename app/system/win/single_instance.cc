#include "app/system/single_instance.h"

#include <windows.h>

#include "app/system/win/wide_text.h"

namespace corvane {

SingleInstanceLock::SingleInstanceLock(std::string name) : name_(std::move(name)) {}

SingleInstanceLock::~SingleInstanceLock() {
  // The process keeps the mutex for its whole life; an object that ends
  // earlier (tests, a cancelled start) gives it back.
  if (held()) {
    HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
}

std::string SingleInstanceLock::lock_path() const {
  return name_;
}

bool SingleInstanceLock::TryAcquire() {
  if (held()) return true;
  // Initially owned, so an instance that crashes leaves an abandoned mutex
  // that the next CreateMutexW opens as a fresh one once the last handle is
  // gone. Not inherited: a package or product started later must not keep it.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, Utf8ToUtf16(name_).c_str());
  const DWORD error = GetLastError();
  if (!mutex) return false;
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
  return true;
}

}  // namespace corvane
