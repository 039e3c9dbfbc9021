#include "ui/core/global_manager.h"

#include <gtest/gtest.h>
#include <unzip.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/string_util.h"
#include "ui/builder/window_builder.h"

namespace ui {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

using Entries = std::vector<std::pair<std::string, std::string>>;

fs::path MakeTempDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path dir =
      fs::temp_directory_path() / (std::string("global_manager_") + info->test_suite_name() + "_" +
                                   info->name() + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Writes a real zip file with minizip and returns its bytes.
std::string MakeZip(const fs::path& file, const Entries& entries, int method = Z_DEFLATED) {
  // minizip opens narrow names (the ANSI code page on Windows).
  zipFile zf = zipOpen64(file.string().c_str(), APPEND_STATUS_CREATE);
  EXPECT_NE(zf, nullptr);
  for (const auto& [name, data] : entries) {
    zip_fileinfo info{};
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    EXPECT_EQ(
        zipOpenNewFileInZip3_64(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                method == 0 ? 0 : Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS,
                                DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, crc, 0),
        ZIP_OK);
    EXPECT_EQ(zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
    EXPECT_EQ(zipCloseFileInZip(zf), ZIP_OK);
  }
  EXPECT_EQ(zipClose(zf, nullptr), ZIP_OK);
  return ReadFile(file);
}

class GlobalManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalManager::Shutdown();
    dir_ = MakeTempDir();
  }
  void TearDown() override {
    GlobalManager::Shutdown();
    fs::remove_all(dir_);
  }
  fs::path dir_;
};

// ------------------------------------------------------------- colours, classes

TEST_F(GlobalManagerTest, ColoursAndDefaultNames) {
  EXPECT_EQ(GlobalManager::GetDefaultColorName(), L"textdefaultcolor");
  EXPECT_EQ(GlobalManager::GetDefaultDisabledColorName(), L"textdefaultdisablecolor");

  EXPECT_FALSE(GlobalManager::HasTextColor(L"undefined"));
  EXPECT_EQ(GlobalManager::GetTextColor(L"undefined"), 0u);
  EXPECT_TRUE(GlobalManager::HasTextColor(L"undefined"));

  WindowBuilder builder;
  builder.Build(
      L"<Global defaultfontcolor=\"ink\" disabledfontcolor=\"ash\" linkfontcolor=\"link\">"
      L"<TextColor name=\"half\" value=\"#80000000\"/>"
      L"<TextColor name=\"blue\" value=\"#ff006DD9\"/>"
      L"<TextColor name=\"blue\" value=\"#ff0000ff\"/>"
      L"<TextColor name=\"wide\" value=\"#fffffffff\"/>"
      L"<TextColor name=\"empty\" value=\"\"/>"
      L"<TextColor name=\"novalue\"/>"
      L"<Class name=\"c\" value=\"font=&quot;2&quot;\"/><Class name=\"\" value=\"x\"/>"
      L"<Class name=\"c2\" value=\"a\"/><Class name=\"c2\" value=\"b\"/>"
      L"<Image name=\"ignored\"/></Global>");
  EXPECT_EQ(GlobalManager::GetTextColor(L"half"), 0x80000000u);
  EXPECT_EQ(GlobalManager::GetTextColor(L"blue"), 0xff0000ffu);  // later value wins
  EXPECT_EQ(GlobalManager::GetTextColor(L"wide"), 0xffffffffu);
  EXPECT_EQ(GlobalManager::GetTextColor(L"empty"), 0u);
  EXPECT_FALSE(GlobalManager::HasTextColor(L"novalue"));
  EXPECT_TRUE(GlobalManager::HasTextColor(L"link"));
  EXPECT_EQ(GlobalManager::GetDefaultColorName(), L"ink");
  EXPECT_EQ(GlobalManager::GetDefaultDisabledColorName(), L"ash");
  EXPECT_EQ(GlobalManager::GetClass(L"c"), L"font=\"2\"");
  EXPECT_EQ(GlobalManager::GetClass(L"c2"), L"b");
  EXPECT_EQ(GlobalManager::GetClass(L""), L"");
  EXPECT_EQ(GlobalManager::GetClass(L"nothing"), L"");
}

// ------------------------------------------------------------------- DPI, fonts

TEST_F(GlobalManagerTest, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(21, 150, 100), 32);
  EXPECT_EQ(MulDiv(-21, 150, 100), -32);
  EXPECT_EQ(MulDiv(5, 125, 100), 6);
  EXPECT_EQ(MulDiv(7, 125, 100), 9);
  EXPECT_EQ(MulDiv(3, 1, -2), -2);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(INT32_MAX, 2, 1), -1);
  EXPECT_EQ(MulDiv(INT32_MIN, 1, 1), INT32_MIN);
  EXPECT_EQ(MulDiv(144, 100, 96), 150);
  EXPECT_EQ(MulDiv(120, 100, 96), 125);
}

