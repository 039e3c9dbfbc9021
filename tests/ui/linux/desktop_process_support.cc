#include "desktop_process_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace ui {

ChildProcess::~ChildProcess() {
  Kill();
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return false;
  }
  int in[2] = {-1, -1};
  if (pipe_input_ && pipe2(in, O_CLOEXEC) != 0) {
    for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
    return false;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (in[0] >= 0) dup2(in[0], 0);
    for (const auto& [name, value] : env) {
      if (value.empty()) {
        unsetenv(name.c_str());
      } else {
        setenv(name.c_str(), value.c_str(), 1);
      }
    }
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (in[0] >= 0) close(in[0]);
  if (pid_ < 0) {
    close(out[0]);
    close(err[0]);
    if (in[1] >= 0) close(in[1]);
    return false;
  }
  out_fd_ = out[0];
  err_fd_ = err[0];
  in_fd_ = in[1];
  return true;
}

bool ChildProcess::WriteInput(const std::string& text) {
  // A child that ended must fail the write, not end the test.
  signal(SIGPIPE, SIG_IGN);
  size_t written = 0;
  while (in_fd_ >= 0 && written < text.size()) {
    const ssize_t n = write(in_fd_, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return in_fd_ >= 0;
}

void ChildProcess::ReadAvailable(int timeout_ms) {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  if (poll(fds, 2, timeout_ms) <= 0) return;
  char buffer[4096];
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
    const ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
    if (n > 0) {
      (i == 0 ? out_ : err_).append(buffer, static_cast<size_t>(n));
    } else {
      close(fds[i].fd);
      (i == 0 ? out_fd_ : err_fd_) = -1;
    }
  }
}

std::optional<std::string> ChildProcess::WaitForLine(const std::string& prefix, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    size_t line_end;
    while ((line_end = out_.find('\n', consumed_)) != std::string::npos) {
      std::string line = out_.substr(consumed_, line_end - consumed_);
      consumed_ = line_end + 1;
      if (line.rfind(prefix, 0) == 0) return line;
    }
    if (std::chrono::steady_clock::now() > end || (out_fd_ < 0 && err_fd_ < 0)) {
      return std::nullopt;
    }
    ReadAvailable(20);
  }
}

int ChildProcess::Wait(int timeout_ms) {
  if (pid_ <= 0) return status_;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      while (out_fd_ >= 0 || err_fd_ >= 0) ReadAvailable(100);
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return status_;
    }
    ReadAvailable(20);
  }
  Kill();
  return -1;
}

bool ChildProcess::IsRunning() {
  return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

void ChildProcess::Kill() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        break;
      }
      usleep(10000);
    }
    pid_ = -1;
  }
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
  if (in_fd_ >= 0) close(in_fd_);
  out_fd_ = err_fd_ = in_fd_ = -1;
}

bool XServer::Start(const std::string& screen, const std::vector<std::string>& extra) {
  // Xvfb writes the display number it picked to fd 1.
  std::vector<std::string> argv = {"Xvfb", "-displayfd", "1",         "-screen",
                                   "0",    screen,       "-nolisten", "tcp"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  if (!process_.Start(argv)) return false;
  std::optional<std::string> line = process_.WaitForLine("", 10000);
  if (!line || line->empty()) return false;
  display_ = ":" + *line;
  return true;
}

std::string SkinInspectorPath() {
  return CORVANE_BINARY_DIR "/tools/skin_inspector/skin_inspector";
}

std::string ResourcesPath() {
  return CORVANE_SOURCE_DIR "/resources";
}

}  // namespace ui
