#include "base/file_util.h"

namespace nbase {

// Windows' file systems ignore letter case themselves: every spelling of an
// existing path opens it, so the path as written is the answer.
std::string ResolvePathIgnoringCase(const std::string& path) {
  return path;
}

}  // namespace nbase
