// The package transfer through HttpClient (libcurl) against the curl command
// line tool, both fetching the same 256 MiB package from the reference vendor
// service on loopback. Prints the speed ratio libcurl / curl (goal >= 0.9).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <glib.h>

#include "app/http_client.h"
#include "app/system/process.h"

extern char** environ;

namespace {

constexpr size_t kPackageBytes = 256u << 20;

struct Fixture {
  std::string dir;
  std::string url;
  pid_t service = -1;
} g_fixture;

std::string ServiceScript() {
  if (const char* s = std::getenv("CORVANE_VENDOR_SERVICE")) return s;
  std::string here = __FILE__;
  return here.substr(0, here.rfind('/')) + "/../tools/vendor_service/vendor_service.py";
}

bool WritePackage(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::mt19937_64 gen(7);
  std::vector<uint64_t> block(1 << 17);
  for (size_t written = 0; written < kPackageBytes; written += block.size() * 8) {
    for (uint64_t& v : block) v = gen();
    std::fwrite(block.data(), 8, block.size(), f);
  }
  return std::fclose(f) == 0;
}

bool StartService() {
  gchar* dir = g_dir_make_tmp("corvane-bench-XXXXXX", nullptr);
  if (!dir) return false;
  g_fixture.dir = dir;
  g_free(dir);
  const std::string package = g_fixture.dir + "/package.bin";
  if (!WritePackage(package)) return false;
  std::vector<std::string> args = {"python3", ServiceScript(), "--port", "0", "--package", package};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  const int rc =
      posix_spawnp(&g_fixture.service, "python3", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string line;
  char c;
  while (rc == 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  if (rc != 0 || line.rfind(':') == std::string::npos) return false;
  g_fixture.url = "http://127.0.0.1:" + line.substr(line.rfind(':') + 1) +
                  "/caller?c=site&a=downloadPackage&channel=bench&donwloadtype=curl";
  return true;
}

void StopService() {
  if (g_fixture.service > 0) {
    kill(g_fixture.service, SIGKILL);
    waitpid(g_fixture.service, nullptr, 0);
  }
  for (const char* name : {"/package.bin", "/libcurl.bin", "/cli.bin"}) {
    unlink((g_fixture.dir + name).c_str());
  }
  rmdir(g_fixture.dir.c_str());
}

void BM_DownloadLibcurl(benchmark::State& state) {
  const std::string target = g_fixture.dir + "/libcurl.bin";
  for (auto _ : state) {
    corvane::HttpClient client;
    client.set_timeout(300);
    if (client.DownloadToFile(g_fixture.url, target) != 0) state.SkipWithError("download failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPackageBytes));
}

void BM_DownloadCurlCli(benchmark::State& state) {
  const std::string target = g_fixture.dir + "/cli.bin";
  for (auto _ : state) {
    unlink(target.c_str());
    if (corvane::RunProcess({"/usr/bin/curl", "-s", "-f", "-o", target, g_fixture.url}) != 0) {
      state.SkipWithError("curl failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPackageBytes));
}

BENCHMARK(BM_DownloadLibcurl)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DownloadCurlCli)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps the console output and remembers each benchmark's time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) seconds_[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  double Get(const std::string& prefix) const {
    for (const auto& [name, t] : seconds_) {
      if (name.rfind(prefix, 0) == 0) return t;
    }
    return 0;
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!StartService()) {
    std::fprintf(stderr, "bench_download: cannot start the vendor service\n");
    StopService();
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  StopService();
  const double libcurl = reporter.Get("BM_DownloadLibcurl");
  const double cli = reporter.Get("BM_DownloadCurlCli");
  if (libcurl > 0 && cli > 0) {
    std::printf("libcurl path speed / curl CLI speed = %.2f (goal >= 0.90)\n", cli / libcurl);
  }
  benchmark::Shutdown();
  return 0;
}
