#pragma once

#include <map>
#include <string>
#include <vector>

namespace corvane {

// The process-wide command-line table: key:value arguments; an argument that
// names an existing file or folder is stored under "path". Written once at
// start-up, before other threads exist, then only read.
class CommandLine {
 public:
  static CommandLine& Instance();

  // Replaces the table with `args` (program name excluded). Always true:
  // the arguments arrive already split.
  bool Parse(const std::vector<std::wstring>& args);

  // The value under `key`, or "" for a key never seen. Lookups never insert,
  // so readers on several threads never write to the shared table.
  std::wstring GetValue(const std::wstring& key) const;

  const std::map<std::wstring, std::wstring>& values() const { return values_; }

 private:
  std::map<std::wstring, std::wstring> values_;
};

bool ParseCommandLine(const std::vector<std::wstring>& args);
std::wstring GetCommandLineValue(const std::wstring& key);

}  // namespace corvane
