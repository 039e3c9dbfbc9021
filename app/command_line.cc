#include "app/command_line.h"

#include "app/system/folders.h"
#include "base/string_util.h"

namespace corvane {

namespace {

// "C:\x" or "C:/x": a path, not the one-letter key "C".
bool IsDriveLetterPath(const std::wstring& arg) {
  return arg.size() >= 3 && arg[1] == L':' && (arg[2] == L'\\' || arg[2] == L'/');
}

}  // namespace

CommandLine& CommandLine::Instance() {
  static CommandLine* table = new CommandLine;
  return *table;
}

bool CommandLine::Parse(const std::vector<std::wstring>& args) {
  values_.clear();
  for (const std::wstring& arg : args) {
    if (arg.empty()) continue;
    std::wstring key;
    std::wstring value;
    if (corvane::PathExists(nbase::WideToNativePath(arg))) {
      key = L"path";
      value = arg;
    } else {
      const size_t colon = arg.find(L':');
      if (colon == std::wstring::npos) {
        key = arg;
      } else if (colon >= 2 || (colon == 1 && !IsDriveLetterPath(arg))) {
        key = arg.substr(0, colon);
        value = arg.substr(colon + 1);
      }
      // A leading colon, or a drive-letter path naming nothing, leaves key
      // and value empty.
    }
    values_[key] = value;
  }
  return true;
}

std::wstring CommandLine::GetValue(const std::wstring& key) const {
  const auto it = values_.find(key);
  return it == values_.end() ? std::wstring() : it->second;
}

bool ParseCommandLine(const std::vector<std::wstring>& args) {
  return CommandLine::Instance().Parse(args);
}

std::wstring GetCommandLineValue(const std::wstring& key) {
  return CommandLine::Instance().GetValue(key);
}

}  // namespace corvane
