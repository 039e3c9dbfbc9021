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

TEST_F(FileUtilTest, ReadsRegularFilesWholeWithinTheirBound) {
  const std::string file = root_ + "/public/data.bin";
  const std::string bytes("a\0b\r\n\xFF", 6);
  std::ofstream(file, std::ios::binary) << bytes;
  std::string read = "stale";
  EXPECT_EQ(nbase::ReadWholeFile(file, 6, &read), nbase::ReadFileStatus::kOk);
  EXPECT_EQ(read, bytes);
  // One byte over the bound: refused, nothing kept.
  EXPECT_EQ(nbase::ReadWholeFile(file, 5, &read), nbase::ReadFileStatus::kTooLarge);
  EXPECT_TRUE(read.empty());
  // A path ignoring case reaches it where the system does not.
  EXPECT_EQ(
      nbase::ReadWholeFile(nbase::ResolvePathIgnoringCase(root_ + "/Public/DATA.bin"), 6, &read),
      nbase::ReadFileStatus::kOk);
  EXPECT_EQ(read, bytes);

  std::ofstream(root_ + "/public/empty.txt");
  EXPECT_EQ(nbase::ReadWholeFile(root_ + "/public/empty.txt", 0, &read),
            nbase::ReadFileStatus::kOk);
  EXPECT_TRUE(read.empty());
  // A folder and a missing file are not files to read.
  EXPECT_EQ(nbase::ReadWholeFile(root_ + "/public/checkbox", 1 << 20, &read),
            nbase::ReadFileStatus::kCannotOpen);
  EXPECT_EQ(nbase::ReadWholeFile(root_ + "/public/missing", 1 << 20, &read),
            nbase::ReadFileStatus::kCannotOpen);
}

TEST_F(FileUtilTest, AbsolutePathsStartAtTheRootOfTheTarget) {
  EXPECT_TRUE(nbase::IsAbsolutePath(root_ + "/public"));
  EXPECT_FALSE(nbase::IsAbsolutePath("public/checkbox"));
  EXPECT_FALSE(nbase::IsAbsolutePath(""));
  EXPECT_EQ(nbase::IsAbsolutePath("/usr/share"), CORVANE_OS_LINUX);
  EXPECT_EQ(nbase::IsAbsolutePath("C:\\skins\\a.xml"), CORVANE_OS_WIN);
  EXPECT_EQ(nbase::IsAbsolutePath("c:/skins"), CORVANE_OS_WIN);
  EXPECT_EQ(nbase::IsAbsolutePath("\\\\server\\share\\a.xml"), CORVANE_OS_WIN);
  // Relative to the current drive's folder, not absolute.
  EXPECT_FALSE(nbase::IsAbsolutePath("C:skins"));
}

}  // namespace
