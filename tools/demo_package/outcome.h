#pragma once

// What a demo package run is asked to do, shared by both targets' packages.

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace demo {

// Run `run` (from 0) of the comma-separated `list` of exit codes ("kill"
// for being killed): its code, the last one for later runs, or -1 for
// "kill"; 0 for an empty list.
inline int OutcomeOfRun(const std::string& list, int run) {
  if (list.empty()) return 0;
  std::vector<std::string> codes;
  size_t start = 0;
  while (true) {
    const size_t comma = list.find(',', start);
    codes.push_back(list.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  const std::string& pick = codes[std::min<size_t>(static_cast<size_t>(run), codes.size() - 1)];
  return pick == "kill" ? -1 : std::atoi(pick.c_str());
}

}  // namespace demo
