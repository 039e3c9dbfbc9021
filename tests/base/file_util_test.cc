#include "base/file_util.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace {

class FileUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/file_util_test_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    std::filesystem::create_directories(root_ + "/public/checkbox");
    std::ofstream(root_ + "/public/checkbox/check.png") << "x";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  std::string root_;
};

TEST_F(FileUtilTest, ResolvesComponentsIgnoringAsciiCase) {
  const std::string exact = root_ + "/public/checkbox/check.png";
  EXPECT_EQ(nbase::ResolvePathIgnoringCase(exact), exact);
  EXPECT_EQ(nbase::ResolvePathIgnoringCase(root_ + "/public/CheckBox/Check.PNG"), exact);
  // Relative segments are kept as written once they resolve.
  EXPECT_EQ(nbase::ResolvePathIgnoringCase(root_ + "/Public/checkbox/../CheckBox/check.png"),
            root_ + "/public/checkbox/../checkbox/check.png");
}

TEST_F(FileUtilTest, MissingPathsComeBackUnchanged) {
  const std::string missing = root_ + "/public/CheckBox/missing.png";
  EXPECT_EQ(nbase::ResolvePathIgnoringCase(missing), missing);
  EXPECT_EQ(nbase::ResolvePathIgnoringCase(""), "");
  EXPECT_EQ(nbase::ResolvePathIgnoringCase("no/such/Dir"), "no/such/Dir");
}

}  // namespace