TEST_F(GlobalManagerTest, ScalingAt144Dpi) {
  UiRect rect(10, 10, 31, 31);
  GlobalManager::ScaleRectangle(rect);  // adaptation off: unchanged
  EXPECT_EQ(rect, UiRect(10, 10, 31, 31));

  GlobalManager::SetDPI(144);
  EXPECT_TRUE(GlobalManager::IsAdaptDPI());
  EXPECT_EQ(GlobalManager::GetDPIScale(), 150);
  GlobalManager::ScaleRectangle(rect);
  EXPECT_EQ(rect, UiRect(15, 15, 47, 47));
  int length = 21;
  GlobalManager::ScaleLength(length);
  EXPECT_EQ(length, 32);
  CSize size(400, 300);
  GlobalManager::ScaleSize(size);
  EXPECT_EQ(size, CSize(600, 450));

  ASSERT_TRUE(GlobalManager::AddFont(L"system", 12, false, false, false));
  const FontRecord* font = GlobalManager::GetFont(0);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->size, 18);
  EXPECT_NE(font->font, nullptr);

  GlobalManager::SetAdaptDPI(false);
  EXPECT_EQ(GlobalManager::GetScaledLength(21), 21);
}

TEST_F(GlobalManagerTest, ScalingARectWiderThanIntSaturatesItsFarSide) {
  // Skin rects are read clamped to int, so a width of nearly 2^32 is possible.
  GlobalManager::SetDPI(144);
  UiRect rect(-2000000000, -10, 2000000000, 10);
  GlobalManager::ScaleRectangle(rect);
  // The left side overflows as MulDiv does (-1); the width of 6e9 then pins
  // the right side instead of wrapping it to the left of the left side.
  EXPECT_EQ(rect, UiRect(-1, -15, INT32_MAX, 15));
  UiRect low(INT32_MIN, 0, INT32_MAX, 0);
  GlobalManager::SetDPIScale(50);
  GlobalManager::ScaleRectangle(low);
  EXPECT_EQ(low, UiRect(INT32_MIN / 2, 0, 1073741824, 0));
  GlobalManager::SetAdaptDPI(false);
}

TEST_F(GlobalManagerTest, FontRecords) {
  ASSERT_TRUE(GlobalManager::AddFont(L"system", 12, false, false, false));
  ASSERT_TRUE(GlobalManager::AddFont(L"arial", 14, true, true, false));
  ASSERT_TRUE(GlobalManager::AddFont(L"NoSuchFaceAnywhere", 16, false, false, true));
  EXPECT_EQ(GlobalManager::GetFontCount(), 3);
  EXPECT_EQ(GlobalManager::GetFont(3), nullptr);
  EXPECT_EQ(GlobalManager::GetFont(-1), nullptr);

  const FontRecord* system = GlobalManager::GetFont(0);
  EXPECT_EQ(system->face_name, L"system");
  EXPECT_EQ(system->size, 12);
  EXPECT_FALSE(system->bold);

  const FontRecord* arial = GlobalManager::GetFont(1);
  EXPECT_EQ(arial->face_name, L"arial");
  EXPECT_TRUE(arial->bold);
  EXPECT_TRUE(arial->underline);

  // A face the system does not know still has a font.
  const FontRecord* unknown = GlobalManager::GetFont(2);
  EXPECT_TRUE(unknown->italic);
  for (int id = 0; id < 3; ++id) EXPECT_NE(GlobalManager::GetFont(id)->font, nullptr) << id;

  GlobalManager::ClearFonts();
  EXPECT_EQ(GlobalManager::GetFontCount(), 0);
  EXPECT_EQ(GlobalManager::GetFont(0), nullptr);
}

