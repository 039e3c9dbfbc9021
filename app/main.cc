// The installer's entry: parse the command line, then run the UI framework
// thread on the initial thread until it ends.
#include <string>
#include <vector>

#include "app/command_line.h"
#include "base/string_util.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(nbase::UTF8ToWide(argv[i]));
  ParseCommandLine(args);
  return 0;
}
