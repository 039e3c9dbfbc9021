// The demo package "corvaneInstaller.exe": a silent installer that puts the
// demo product (carried as its own PRODUCT resource) into the folder named by
// "/D=<dir>". Tests steer it through the environment, which the installer
// passes on unchanged:
//   CORVANE_DEMO_PACKAGE_LOG        file that receives one line per run
//   CORVANE_DEMO_PACKAGE_EXIT_CODES comma list, one entry per run ("kill" ends
//                                   the run with SIGKILL); the last entry repeats
//   CORVANE_DEMO_PACKAGE_COUNTER    file holding the number of runs so far
//   CORVANE_DEMO_PACKAGE_SLEEP_MS   pause before installing, for the demo
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <glib.h>

#include "app/system/embedded_resource.h"
#include "tools/demo_package/outcome.h"
#include "tools/demo_product/start_record.h"

namespace {

constexpr int kNotSilent = 3;
constexpr int kNoDirectory = 4;
constexpr int kInstallFailed = 5;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Counts this run in the counter file and returns its index (0 for the first).
int NextRunIndex() {
  const std::string path = Env("CORVANE_DEMO_PACKAGE_COUNTER");
  if (path.empty()) return 0;
  int runs = 0;
  std::ifstream(path) >> runs;
  std::ofstream(path, std::ios::trunc) << runs + 1;
  return runs;
}

// The requested outcome of this run: an exit code, or -1 for "kill".
int RequestedOutcome(int run) {
  return demo::OutcomeOfRun(Env("CORVANE_DEMO_PACKAGE_EXIT_CODES"), run);
}

bool InstallProduct(const std::string& dir) {
  const std::optional<std::string> product = corvane::ReadEmbeddedResource("PRODUCT");
  if (!product || product->empty()) return false;
  if (g_mkdir_with_parents(dir.c_str(), 0755) != 0) return false;
  const std::string target = dir + "/corvane.exe";
  const std::string temp = target + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(product->data(), static_cast<std::streamsize>(product->size()));
    if (!out.flush()) return false;
  }
  return chmod(temp.c_str(), 0755) == 0 && std::rename(temp.c_str(), target.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (const std::string log = Env("CORVANE_DEMO_PACKAGE_LOG"); !log.empty()) {
    corvane_demo::AppendStartRecord(log, static_cast<long>(getpid()), args);
  }
  bool silent = false;
  std::string dir;
  for (const std::string& a : args) {
    if (a == "/S") silent = true;
    if (a.rfind("/D=", 0) == 0) dir = a.substr(3);
  }
  if (!silent) return kNotSilent;
  if (dir.empty()) return kNoDirectory;
  if (const long ms = std::atol(Env("CORVANE_DEMO_PACKAGE_SLEEP_MS").c_str()); ms > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  const int outcome = RequestedOutcome(NextRunIndex());
  if (outcome == -1) raise(SIGKILL);
  if (outcome != 0) return outcome;
  return InstallProduct(dir) ? 0 : kInstallFailed;
}