TEST_F(GlobalManagerTest, StyleSheetFontsFollowDocumentOrder) {
  WindowBuilder builder;
  builder.Build(
      L"<Global><Font name=\"a\"/><Font size=\"30\"/><Font name=\"\" size=\"9\"/>"
      L"<Font name=\"b\" size=\"9\" bold=\"True\" italic=\"true\" underline=\"1\"/></Global>");
  ASSERT_EQ(GlobalManager::GetFontCount(), 2);
  EXPECT_EQ(GlobalManager::GetFont(0)->face_name, L"a");
  EXPECT_EQ(GlobalManager::GetFont(0)->size, 12);
  EXPECT_EQ(GlobalManager::GetFont(1)->face_name, L"b");
  EXPECT_EQ(GlobalManager::GetFont(1)->size, 9);
  EXPECT_FALSE(GlobalManager::GetFont(1)->bold);
  EXPECT_TRUE(GlobalManager::GetFont(1)->italic);
  EXPECT_FALSE(GlobalManager::GetFont(1)->underline);
}

// ----------------------------------------------------------- language strings

TEST_F(GlobalManagerTest, LanguageLineRules) {
  const std::string data(
      "\xEF\xBB\xBF"
      "FIRST=first line after the mark\n"
      ";STRING_OK=commented\n"
      "  \tSTRING_OK \t=\t 确定  \r\n"
      "TWO==adjacent separators\n"
      "THREE=a=b\n"
      "NOEQUALS\n"
      "\n"
      "KEY;X=semicolon in key\n"
      "LINES=one\\r\\ntwo\\nthree\n"
      "=novalue\n"
      "nokey=\n"
      "AFTER_ZERO=z\0ZERO=after a zero byte\n"
      "STRING_OK=replaced"s);
  GlobalManager::LoadLanguageData(data);
  EXPECT_EQ(GlobalManager::GetLanguageString(L"FIRST"), L"first line after the mark");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"STRING_OK"), L"replaced");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"TWO"), L"adjacent separators");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"THREE"), L"");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"NOEQUALS"), L"");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"KEY;X"), L"");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"LINES"), L"one\r\ntwo\nthree");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"nokey"), L"");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"AFTER_ZERO"), L"z");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"ZERO"), L"after a zero byte");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"string_ok"), L"");
  EXPECT_EQ(GlobalManager::GetLanguageString(L""), L"");
}

TEST_F(GlobalManagerTest, LanguageFileFromDisk) {
  WriteFile(dir_ / "gdstrings.ini", "\xEF\xBB\xBF;comment\r\nSTRING_CANCEL = 取消\r\n");
  EXPECT_TRUE(GlobalManager::LoadLanguageFile((dir_ / "gdstrings.ini").wstring()));
  EXPECT_EQ(GlobalManager::GetLanguageString(L"STRING_CANCEL"), L"取消");
  EXPECT_FALSE(GlobalManager::LoadLanguageFile((dir_ / "missing.ini").wstring()));
  EXPECT_EQ(GlobalManager::GetLanguageString(L"STRING_CANCEL"), L"取消");
}

// -------------------------------------------------------------------- archive

TEST_F(GlobalManagerTest, ArchivePathNormalisation) {
  EXPECT_EQ(GlobalManager::NormalizeArchivePath(
                L"resources/themes/default/basic/../public/bk/bk_shadow.png"),
            L"resources/themes/default/public/bk/bk_shadow.png");
  EXPECT_EQ(GlobalManager::NormalizeArchivePath(L"/resources\\themes\\\\default\\global.xml"),
            L"resources/themes/default/global.xml");
  EXPECT_EQ(GlobalManager::NormalizeArchivePath(L"./a/./b/../../c.png"), L"c.png");
  EXPECT_EQ(GlobalManager::NormalizeArchivePath(L"../../x/y"), L"x/y");
  EXPECT_EQ(GlobalManager::NormalizeArchivePath(L"a/b/"), L"a/b/");
  EXPECT_EQ(GlobalManager::NormalizeArchivePath(L""), L"");
}

