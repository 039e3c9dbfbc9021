#include "tests/app/app_test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#include <glib.h>
#include <glib/gstdio.h>

extern char** environ;

namespace app_test {

namespace {

void RemoveTree(const std::string& path) {
  GDir* dir = g_dir_open(path.c_str(), 0, nullptr);
  if (dir) {
    while (const char* name = g_dir_read_name(dir)) {
      const std::string child = path + "/" + name;
      if (g_file_test(child.c_str(), G_FILE_TEST_IS_DIR) &&
          !g_file_test(child.c_str(), G_FILE_TEST_IS_SYMLINK)) {
        RemoveTree(child);
      } else {
        g_unlink(child.c_str());
      }
    }
    g_dir_close(dir);
  }
  chmod(path.c_str(), 0700);
  g_rmdir(path.c_str());
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

bool WaitUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// Starts a script that prints "listening on HOST:PORT" first; returns the
// port (0 when it did not start).
int SpawnListening(std::vector<std::string> args, pid_t* pid) {
  *pid = -1;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  const int rc = posix_spawnp(pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    *pid = -1;
    close(out[0]);
    return 0;
  }
  // The first line names the port the child chose.
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  const size_t colon = line.rfind(':');
  if (line.rfind("listening on", 0) == 0 && colon != std::string::npos) {
    return std::atoi(line.c_str() + colon + 1);
  }
  return 0;
}

void KillAndReap(pid_t pid) {
  if (pid > 0) {
    kill(pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
  }
}

}  // namespace

LoggingProxy::LoggingProxy() {
  port_ = SpawnListening(
      {"python3", std::string(CORVANE_SOURCE_DIR) + "/tools/vendor_service/logging_proxy.py",
       "--port", "0", "--log", dir_.Sub("proxy.jsonl")},
      &pid_);
}

LoggingProxy::~LoggingProxy() {
  KillAndReap(pid_);
}

std::string LoggingProxy::url() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> LoggingProxy::Lines() const {
  return ReadLines(dir_.Sub("proxy.jsonl"));
}

TempDir::TempDir() {
  gchar* made = g_dir_make_tmp("corvane-app-XXXXXX", nullptr);
  path_ = made ? made : "";
  g_free(made);
}

TempDir::~TempDir() {
  if (!path_.empty()) RemoveTree(path_);
}

ScopedUserEnvironment::ScopedUserEnvironment() {
  for (const char* name :
       {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "http_proxy", "HTTP_PROXY",
        "all_proxy", "ALL_PROXY", "CORVANE_PACKAGE_BASE_URL", "CORVANE_STATISTICS_URL",
        "CORVANE_AGREEMENT_URL", "CORVANE_PRODUCT_PROCESS_NAME"}) {
    const char* value = std::getenv(name);
    saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    unsetenv(name);
  }
  for (const char* sub : {"home", "config", "data", "runtime"})
    g_mkdir(dir_.Sub(sub).c_str(), 0700);
  // The display's cookie is found through HOME unless XAUTHORITY names it: a
  // desktop's display must stay open to the programs the tests start.
  const std::optional<std::string>& home = saved_["HOME"];
  if (!std::getenv("XAUTHORITY") && home && FileExists(*home + "/.Xauthority")) {
    Set("XAUTHORITY", *home + "/.Xauthority");
  }
  setenv("HOME", dir_.Sub("home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", config_home().c_str(), 1);
  setenv("XDG_DATA_HOME", data_home().c_str(), 1);
  setenv("XDG_RUNTIME_DIR", dir_.Sub("runtime").c_str(), 1);
  // Without a session bus a windowed installer's accessibility bridge autolaunches one, with an
  // accessibility bus, that outlive the test.
  if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) Set("NO_AT_BRIDGE", "1");
}

void ScopedUserEnvironment::Set(const std::string& name, const std::string& value) {
  if (!saved_.count(name)) {
    const char* old = std::getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  setenv(name.c_str(), value.c_str(), 1);
}

ScopedUserEnvironment::~ScopedUserEnvironment() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

VendorService::VendorService(const std::vector<std::string>& options) {
  std::vector<std::string> args = {
      "python3",          VendorServiceScript(),        "--port",       "0",
      "--statistics-log", dir_.Sub("statistics.jsonl"), "--access-log", dir_.Sub("access.jsonl"),
      "--signing-key",    DemoSigningKeyPath()};
  args.insert(args.end(), options.begin(), options.end());
  port_ = SpawnListening(args, &pid_);
}

VendorService::~VendorService() {
  KillAndReap(pid_);
}

std::string VendorService::root() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

std::string VendorService::package_base_url() const {
  return root() + "/caller?c=site&a=downloadPackage";
}

std::string VendorService::statistics_url() const {
  return root() + "/caller?c=site&a=writelog";
}

void VendorService::UseForInstaller(ScopedUserEnvironment* env) const {
  env->Set("CORVANE_PACKAGE_BASE_URL", package_base_url());
  env->Set("CORVANE_STATISTICS_URL", statistics_url());
  env->Set("CORVANE_AGREEMENT_URL", root() + "/user-agreement/");
}

std::vector<std::string> VendorService::StatisticsLines() const {
  return ReadLines(dir_.Sub("statistics.jsonl"));
}

std::vector<std::string> VendorService::AccessLines() const {
  return ReadLines(dir_.Sub("access.jsonl"));
}

bool VendorService::WaitForStatistics(size_t count) const {
  return WaitUntil([&] { return StatisticsLines().size() >= count; });
}

bool VendorService::WaitForAccessLines(size_t count) const {
  return WaitUntil([&] { return AccessLines().size() >= count; });
}

InstallerProcess::InstallerProcess(const std::vector<std::string>& args, bool keep_display,
                                   const std::string& program) {
  std::vector<std::string> argv_text = {program.empty() ? InstallerPath() : program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Without a display the installer runs its console view.
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (keep_display ||
        (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("WAYLAND_DISPLAY=", 0) != 0)) {
      envp.push_back(*e);
    }
  }
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, dir_.Sub("stdout").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, dir_.Sub("stderr").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // Default signal actions and no blocked signals, whatever the test runner
  // left to this process.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  if (posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), envp.data()) != 0) pid_ = -1;
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
}

InstallerProcess::~InstallerProcess() {
  if (pid_ > 0 && !Wait(0)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
  }
  if (on_end_ && pid_ > 0) on_end_(errors());
}

std::vector<std::string> ToolkitWarnings(const std::string& text) {
  std::vector<std::string> found;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    for (const char* level : {"WARNING **", "CRITICAL **"}) {
      if (line.find(level) != std::string::npos) {
        found.push_back(line);
        break;
      }
    }
  }
  return found;
}

bool InstallerProcess::Wait(int seconds) {
  if (pid_ <= 0) return false;
  if (status_ != -1) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (true) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = status;
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string InstallerProcess::output() const {
  return ReadFile(dir_.Sub("stdout"));
}

std::string InstallerProcess::errors() const {
  return ReadFile(dir_.Sub("stderr"));
}

std::vector<std::string> StatisticsEventIds(const VendorService& service) {
  std::vector<std::string> ids;
  for (const std::string& line : service.StatisticsLines()) {
    const std::string text = JsonStringField(line, "text").value_or("");
    const size_t start = text.find("\"eventId\":\"") + 11;
    ids.push_back(text.substr(start, text.find('"', start) - start));
  }
  return ids;
}

void WriteRandomFile(const std::string& path, size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>(gen() & 0xFF);
  WriteFile(path, data);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

bool FileExists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

std::optional<std::string> JsonStringField(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\": \"";
  size_t pos = line.find(marker);
  if (pos == std::string::npos) return std::nullopt;
  pos += marker.size();
  std::string out;
  while (pos < line.size() && line[pos] != '"') {
    if (line[pos] != '\\') {
      out += line[pos++];
      continue;
    }
    const char e = line[pos + 1];
    pos += 2;
    switch (e) {
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'u': {
        const gunichar cp = static_cast<gunichar>(std::stoul(line.substr(pos, 4), nullptr, 16));
        char buf[8];
        out.append(buf, static_cast<size_t>(g_unichar_to_utf8(cp, buf)));
        pos += 4;
        break;
      }
      default:
        out += e;
    }
  }
  return out;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
  while (const char* name = dir ? g_dir_read_name(dir) : nullptr) names.push_back(name);
  if (dir) g_dir_close(dir);
  return names;
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& needle) {
  size_t n = 0;
  for (const std::string& l : lines) n += l.find(needle) != std::string::npos ? 1 : 0;
  return n;
}

bool HttpLibraryMapped() {
  // Read from the mappings: a probe through dlopen would hold the library
  // itself, and its dlclose could be the one that unloads it.
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("/libcurl.so") != std::string::npos) return true;
  }
  return false;
}

std::string DemoPackagePath() {
  return std::string(CORVANE_BINARY_DIR) + "/tools/demo_package/corvaneInstaller.exe";
}

std::string DemoProductPath() {
  return std::string(CORVANE_BINARY_DIR) + "/tools/demo_product/corvane.exe";
}

std::string DemoSigningKeyPath() {
  return std::string(CORVANE_BINARY_DIR) + "/package-key/demo-signing-key.pem";
}

std::string DemoPublicKeyPath() {
  return std::string(CORVANE_BINARY_DIR) + "/package-key/demo-public-key.pem";
}

std::string VendorServiceScript() {
  return std::string(CORVANE_SOURCE_DIR) + "/tools/vendor_service/vendor_service.py";
}

std::string InstallerPath() {
  return std::string(CORVANE_BINARY_DIR) + "/app/corvane-installer";
}

std::vector<std::vector<std::string>> WaitForStartRecords(const std::string& path) {
  std::vector<std::vector<std::string>> records;
  for (int i = 0; i < 500 && records.empty(); ++i) {
    records = ReadStartRecords(path);
    if (records.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return records;
}

std::vector<std::vector<std::string>> ReadStartRecords(const std::string& path) {
  std::vector<std::vector<std::string>> records;
  for (const std::string& line : ReadLines(path)) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\t') {
        fields.emplace_back();
      } else if (line[i] == '\\' && i + 1 < line.size()) {
        const char e = line[++i];
        fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e;
      } else {
        fields.back() += line[i];
      }
    }
    records.push_back(fields);
  }
  return records;
}

}  // namespace app_test
