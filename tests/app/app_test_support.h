#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace app_test {

// A temporary folder removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Points HOME and the XDG folders at a fresh temporary folder and clears the
// proxy and endpoint variables; everything is restored at the end.
class ScopedUserEnvironment {
 public:
  ScopedUserEnvironment();
  ~ScopedUserEnvironment();
  const TempDir& dir() const { return dir_; }
  std::string config_home() const { return dir_.Sub("config"); }
  std::string data_home() const { return dir_.Sub("data"); }
  void Set(const std::string& name, const std::string& value);

 private:
  TempDir dir_;
  std::map<std::string, std::optional<std::string>> saved_;
};

// The reference vendor service, started as a child process on a free
// loopback port and killed (and reaped) at the end. It signs packages with
// the build's demo key, the key the built installer is stamped with.
class VendorService {
 public:
  // `options` are passed to the service after the port, log and key
  // options (a later "--signing-key" replaces the demo key).
  explicit VendorService(const std::vector<std::string>& options = {});
  ~VendorService();

  bool ok() const { return port_ > 0; }
  int port() const { return port_; }
  std::string root() const;
  std::string package_base_url() const;
  std::string statistics_url() const;
  // Points the installer's endpoints (environment overrides) at this service.
  void UseForInstaller(ScopedUserEnvironment* env) const;

  std::vector<std::string> StatisticsLines() const;
  std::vector<std::string> AccessLines() const;
  // Waits (up to ten seconds) until `count` statistics records were logged.
  bool WaitForStatistics(size_t count) const;
  bool WaitForAccessLines(size_t count) const;

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// The built installer run as a child process in the current environment
// (the test's XDG folders and endpoint overrides), without a display unless
// `keep_display`, its standard output and error going to files. Killed and
// reaped at the end if still running. `program` replaces the built installer
// (e.g. a copy with other resources).
class InstallerProcess {
 public:
  explicit InstallerProcess(const std::vector<std::string>& args, bool keep_display = false,
                            const std::string& program = std::string());
  ~InstallerProcess();
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Waits up to `seconds`; false when it is still running then.
  bool Wait(int seconds);
  // The wait status once Wait returned true.
  int status() const { return status_; }
  std::string output() const;
  std::string errors() const;
  // Called with what the installer printed on standard error once it has
  // ended, when this object goes.
  void set_on_end(std::function<void(const std::string& errors)> on_end) {
    on_end_ = std::move(on_end);
  }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int status_ = -1;
  std::function<void(const std::string&)> on_end_;
};

// The lines of `text` that GLib's logging prints for a warning or a critical
// (of GLib, GTK, ATK or any library logging through GLib): "(prog:pid):
// Domain-WARNING **: ..." and the like. Each one is a fault.
std::vector<std::string> ToolkitWarnings(const std::string& text);

// tools/vendor_service/logging_proxy.py on a free loopback port: a
// forwarding proxy that logs each request it carries.
class LoggingProxy {
 public:
  LoggingProxy();
  ~LoggingProxy();
  bool ok() const { return port_ > 0; }
  int port() const { return port_; }
  std::string url() const;
  std::vector<std::string> Lines() const;

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// The "eventId" of every statistics record the service received, in order.
std::vector<std::string> StatisticsEventIds(const VendorService& service);

// A file of `size` pseudo-random bytes.
void WriteRandomFile(const std::string& path, size_t size, unsigned seed = 1);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool FileExists(const std::string& path);
// Names of the entries of `folder`; empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

// The value of the string member `key` of a one-line JSON object (escapes
// decoded); nullopt when the member is missing or not a string.
std::optional<std::string> JsonStringField(const std::string& line, const std::string& key);
// Number of lines containing `needle`.
size_t CountContaining(const std::vector<std::string>& lines, const std::string& needle);

// Paths of the built demo tools and of the reference service.
std::string DemoPackagePath();

// Whether the HTTP library (libcurl) is mapped into this process now.
bool HttpLibraryMapped();
std::string DemoProductPath();
std::string VendorServiceScript();
// The build's demo package key pair (PEM): the service signs with the
// private key, the built installer carries the public one.
std::string DemoSigningKeyPath();
std::string DemoPublicKeyPath();
std::string InstallerPath();

// Reads the lines of a demo start-record file, each split into its fields.
std::vector<std::vector<std::string>> ReadStartRecords(const std::string& path);
// The same once the detached product has written at least one record (up to
// 5 s); empty when none came.
std::vector<std::vector<std::string>> WaitForStartRecords(const std::string& path);

}  // namespace app_test