TEST_F(GlobalManagerTest, ArchiveEntriesAndStatuses) {
  EXPECT_FALSE(GlobalManager::CloseArchive());
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveNotOpen);
  EXPECT_FALSE(GlobalManager::ReadArchiveEntry(L"a").has_value());

  const std::string big(100000, 'q');
  std::string zip =
      MakeZip(dir_ / "t.zip", {{"resources/themes/default/public/checkbox/check.png", "PNGDATA"},
                               {"resources/themes/default/global.xml", "<Global/>"},
                               {"big.bin", big},
                               {"中文/名字.txt", "unicode name"}});
  ASSERT_TRUE(GlobalManager::OpenArchive(zip.data(), zip.size(), ""));
  zip.assign(zip.size(), '\0');  // the manager keeps its own copy
  EXPECT_TRUE(GlobalManager::IsUseZip());
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveOk);

  // The skins name the folder "CheckBox"; the archive stores "checkbox".
  auto upper = GlobalManager::ReadArchiveEntry(
      L"resources/themes/default/basic/../public/CheckBox/check.png");
  auto lower =
      GlobalManager::ReadArchiveEntry(L"resources\\themes\\default\\public\\checkbox\\check.png");
  ASSERT_TRUE(upper.has_value());
  ASSERT_TRUE(lower.has_value());
  EXPECT_EQ(*upper, "PNGDATA");
  EXPECT_EQ(*upper, *lower);
  EXPECT_EQ(GlobalManager::ReadArchiveEntry(L"/resources/themes/default/global.xml").value_or(""),
            "<Global/>");
  EXPECT_EQ(GlobalManager::ReadArchiveEntry(L"big.bin").value_or(""), big);
  EXPECT_EQ(GlobalManager::ReadArchiveEntry(L"中文/名字.txt").value_or(""), "unicode name");
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveOk);

  EXPECT_FALSE(GlobalManager::ReadArchiveEntry(L"resources/missing.png").has_value());
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveEntryNotFound);
  EXPECT_FALSE(GlobalManager::ReadArchiveEntry(std::wstring(300, L'a')).has_value());
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveEntryNotFound);

  EXPECT_TRUE(GlobalManager::CloseArchive());
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveOk);
  EXPECT_FALSE(GlobalManager::IsUseZip());
  EXPECT_FALSE(GlobalManager::CloseArchive());
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveNotOpen);
}

// Names that differ only in the case of ASCII letters are one entry to a
// lookup, and the first in the archive is the one found; other letters keep
// their case. Walking the archive in between does not lose the place.
TEST_F(GlobalManagerTest, ArchiveLookupsIgnoreAsciiCaseAndFindTheFirstOfEqualNames) {
  const std::string zip = MakeZip(dir_ / "c.zip", {{"skin/Dup.TXT", "first"},
                                                   {"skin/dup.txt", "second"},
                                                   {"skin/Äpfel.txt", "upper umlaut"},
                                                   {"skin/z.txt", "last"}});
  ASSERT_TRUE(GlobalManager::OpenArchive(zip.data(), zip.size(), ""));
  for (const wchar_t* name : {L"skin/dup.txt", L"SKIN/DUP.TXT", L"skin/dUp.Txt"}) {
    EXPECT_EQ(GlobalManager::ReadArchiveEntry(name).value_or(""), "first") << name;
  }
  EXPECT_EQ(GlobalManager::ReadArchiveEntry(L"skin/Äpfel.txt").value_or(""), "upper umlaut");
  EXPECT_EQ(GlobalManager::ReadArchiveEntry(L"SKIN/Äpfel.TXT").value_or(""), "upper umlaut");
  EXPECT_FALSE(GlobalManager::ReadArchiveEntry(L"skin/äpfel.txt").has_value());
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveEntryNotFound);

  EXPECT_EQ(GlobalManager::ListArchiveEntries(L"skin/").size(), 4u);
  EXPECT_EQ(GlobalManager::ReadArchiveEntry(L"skin/z.txt").value_or(""), "last");
  EXPECT_EQ(GlobalManager::ReadArchiveEntry(L"skin/DUP.txt").value_or(""), "first");
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveOk);

  // Another archive brings its own names.
  const std::string other = MakeZip(dir_ / "o.zip", {{"skin/DUP.txt", "other"}});
  ASSERT_TRUE(GlobalManager::OpenArchive(other.data(), other.size(), ""));
  EXPECT_EQ(GlobalManager::ReadArchiveEntry(L"skin/dup.txt").value_or(""), "other");
  EXPECT_FALSE(GlobalManager::ReadArchiveEntry(L"skin/z.txt").has_value());
}

