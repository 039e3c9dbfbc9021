#include <gtest/gtest.h>
#include <unzip.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

// The archive is made at build time by the zip tool from two files beside
// it (tests/CMakeLists.txt): "stored.txt" kept as it is, "Deflated.XML"
// compressed. Paths are relative to the test's working folder, the build's
// tests folder, on both targets.
constexpr char kArchive[] = "minizip_fixture/fixture.zip";

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Reads the entry `name` (found ignoring case) whole; empty when missing.
std::string ReadEntry(unzFile archive, const char* name, int* method) {
  if (unzLocateFile(archive, name, 2) != UNZ_OK) return "";
  unz_file_info64 info;
  if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return "";
  }
  *method = static_cast<int>(info.compression_method);
  if (unzOpenCurrentFile(archive) != UNZ_OK) return "";
  std::string data(static_cast<size_t>(info.uncompressed_size), '\0');
  const int read = unzReadCurrentFile(archive, data.data(), static_cast<unsigned>(data.size()));
  // A wrong CRC shows here, at the close.
  const int closed = unzCloseCurrentFile(archive);
  if (read != static_cast<int>(data.size()) || closed != UNZ_OK) return "";
  return data;
}

TEST(MinizipTest, ReadsStoredAndDeflatedEntriesByCaseInsensitiveName) {
  unzFile archive = unzOpen64(kArchive);
  ASSERT_NE(archive, nullptr);
  unz_global_info64 global;
  ASSERT_EQ(unzGetGlobalInfo64(archive, &global), UNZ_OK);
  EXPECT_EQ(global.number_entry, 2u);

  int method = -1;
  EXPECT_EQ(ReadEntry(archive, "STORED.TXT", &method), ReadFile("minizip_fixture/stored.txt"));
  EXPECT_EQ(method, 0);
  const std::string deflated = ReadEntry(archive, "deflated.xml", &method);
  EXPECT_EQ(deflated, ReadFile("minizip_fixture/Deflated.XML"));
  EXPECT_FALSE(deflated.empty());
  EXPECT_EQ(method, Z_DEFLATED);
  EXPECT_EQ(unzLocateFile(archive, "missing.png", 2), UNZ_END_OF_LIST_OF_FILE);
  EXPECT_EQ(unzClose(archive), UNZ_OK);
}

}  // namespace
