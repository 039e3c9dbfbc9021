// The folder chooser of the windowed installer comes with its windows; the
// product's folder rule is shared with the unattended installation.
#include "app/system/folder_picker.h"

namespace corvane {

std::string ProductFolderUnder(const std::string& folder) {
  std::string base = folder;
  while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  return base + "\\brightmoor\\corvane";
}

}  // namespace corvane