TEST_F(GlobalManagerTest, BrokenArchivesAreReportedNotTrusted) {
  const std::string junk = "this is not a zip archive at all";
  EXPECT_FALSE(GlobalManager::OpenArchive(junk.data(), junk.size(), ""));
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveOpenFailed);
  EXPECT_FALSE(GlobalManager::IsUseZip());
  EXPECT_FALSE(GlobalManager::OpenArchive(nullptr, 0, ""));
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), GlobalManager::kArchiveOpenFailed);

  // A stored entry whose bytes were damaged fails its CRC check.
  std::string zip = MakeZip(dir_ / "s.zip", {{"entry.txt", "ORIGINAL-CONTENT"}}, 0);
  const size_t at = zip.find("ORIGINAL-CONTENT");
  ASSERT_NE(at, std::string::npos);
  zip[at] = 'X';
  ASSERT_TRUE(GlobalManager::OpenArchive(zip.data(), zip.size(), ""));
  EXPECT_FALSE(GlobalManager::ReadArchiveEntry(L"entry.txt").has_value());
  EXPECT_EQ(GlobalManager::GetArchiveStatus(), static_cast<uint32_t>(UNZ_CRCERROR));

  // Opening another archive replaces the first.
  const std::string good = MakeZip(dir_ / "g.zip", {{"other.txt", "fine"}});
  ASSERT_TRUE(GlobalManager::OpenArchive(good.data(), good.size(), ""));
  EXPECT_EQ(GlobalManager::ReadArchiveEntry(L"other.txt").value_or(""), "fine");
  EXPECT_FALSE(GlobalManager::ReadArchiveEntry(L"entry.txt").has_value());
}

TEST_F(GlobalManagerTest, PasswordIsOnlyUsedForEncryptedEntries) {
  const std::string zip = MakeZip(dir_ / "p.zip", {{"plain.txt", "open words"}});
  ASSERT_TRUE(GlobalManager::OpenArchive(zip.data(), zip.size(), "pw"));
  EXPECT_EQ(GlobalManager::ReadArchiveEntry(L"plain.txt").value_or(""), "open words");
}

// --------------------------------------------------------------------- images

TEST_F(GlobalManagerTest, ImagesComeFromTheInstalledLoaderWithNormalisedKeys) {
  EXPECT_EQ(GlobalManager::GetImage(L"a.png"), nullptr);
  std::vector<std::wstring> keys;
  GlobalManager::SetImageLoader([&keys](const std::wstring& key) {
    keys.push_back(key);
    return std::shared_ptr<ImageInfo>();
  });
  GlobalManager::GetImage(L"themes\\default\\\\basic/../public/a.png");
  const std::string zip = MakeZip(dir_ / "i.zip", {{"x", "y"}});
  ASSERT_TRUE(GlobalManager::OpenArchive(zip.data(), zip.size(), ""));
  GlobalManager::GetImage(L"themes\\default\\\\basic/../public/a.png");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], L"themes/default/basic/../public/a.png");
  EXPECT_EQ(keys[1], L"themes/default/public/a.png");
}

// ------------------------------------------------------------------- start-up

const char kSheet[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Global defaultfontcolor=\"darkcolor\">\n"
    "  <Font name=\"system\" size=\"12\"/>\n"
    "  <Font name=\"arial\" size=\"14\" bold=\"true\"/>\n"
    "  <TextColor name=\"darkcolor\" value=\"#ff333333\"/>\n"
    "  <Class name=\"font_title\" value=\"font=&quot;1&quot;\"/>\n"
    "</Global>\n";
const char kStrings[] = "\xEF\xBB\xBF;strings\r\nSTRING_OK = 确定\r\n";

void ExpectSheetAndStringsLoaded() {
  ASSERT_EQ(GlobalManager::GetFontCount(), 2);
  EXPECT_EQ(GlobalManager::GetFont(1)->face_name, L"arial");
  EXPECT_TRUE(GlobalManager::GetFont(1)->bold);
  EXPECT_EQ(GlobalManager::GetTextColor(L"darkcolor"), 0xff333333u);
  EXPECT_EQ(GlobalManager::GetDefaultColorName(), L"darkcolor");
  EXPECT_EQ(GlobalManager::GetClass(L"font_title"), L"font=\"1\"");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"STRING_OK"), L"确定");
  // Without an open display the screen counts as 96 DPI.
  EXPECT_TRUE(GlobalManager::IsAdaptDPI());
  EXPECT_EQ(GlobalManager::GetDPIScale(), MulDiv(GlobalManager::GetSystemDPI(), 100, 96));
}

