#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace win_test {

// A temporary folder (UTF-8 path) removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string Sub(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Sets an environment variable for the test's life (and its children's).
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value);
  ~ScopedEnv();

 private:
  std::wstring name_;
  std::wstring old_;
  bool had_ = false;
};

// The reference vendor service (the Linux python3 program, which Wine
// starts as a Unix process) on a free loopback port, with `options`. It
// cannot be signalled from here: it is asked to shut down at the end and
// ends by itself after ten minutes in any case.
class VendorService {
 public:
  explicit VendorService(const std::vector<std::string>& options = {});
  ~VendorService();
  bool ok() const { return port_ > 0; }
  int port() const { return port_; }
  std::string base_url() const;  // .../caller?c=site&a=downloadPackage&os=windows
  std::string statistics_url() const;
  std::vector<std::string> AccessLines() const;
  std::vector<std::string> StatisticsLines() const;

 private:
  TempDir dir_;
  int port_ = 0;
};

// A program run as a child with its output in files, killed at the end if
// still running.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  bool started() const { return process_ != nullptr; }
  // Waits up to `seconds`; false when it still runs.
  bool Wait(int seconds);
  // Ends it at once, as Task Manager or taskkill /F would.
  void Kill();
  unsigned long exit_code() const { return exit_code_; }
  std::string output() const;
  std::string errors() const;

 private:
  TempDir dir_;
  HANDLE process_ = nullptr;
  unsigned long exit_code_ = 0;
};

// Removes a file or a folder with everything in it.
void RemoveTree(const std::string& path);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool FileExists(const std::string& path);
std::vector<std::string> Lines(const std::string& text);

// The folder of the running test program, and the source tree as a Windows
// path.
std::string ProgramFolder();
std::string SourcePath(const std::string& relative);

// A package of `size` pseudo-random bytes for the service to answer.
void WriteRandomFile(const std::string& path, size_t size);

}  // namespace win_test
