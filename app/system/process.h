#pragma once

#include <string>
#include <vector>

namespace corvane {

// Result of RunProcess when the child ended without an exit code (a signal).
constexpr int kExitCodeUnreadable = -10002;

// Runs argv[0] (a path; no shell, no PATH search) with the given arguments,
// waits for it and returns its exit code; kExitCodeUnreadable when it died
// by a signal or its code cannot be read; the errno value (Windows: the
// system error code) when it cannot be started (2 for a missing file).
// Linux: standard input is /dev/null; nothing else is redirected. Windows:
// the program runs hidden (SW_HIDE), inherits no handle, and its command
// line is BuildCommandLine's (a last "/D=" argument stays unquoted).
int RunProcess(const std::vector<std::string>& argv);

// Starts argv[0] in a new session without waiting for it; only the
// environment is inherited (standard streams go to /dev/null, descriptors
// are closed). An intermediate child is reaped at once, so no zombie stays.
// Returns 0 or the errno value of the failure.
int SpawnDetached(const std::vector<std::string>& argv);

// Runs a program found on PATH (e.g. xdg-open) detached, as above.
int SpawnDetachedSearchPath(const std::vector<std::string>& argv);

// True when some running process's executable base name (the exe link, else
// comm; the toolhelp snapshot's name on Windows) is exactly `name`, letter
// case included. A process that has exited
// but is not reaped yet (a zombie) is not running.
bool IsProcessRunning(const std::string& name);

// Ends the process at once with `exit_code`: no clean-up, no thread joins;
// only the files guarded by RemoveOnTermination are removed.
[[noreturn]] void EndProcessNow(int exit_code = 0);

}  // namespace corvane