TEST_F(GlobalManagerTest, InitializeFromAFolder) {
  WriteFile(dir_ / "resources/themes/default/global.xml", kSheet);
  WriteFile(dir_ / "resources/lang/zh_CN/gdstrings.ini", kStrings);
  int hook_calls = 0;
  GlobalManager::Initialize((dir_ / "resources").wstring() + L"/",
                            [&hook_calls](const std::wstring&) -> Control* {
                              ++hook_calls;
                              return nullptr;
                            },
                            false, L"themes\\default", L"lang\\zh_CN");
  // The root is kept with "/" between its parts, whatever the platform wrote.
  EXPECT_EQ(GlobalManager::GetResourceRoot(),
            (dir_ / "resources/themes/default/").generic_wstring());
  ExpectSheetAndStringsLoaded();
  ASSERT_TRUE(GlobalManager::GetCreateControlCallback());
  GlobalManager::GetCreateControlCallback()(L"Custom");
  EXPECT_EQ(hook_calls, 1);
}

TEST_F(GlobalManagerTest, InitializeFromTheArchive) {
  const std::string zip =
      MakeZip(dir_ / "theme.zip", {{"resources/themes/default/global.xml", kSheet},
                                   {"resources/lang/zh_CN/gdstrings.ini", kStrings}});
  ASSERT_TRUE(GlobalManager::OpenArchive(zip.data(), zip.size(), ""));
  // Relative to a directory where none of these files exist on disk.
  GlobalManager::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"lang\\zh_CN");
  EXPECT_EQ(GlobalManager::GetResourceRoot(), L"resources/themes/default/");
  ExpectSheetAndStringsLoaded();
}

TEST_F(GlobalManagerTest, InitializeWithoutStyleSheetLeavesTablesEmpty) {
  GlobalManager::Initialize((dir_ / "nothing").wstring(), nullptr, false, L"/themes/default",
                            L"/lang/zh_CN");
  EXPECT_EQ(GlobalManager::GetFontCount(), 0);
  EXPECT_EQ(GlobalManager::GetTextColor(L"darkcolor"), 0u);
  EXPECT_EQ(GlobalManager::GetClass(L"font_title"), L"");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"STRING_OK"), L"");
}

TEST_F(GlobalManagerTest, ResourceRootEndsWithOneSlash) {
  GlobalManager::SetResourceRoot(L"resources\\themes\\default");
  EXPECT_EQ(GlobalManager::GetResourceRoot(), L"resources/themes/default/");
  GlobalManager::SetResourceRoot(L"/abs/path/");
  EXPECT_EQ(GlobalManager::GetResourceRoot(), L"/abs/path/");
  GlobalManager::SetResourceRoot(L"");
  EXPECT_EQ(GlobalManager::GetResourceRoot(), L"");
}

// ----------------------------------------------------------- shipped style sheet

// name="value" pairs of a class's attribute list.
std::map<std::wstring, std::wstring> ParseAttributeList(const std::wstring& text) {
  std::map<std::wstring, std::wstring> out;
  size_t pos = 0;
  while (true) {
    const size_t eq = text.find(L"=\"", pos);
    if (eq == std::wstring::npos) break;
    const size_t close = text.find(L'"', eq + 2);
    if (close == std::wstring::npos) break;
    const std::wstring name = text.substr(pos, eq - pos);
    out[std::wstring(nbase::StringTokenize(name, L" \t\r\n").at(0))] =
        text.substr(eq + 2, close - eq - 2);
    pos = close + 1;
  }
  return out;
}

struct ShippedFont {
  const wchar_t* face;
  int size;
  bool bold;
  bool underline;
};

