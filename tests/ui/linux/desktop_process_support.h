#pragma once

// Child processes for the desktop tests: private X servers, a compositing
// manager, Weston, and the skin previewer itself.

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // `env` entries replace or add variables; an empty value removes one.
  bool Start(const std::vector<std::string>& argv,
             const std::map<std::string, std::string>& env = {});
  // Before Start: the child reads its standard input from WriteInput.
  void PipeInput() { pipe_input_ = true; }
  // Sends `text` to the child's standard input; false when it is closed.
  bool WriteInput(const std::string& text);
  // The first output line (stdout) starting with `prefix`, waiting at most
  // `timeout_ms`; everything read is kept.
  std::optional<std::string> WaitForLine(const std::string& prefix, int timeout_ms);
  // The exit status, or -1 (the process is killed) after `timeout_ms`.
  int Wait(int timeout_ms);
  void Kill();
  bool IsRunning();
  // Reads what the process wrote for up to `timeout_ms`, keeping it.
  void ReadOutput(int timeout_ms) { ReadAvailable(timeout_ms); }
  pid_t pid() const { return pid_; }
  const std::string& GetStdout() const { return out_; }
  const std::string& GetStderr() const { return err_; }

 private:
  void ReadAvailable(int timeout_ms);

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  int in_fd_ = -1;
  bool pipe_input_ = false;
  std::string out_;
  std::string err_;
  size_t consumed_ = 0;
  int status_ = -1;
};

// A private Xvfb; `display` is ":N" once started. `extra` arguments go to
// Xvfb (e.g. "-auth" FILE for access control).
class XServer {
 public:
  bool Start(const std::string& screen = "1280x1024x24",
             const std::vector<std::string>& extra = {});
  const std::string& display() const { return display_; }

 private:
  ChildProcess process_;
  std::string display_;
};

std::string SkinInspectorPath();
std::string ResourcesPath();

}  // namespace ui
