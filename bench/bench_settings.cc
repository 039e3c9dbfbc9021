// The settings store on a large file: 64 MiB of comment lines around the
// identifier, as a hostile or careless machine may leave it. Prints the time
// of one read (what start-up pays) and of one write (the copy, synced), with
// the bytes per second of each pass.
#include <cstdlib>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>
#include <glib.h>
#include <glib/gstdio.h>

#include "app/system/settings_store.h"

namespace {

constexpr size_t kCommentLines = 1 << 20;  // 64 bytes each: 64 MiB

struct LargeStore {
  LargeStore() {
    gchar* made = g_dir_make_tmp("corvane-bench-XXXXXX", nullptr);
    dir = made ? made : "/tmp";
    g_free(made);
    g_setenv("XDG_CONFIG_HOME", dir.c_str(), TRUE);
    g_mkdir_with_parents((dir + "/corvane").c_str(), 0700);
    std::ofstream out(dir + "/corvane/AppInfo.ini", std::ios::binary);
    out << "[AppInfo]\nUniqueId=0123456789ABCDEF0123456789ABCDEF\n";
    std::string block;
    for (int i = 0; i < 1024; ++i) block += "# " + std::string(61, 'c') + "\n";
    for (size_t i = 0; i < kCommentLines / 1024; ++i) out << block;
    out << "[AppInfo]\nChannel=demo\n";
    bytes = static_cast<int64_t>(out.tellp());
  }
  ~LargeStore() {
    g_remove((dir + "/corvane/AppInfo.ini").c_str());
    g_rmdir((dir + "/corvane").c_str());
    g_rmdir(dir.c_str());
  }
  std::string dir;
  int64_t bytes = 0;
};

LargeStore& Store() {
  static LargeStore store;
  return store;
}

void BM_ReadIdentifierOf64MiBStore(benchmark::State& state) {
  const corvane::SettingsStore store("Software\\corvane\\AppInfo");
  for (auto _ : state) {
    if (store.Read("UniqueId").size() != 32) state.SkipWithError("identifier lost");
  }
  state.SetBytesProcessed(state.iterations() * Store().bytes);
}

void BM_WriteChannelOf64MiBStore(benchmark::State& state) {
  const corvane::SettingsStore store("Software\\corvane\\AppInfo");
  for (auto _ : state) {
    if (!store.Write("Channel", "demo")) state.SkipWithError("write refused");
  }
  state.SetBytesProcessed(state.iterations() * Store().bytes);
}

}  // namespace

int main(int argc, char** argv) {
  Store();
  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("ReadIdentifierOf64MiBStore", BM_ReadIdentifierOf64MiBStore)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("WriteChannelOf64MiBStore", BM_WriteChannelOf64MiBStore)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