TEST_F(GlobalManagerTest, ShippedStyleSheetHasEveryTabledFontColourAndClass) {
  const fs::path themes = fs::path(CORVANE_SOURCE_DIR) / "resources" / "themes";
  GlobalManager::SetResourceRoot((themes / "default").wstring());
  WindowBuilder builder;
  builder.Build(L"global.xml");
  ASSERT_STREQ(builder.GetMarkup()->GetLastErrorMessage(), L"");

  std::vector<ShippedFont> fonts;
  for (bool bold : {false, true}) {
    for (int size : {10, 12, 14, 16, 18}) fonts.push_back({L"system", size, bold, false});
  }
  for (bool bold : {false, true}) {
    for (int size : {10, 12, 14, 16, 18}) fonts.push_back({L"arial", size, bold, false});
  }
  fonts.insert(fonts.end(), {{L"system", 20, false, false},
                             {L"system", 20, true, false},
                             {L"system", 22, false, false},
                             {L"system", 22, true, false},
                             {L"system", 12, false, true},
                             {L"system", 24, false, false},
                             {L"system", 14, false, true},
                             {L"system", 16, false, true},
                             {L"system", 32, false, false}});
  ASSERT_EQ(GlobalManager::GetFontCount(), static_cast<int>(fonts.size()));
  for (size_t id = 0; id < fonts.size(); ++id) {
    const FontRecord* font = GlobalManager::GetFont(static_cast<int>(id));
    EXPECT_EQ(font->face_name, fonts[id].face) << id;
    EXPECT_EQ(font->size, fonts[id].size) << id;
    EXPECT_EQ(font->bold, fonts[id].bold) << id;
    EXPECT_EQ(font->underline, fonts[id].underline) << id;
    EXPECT_FALSE(font->italic) << id;
  }

  const std::map<std::wstring, uint32_t> colours = {
      {L"white", 0xffffffff},
      {L"black", 0xff000000},
      {L"darkcolor", 0xff333333},
      {L"lightcolor", 0xff888888},
      {L"gray", 0xff8e99a6},
      {L"light_gray", 0xffa8a8a8},
      {L"dark_gray", 0xff72797f},
      {L"green", 0xff00bb96},
      {L"light_green", 0xff21c7a6},
      {L"blue", 0xff006dd9},
      {L"red", 0xffc63535},
      {L"textdefaultcolor", 0xff333333},
      {L"textdefaultdisablecolor", 0xffa1aebc},
      {L"bk_main_wnd_title", 0xff238efa},
      {L"bk_main_wnd_search", 0xff1e7ad7},
      {L"bk_wnd_darkcolor", 0xfff0f2f5},
      {L"bk_menuitem_hovered", 0xffe1e6eb},
      {L"bk_menuitem_selected", 0xffced4db},
      {L"bk_listitem_hovered", 0xfff0f2f5},
      {L"bk_listitem_selected", 0xffe4e7eb},
      {L"bk_topitem_normal", 0xffffffe0},
      {L"bk_topitem_hovered", 0xffffffeb},
      {L"bk_topitem_selected", 0xfffafacd},
      {L"bk_progress_bk", 0xffe3ecf5},
      {L"bk_progress_progress", 0xff2aceae},
      {L"transbkblack", 0x80000000},
      {L"splitline_level1", 0xffd2d4d6},
      {L"splitline_level2", 0xffebedf0},
      {L"color_palette1", 0xffff2600},
      {L"color_palette2", 0xffffeb00},
      {L"color_palette3", 0xff61ed00},
      {L"color_palette4", 0xff00b4ff},
      {L"color_palette5", 0xffa100ff},
      {L"color_palette6", 0xff000000},
      {L"color_palette7", 0xff545454},
      {L"color_palette8", 0xffa8a8a8},
      {L"color_palette9", 0xffffffff},
      {L"bk_color_mainwnd", 0xfff4f8f9},
      {L"text_color_666", 0xff666666},
      {L"text_color_333", 0xff333333},
      {L"bk_wnd_lightcolor", 0xffffffff},
  };
  for (const auto& [name, argb] : colours) {
    EXPECT_TRUE(GlobalManager::HasTextColor(name)) << nbase::WideToUTF8(name);
    EXPECT_EQ(GlobalManager::GetTextColor(name), argb) << nbase::WideToUTF8(name);
  }
  EXPECT_EQ(GlobalManager::GetDefaultColorName(), L"textdefaultcolor");
  EXPECT_EQ(GlobalManager::GetDefaultDisabledColorName(), L"textdefaultdisablecolor");

  const std::wstring blue = L"file='../public/button/btn_global_blue_80x30_";
  const std::wstring white = L"file='../public/button/btn_global_white_80x30_";
  const std::wstring gray_close = L"file='../public/button/btn_wnd_gray_close";
  const std::wstring check = L"file='../public/CheckBox/check";
  const std::map<std::wstring, std::map<std::wstring, std::wstring>> classes = {
      {L"font_title", {{L"font", L"2"}}},
      {L"font_normal", {{L"font", L"2"}, {L"normaltextcolor", L"text_color_666"}}},
      {L"caption",
       {{L"height", L"34"},
        {L"bkimage", L"file='../public/caption/caption_public.png' corner='0,0,0,1'"},
        {L"padding", L"10,0,5,0"}}},
      {L"btn_global_blue_80x30",
       {{L"font", L"7"},
        {L"normaltextcolor", L"white"},
        {L"normalimage", blue + L"normal.png' corner='8,8,8,8'"},
        {L"hotimage", blue + L"hovered.png' corner='8,8,8,8'"},
        {L"pushedimage", blue + L"pushed.png' corner='8,8,8,8'"},
        {L"disabledimage", blue + L"normal.png' corner='8,8,8,8' fade='80'"}}},
      {L"btn_global_white_80x30",
       {{L"font", L"7"},
        {L"normaltextcolor", L"dark_gray"},
        {L"normalimage", white + L"normal.png'"},
        {L"hotimage", white + L"hovered.png'"},
        {L"pushedimage", white + L"pushed.png'"},
        {L"disabledimage", white + L"normal.png' fade='128'"}}},
      {L"btn_wnd_close",
       {{L"width", L"20"},
        {L"height", L"20"},
        {L"normalimage", gray_close + L".png' dest='4,4,16,16'"},
        {L"hotimage", gray_close + L"_hover.png' dest='4,4,16,16'"},
        {L"pushedimage", gray_close + L"_hover.png' dest='4,4,16,16'"},
        {L"fadehot", L"false"}}},
      {L"btn_wnd_white_close",
       {{L"width", L"24"},
        {L"height", L"24"},
        {L"forenormalimage", L"file='../public/button/btn_wnd_white_close.png'"},
        {L"normalimage", L""},
        {L"hotimage", L"../public/button/btn_wnd_white_close_hovered.png"},
        {L"pushedimage", L"../public/button/btn_wnd_white_close_pushed.png"}}},
      {L"checkbox_agree",
       {{L"height", L"16"},
        {L"textpadding", L"20,0,0,0"},
        {L"font", L"2"},
        {L"normaltextcolor", L"text_color_666"},
        {L"normalimage", check + L"_no.png' dest='0,0,16,16'"},
        {L"disabledimage", check + L"_no.png' dest='0,0,16,16' fade='80'"},
        {L"selectednormalimage", check + L".png' dest='0,0,16,16'"},
        {L"selecteddisabledimage", check + L".png' dest='0,0,16,16' fade='80'"}}},
      {L"progress_blue",
       {{L"valign", L"center"},
        {L"value", L"0"},
        {L"bkimage", L"../public/progress/progress_blue_bg.png"},
        {L"height", L"3"},
        {L"width", L"stretch"},
        {L"hor", L"true"},
        {L"max", L"100"},
        {L"min", L"0"},
        {L"progressimage", L"../public/progress/progress_blue_fg.png"}}},
      {L"splitline_hor_level1", {{L"bkcolor", L"splitline_level1"}, {L"height", L"1"}}},
  };
  for (const auto& [name, attributes] : classes) {
    EXPECT_EQ(ParseAttributeList(GlobalManager::GetClass(name)), attributes)
        << nbase::WideToUTF8(name);
  }
  for (const wchar_t* name :
       {L"vscrollbar", L"hscrollbar", L"btn_wnd_white_min", L"slider_green",
        L"splitline_hor_level2", L"splitline_ver_level1", L"simple", L"prompt"}) {
    EXPECT_FALSE(ParseAttributeList(GlobalManager::GetClass(name)).empty()) << name;
  }

  // The three themes share one style sheet.
  const std::string sheet = ReadFile(themes / "default" / "global.xml");
  EXPECT_EQ(ReadFile(themes / "default-hdpi" / "global.xml"), sheet);
  EXPECT_EQ(ReadFile(themes / "default-xhdpi" / "global.xml"), sheet);
}

TEST_F(GlobalManagerTest, ShippedLanguageFilesLoad) {
  const fs::path resources = fs::path(CORVANE_SOURCE_DIR) / "resources";
  ASSERT_TRUE(
      GlobalManager::LoadLanguageFile((resources / "lang" / "zh_CN" / "gdstrings.ini").wstring()));
  EXPECT_EQ(GlobalManager::GetLanguageString(L"STRING_OK"), L"确定");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"STRING_CANCEL"), L"取消");
  EXPECT_NE(GlobalManager::GetLanguageString(L"STRID_CEF_BROWSER_CLOSING"), L"");
  GlobalManager::ClearLanguageStrings();
  ASSERT_TRUE(
      GlobalManager::LoadLanguageFile((resources / "lang" / "en_US" / "gdstrings.ini").wstring()));
  EXPECT_EQ(GlobalManager::GetLanguageString(L"STRING_OK"), L"OK");
  EXPECT_EQ(GlobalManager::GetLanguageString(L"STRING_CANCEL"), L"Cancel");
}

}  // namespace
}  // namespace ui
