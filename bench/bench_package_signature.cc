// What the package check costs:
// - the digest of a 256 MiB package (read and hashed in 1 MiB blocks)
//   against `sha256sum` of the same file (goal: ours <= 1.1x its time);
// - the package transfer through HttpClient with and without the digest
//   taken while the bytes arrive (256 MiB from the vendor service);
// - a whole unattended installation against the vendor service by the built
//   installer (checked) and by a copy without keys (unchecked), median of 5,
//   with the demo package padded to 64 MiB;
// - the installer's process start (--help) as built, and with libcrypto
//   mapped at start (what linking it instead of loading it lazily would add).
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/http_client.h"
#include "app/system/package_crypto.h"
#include "tests/app/package_key_support.h"

extern char** environ;

namespace {

constexpr size_t kDigestBytes = 256u << 20;
constexpr size_t kInstallPackageBytes = 64u << 20;

struct Fixture {
  std::unique_ptr<app_test::ScopedUserEnvironment> env;
  std::unique_ptr<app_test::TempDir> dir;
  std::unique_ptr<app_test::VendorService> service;
  std::string big;        // kDigestBytes of random bytes, also served
  std::string unchecked;  // the installer without keys
} g;

void AppendRandom(const std::string& path, size_t bytes) {
  FILE* f = std::fopen(path.c_str(), "ab");
  std::mt19937_64 random(11);
  std::vector<uint64_t> block(1 << 17);
  for (size_t written = 0; written < bytes; written += block.size() * 8) {
    for (uint64_t& v : block) v = random();
    std::fwrite(block.data(), 8, std::min(block.size(), (bytes - written) / 8), f);
  }
  std::fclose(f);
}

// Runs argv with standard output to /dev/null (and `preload` as LD_PRELOAD
// when given); its exit status.
int Spawn(const std::vector<std::string>& args, const std::string& preload = std::string()) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) env_text.push_back(*e);
  if (!preload.empty()) env_text.push_back("LD_PRELOAD=" + preload);
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_DigestOurs(benchmark::State& state) {
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    const int fd = open(g.big.c_str(), O_RDONLY | O_CLOEXEC);
    corvane::Sha256Hasher hasher;
    ssize_t n;
    while ((n = read(fd, buffer.data(), buffer.size())) > 0) hasher.Update(buffer.data(), n);
    close(fd);
    if (!hasher.Finish()) state.SkipWithError("no digest");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDigestBytes));
}

void BM_DigestSha256sum(benchmark::State& state) {
  for (auto _ : state) {
    if (Spawn({"sha256sum", g.big}) != 0) state.SkipWithError("sha256sum failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDigestBytes));
}

void Download(benchmark::State& state, bool hashed) {
  const std::string url = g.service->package_base_url() + "&channel=big&donwloadtype=curl";
  const std::string target = g.dir->Sub("download.bin");
  for (auto _ : state) {
    corvane::Sha256Hasher hasher;
    corvane::HttpClient client;
    client.set_timeout(300);
    if (client.DownloadToFile(url, target, hashed ? &hasher : nullptr) != 0) {
      state.SkipWithError("download failed");
    }
    if (hashed && !hasher.Finish()) state.SkipWithError("no digest");
  }
  unlink(target.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDigestBytes));
}
void BM_DownloadPlain(benchmark::State& state) {
  Download(state, false);
}
void BM_DownloadHashed(benchmark::State& state) {
  Download(state, true);
}

void Install(benchmark::State& state, const std::string& program) {
  for (auto _ : state) {
    app_test::InstallerProcess installer({"installPath:" + g.dir->Sub("installed"), "channel:demo"},
                                         false, program);
    if (!installer.Wait(120) || !WIFEXITED(installer.status()) ||
        WEXITSTATUS(installer.status()) != 0) {
      state.SkipWithError("installation failed");
    }
  }
}
void BM_InstallChecked(benchmark::State& state) {
  Install(state, app_test::InstallerPath());
}
void BM_InstallUnchecked(benchmark::State& state) {
  Install(state, g.unchecked);
}

void BM_StartAsBuilt(benchmark::State& state) {
  for (auto _ : state) Spawn({app_test::InstallerPath(), "--help"});
}
void BM_StartWithLibcryptoMapped(benchmark::State& state) {
  for (auto _ : state) Spawn({app_test::InstallerPath(), "--help"}, "libcrypto.so.3");
}

BENCHMARK(BM_DigestOurs)
    ->Iterations(3)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_DigestSha256sum)
    ->Iterations(3)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_DownloadPlain)
    ->Iterations(2)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_DownloadHashed)
    ->Iterations(2)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_InstallChecked)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_InstallUnchecked)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_StartAsBuilt)
    ->Iterations(20)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_StartWithLibcryptoMapped)
    ->Iterations(20)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->DisplayAggregatesOnly(true);

// Keeps the console output and remembers each benchmark's median.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.aggregate_name == "median")
        medians_[r.run_name.function_name] = r.GetAdjustedRealTime();
    }
  }
  double Get(const std::string& name) const {
    const auto it = medians_.find(name);
    return it == medians_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> medians_;
};

bool SetUpFixture() {
  g.env = std::make_unique<app_test::ScopedUserEnvironment>();
  g.dir = std::make_unique<app_test::TempDir>();
  g.big = g.dir->Sub("big.bin");
  AppendRandom(g.big, kDigestBytes);
  // The demo package still runs with bytes after its end.
  const std::string padded = g.dir->Sub("padded-package");
  app_test::WriteFile(padded, app_test::ReadFile(app_test::DemoPackagePath()));
  AppendRandom(padded, kInstallPackageBytes - app_test::ReadFile(padded).size());
  chmod(padded.c_str(), 0755);
  g.unchecked = app_test::StampedInstallerCopy(*g.dir, "unchecked-installer", {});
  g.service = std::make_unique<app_test::VendorService>(
      std::vector<std::string>{"--package", padded, "--channel-package", "big=" + g.big});
  if (!g.service->ok() || g.unchecked.empty()) return false;
  g.service->UseForInstaller(g.env.get());
  g.env->Set("GIO_USE_VFS", "local");
  g.env->Set("CORVANE_DEMO_PRODUCT_LOG", g.dir->Sub("product.log"));
  g.env->Set("CORVANE_PRODUCT_PROCESS_NAME", "bench-" + std::to_string(getpid()) + ".exe");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!SetUpFixture()) {
    std::fprintf(stderr, "bench_package_signature: cannot set up the service or the installer\n");
    return 1;
  }
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto ratio = [&](const char* what, const char* ours, const char* peer, const char* goal) {
    const double a = reporter.Get(ours);
    const double b = reporter.Get(peer);
    if (a > 0 && b > 0) {
      std::printf("%s: %.1f ms against %.1f ms = %.2fx %s\n", what, a, b, a / b, goal);
    }
  };
  ratio("digest of 256 MiB, ours / sha256sum", "BM_DigestOurs", "BM_DigestSha256sum",
        "(goal <= 1.10x)");
  ratio("256 MiB transfer, hashed / plain", "BM_DownloadHashed", "BM_DownloadPlain", "");
  ratio("installation (64 MiB package), checked / unchecked", "BM_InstallChecked",
        "BM_InstallUnchecked", "");
  ratio("process start, libcrypto mapped / as built", "BM_StartWithLibcryptoMapped",
        "BM_StartAsBuilt", "");
  g.service.reset();
  g.dir.reset();
  g.env.reset();
  benchmark::Shutdown();
  return 0;
}
