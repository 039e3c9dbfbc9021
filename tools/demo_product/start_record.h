#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace corvane_demo {

// One line per start, fields separated by tabs; tabs, line feeds and
// backslashes inside a field are written as \t, \n and \\ so any argument
// survives the round trip.
inline std::string EscapeField(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// Appends "<pid>\t<field>\t<field>..." to `path`; false when it cannot be written.
inline bool AppendStartRecord(const std::string& path, long pid,
                              const std::vector<std::string>& fields) {
  std::string line = std::to_string(pid);
  for (const std::string& f : fields) line += "\t" + EscapeField(f);
  line += "\n";
  FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return false;
  const bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace corvane_demo
