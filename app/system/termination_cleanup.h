#pragma once

#include <string>

namespace corvane {

// While a guard lives, ending the process with SIGTERM or SIGINT (Windows:
// Ctrl+C, closing its console, log-off or shut-down) first removes its file;
// the process then ends as it would have without the guard (a signal that
// is ignored stays ignored). For files that
// must not outlive an interrupted operation, such as a partial download.
// At most a few guards at a time; a guard that finds no free slot guards
// nothing.
class RemoveOnTermination {
 public:
  explicit RemoveOnTermination(const std::string& path);
  ~RemoveOnTermination();
  RemoveOnTermination(const RemoveOnTermination&) = delete;
  RemoveOnTermination& operator=(const RemoveOnTermination&) = delete;

  bool armed() const { return slot_ >= 0; }

 private:
  int slot_ = -1;
};

// Removes the files of every live guard now: for an end of the process that
// runs no destructors (EndProcessNow).
void RemoveGuardedFiles();

}  // namespace corvane
