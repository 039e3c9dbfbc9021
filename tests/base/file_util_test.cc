#include "base/file_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/build_config.h"
#include "tests/base/base_test_util.h"

namespace {

class FileUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::make_unique<nbase_test::ScopedTempDir>("file_util_test_");
    ASSERT_FALSE(dir_->path().empty());
    // Narrow paths are UTF-8 on Windows; the temporary folder is ASCII here.
    root_ = dir_->path().generic_string();
    std::filesystem::create_directories(dir_->path() / "public" / "checkbox");
    std::ofstream(dir_->path() / "public" / "checkbox" / "check.png") << "x";
  }

  static std::string Read(const std::string& path) {
    std::ifstream file(path);
    std::string text;
    file >> text;
    return text;
  }

  std::unique_ptr<nbase_test::ScopedTempDir> dir_;
  std::string root_;
};

TEST_F(FileUtilTest, ResolvesComponentsIgnoringAsciiCase) {
  const std::string exact = root_ + "/public/checkbox/check.png";
  EXPECT_EQ(nbase::ResolvePathIgnoringCase(exact), exact);
  const std::string other_case =
      nbase::ResolvePathIgnoringCase(root_ + "/public/CheckBox/Check.PNG");
  const std::string dotted =
      nbase::ResolvePathIgnoringCase(root_ + "/Public/checkbox/../CheckBox/check.png");
  // Every spelling reaches the file.
  EXPECT_EQ(Read(other_case), "x");
  EXPECT_EQ(Read(dotted), "x");
  if (CORVANE_OS_LINUX) {
    // The file system does not ignore case: the spelling on disk comes back,
    // and relative segments are kept as written once they resolve.
    EXPECT_EQ(other_case, exact);
    EXPECT_EQ(dotted, root_ + "/public/checkbox/../checkbox/check.png");
  }
}

TEST_F(FileUtilTest, MissingPathsComeBackUnchanged) {
  const std::string missing = root_ + "/public/CheckBox/missing.png";
  EXPECT_EQ(nbase::ResolvePathIgnoringCase(missing), missing);
  EXPECT_EQ(nbase::ResolvePathIgnoringCase(""), "");
  EXPECT_EQ(nbase::ResolvePathIgnoringCase("no/such/Dir"), "no/such/Dir");
}

}  // namespace
