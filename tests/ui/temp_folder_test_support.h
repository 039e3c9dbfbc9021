#pragma once

// Temporary folders for the ui tests, named as skins name files: UTF-8 with
// "/" between the parts, on both targets.

#include <string>

#include "base/string_util.h"
#include "tests/base/base_test_util.h"

namespace ui::testing {

class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix) : dir_(prefix) {}

  // False when no folder could be made.
  bool IsValid() const { return !dir_.path().empty(); }
  std::string path() const { return nbase::WideToUTF8(dir_.path().generic_wstring()); }
  std::string Child(const std::string& name) const { return path() + "/" + name; }

 private:
  nbase_test::ScopedTempDir dir_;
};

}  // namespace ui::testing
