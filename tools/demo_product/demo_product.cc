// The demo product "corvane.exe": it records that it was started, with which
// arguments, and stays alive for a while when asked, so that tests and the
// demo can see it in /proc.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <glib.h>

#include "tools/demo_product/start_record.h"

namespace {

std::string LogPath() {
  if (const char* p = std::getenv("CORVANE_DEMO_PRODUCT_LOG"); p && *p) return p;
  std::string dir = std::string(g_get_user_data_dir()) + "/corvane";
  g_mkdir_with_parents(dir.c_str(), 0700);
  return dir + "/product-starts.log";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> fields;
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  fields.emplace_back(n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string(argv[0]));
  long stay_ms = 0;
  if (const char* s = std::getenv("CORVANE_DEMO_PRODUCT_STAY_MS")) stay_ms = std::atol(s);
  for (int i = 1; i < argc; ++i) {
    fields.emplace_back(argv[i]);
    if (std::string(argv[i]) == "--stay-ms" && i + 1 < argc) stay_ms = std::atol(argv[i + 1]);
  }
  if (!corvane_demo::AppendStartRecord(LogPath(), static_cast<long>(getpid()), fields)) return 1;
  if (stay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stay_ms));
  return 0;
}
