#pragma once

namespace nbase {

// Stamps of the phases of the process's start. With the environment variable
// CORVANE_STARTUP_TIMING set (to anything), each stamp prints one line to
// standard error, so a slow start shows which phase grew:
//
//   startup   12.84 ms  (+3.10)  skin opened                [clock 81234.567 ms]
//
// The first column counts from the first stamp (the entry of main), the
// bracket is the steady clock, which lets a parent that started the process
// add the time before main. Off, a stamp costs one load and a branch.
class StartupTiming {
 public:
  static bool Enabled();
  // Thread-safe; `phase` is printed as given.
  static void Mark(const char* phase);
  // Marks `phase` the first time only (a first frame, a first use); `done`
  // belongs to the caller's thread.
  static void MarkOnce(const char* phase, bool* done);
};

}  // namespace nbase
