// Checks the skin archive as the installer ships it: the zip the build packs and
// the copy embedded in the installer binary.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <unzip.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/system/embedded_resource.h"

namespace {

const char* const kThemes[] = {"default", "default-hdpi", "default-xhdpi"};

struct Picture {
  const char* path;  // inside a theme folder
  int width[3];      // default, -hdpi, -xhdpi
  int height[3];
};

// Pictures drawn at layout size exist at 100, 125 and 150 %; the others are
// the same in every theme.
constexpr Picture Scaled(const char* path, int w, int h) {
  return {path, {w, w * 5 / 4, w * 3 / 2}, {h, h * 5 / 4, h * 3 / 2}};
}
constexpr Picture Fixed(const char* path, int w, int h) {
  return {path, {w, w, w}, {h, h, h}};
}

const Picture kPictures[] = {
    Scaled("basic/bkg_top.png", 600, 256),
    Scaled("basic/logo.png", 80, 80),
    Scaled("basic/icon_down.png", 16, 16),
    Scaled("basic/icon_up.png", 16, 16),
    Fixed("msgbox/error.png", 22, 22),
    Fixed("msgbox/infor.png", 22, 22),
    Fixed("msgbox/ok.png", 22, 22),
    Fixed("msgbox/question.png", 22, 22),
    Fixed("msgbox/warning.png", 22, 22),
    Fixed("public/bk/bk_shadow.png", 68, 68),
    Fixed("public/bk/bg_image_mask.png", 500, 130),
    Fixed("public/button/btn_global_blue_80x30_normal.png", 80, 30),
    Fixed("public/button/btn_global_blue_80x30_hovered.png", 80, 30),
    Fixed("public/button/btn_global_blue_80x30_pushed.png", 80, 30),
    Fixed("public/button/btn_global_white_80x30_normal.png", 80, 30),
    Fixed("public/button/btn_global_white_80x30_hovered.png", 80, 30),
    Fixed("public/button/btn_global_white_80x30_pushed.png", 80, 30),
    Scaled("public/button/btn_wnd_gray_close.png", 12, 12),
    Scaled("public/button/btn_wnd_gray_close_hover.png", 12, 12),
    Scaled("public/button/btn_wnd_white_close.png", 24, 24),
    Scaled("public/button/btn_wnd_white_close_hovered.png", 24, 24),
    Scaled("public/button/btn_wnd_white_close_pushed.png", 24, 24),
    Fixed("public/button/btn_wnd_white_min.png", 20, 20),
    Fixed("public/button/btn_wnd_white_min_hovered.png", 20, 20),
    Fixed("public/button/btn_wnd_white_min_pushed.png", 20, 20),
    Fixed("public/caption/caption_public.png", 20, 34),
    Scaled("public/checkbox/check.png", 16, 16),
    Scaled("public/checkbox/check_no.png", 16, 16),
    Fixed("public/progress/progress_blue_bg.png", 420, 3),
    Fixed("public/progress/progress_blue_fg.png", 420, 3),
};

const char* const kLayouts[] = {"global.xml", "basic/basic.xml", "msgbox/msgbox.xml",
                                "shadow/shadow.xml"};

using Entries = std::map<std::string, std::string>;  // entry name -> uncompressed bytes

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Lists a zip held in memory. minizip opens paths, so the bytes pass through a
// private temporary file that is removed again at once.
std::optional<Entries> ListZip(const std::string& bytes) {
  gchar* tmp_path = nullptr;
  const int fd = g_file_open_tmp("corvane-theme-XXXXXX.zip", &tmp_path, nullptr);
  if (fd < 0) return std::nullopt;
  const std::string path = tmp_path;
  g_free(tmp_path);
  bool written = true;
  for (size_t done = 0; done < bytes.size() && written;) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  close(fd);

  std::optional<Entries> result;
  unzFile zip = written ? unzOpen64(path.c_str()) : nullptr;
  if (zip != nullptr) {
    Entries entries;
    bool ok = true;
    for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK && ok; rc = unzGoToNextFile(zip)) {
      unz_file_info64 info;
      char name[512];
      ok = unzGetCurrentFileInfo64(zip, &info, name, sizeof(name), nullptr, 0, nullptr, 0) ==
               UNZ_OK &&
           unzOpenCurrentFile(zip) == UNZ_OK;
      if (!ok) break;
      std::string data(info.uncompressed_size, '\0');
      const int read = data.empty() ? 0 : unzReadCurrentFile(zip, data.data(), data.size());
      ok = unzCloseCurrentFile(zip) == UNZ_OK && read == static_cast<int>(data.size());
      entries[name] = std::move(data);
    }
    unzClose(zip);
    if (ok) result = std::move(entries);
  }
  std::filesystem::remove(path);
  return result;
}

struct PixelSize {
  int width = -1;
  int height = -1;
  bool operator==(const PixelSize&) const = default;
};

std::ostream& operator<<(std::ostream& os, const PixelSize& s) {
  return os << s.width << "x" << s.height;
}

// Decodes with the same image library the renderer uses, so a file that only
// looks like a PNG fails here too.
std::optional<PixelSize> DecodePng(const std::string& bytes) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
  if (loader == nullptr) return std::nullopt;
  std::optional<PixelSize> size;
  const bool written = gdk_pixbuf_loader_write(
      loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), nullptr);
  // Closed in every case: a loader dropped open complains on stderr.
  const bool closed = gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf != nullptr) {
    size = PixelSize{gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf)};
  }
  g_object_unref(loader);
  return size;
}

std::string ThemeEntry(const std::string& theme, const std::string& path) {
  return "resources/themes/" + theme + "/" + path;
}

// Every file name that an image attribute in the text names: the "file" (or
// "res") of an attribute string, or the whole value when it is a bare name.
// Class values in the style sheet are entity-encoded; decoding the quotes first
// makes their inner pairs look like those of a layout.
std::vector<std::string> ImageFilesNamedIn(std::string text) {
  text = std::regex_replace(text, std::regex("&quot;"), "\"");
  std::vector<std::string> files;
  const std::regex attribute("([a-z0-9]*image)=\"([^\"]*)\"");
  const std::regex file_pair("(?:^|\\s)(?:file|res)='([^']*)'");
  for (std::sregex_iterator it(text.begin(), text.end(), attribute), end; it != end; ++it) {
    const std::string value = (*it)[2];
    std::smatch m;
    if (std::regex_search(value, m, file_pair)) {
      files.push_back(m[1]);
    } else if (!value.empty() && value.find('=') == std::string::npos) {
      files.push_back(value);
    }
  }
  return files;
}

// Resolves a skin path against a layout folder the way the archive lookup
// does: "../" drops the segment before it.
std::string ResolveSkinPath(const std::string& folder, const std::string& file) {
  std::vector<std::string> parts;
  std::stringstream in(folder + "/" + file);
  for (std::string seg; std::getline(in, seg, '/');) {
    if (seg.empty() || seg == ".") continue;
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(seg);
    }
  }
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

// The whole check of a shipped archive; failures name the entry at fault.
void ExpectCompleteThemeArchive(const Entries& entries) {
  ASSERT_FALSE(entries.empty());
  for (const auto& [name, data] : entries) {
    EXPECT_EQ(name.rfind("resources/", 0), 0u) << name;
  }

  for (const Picture& picture : kPictures) {
    for (int t = 0; t < 3; ++t) {
      const std::string entry = ThemeEntry(kThemes[t], picture.path);
      auto it = entries.find(entry);
      if (it == entries.end()) {
        ADD_FAILURE() << "missing " << entry;
        continue;
      }
      const auto size = DecodePng(it->second);
      ASSERT_TRUE(size.has_value()) << entry << " does not decode as PNG";
      EXPECT_EQ(*size, (PixelSize{picture.width[t], picture.height[t]})) << entry;
    }
  }

  for (const char* layout : kLayouts) {
    auto first = entries.find(ThemeEntry(kThemes[0], layout));
    ASSERT_NE(first, entries.end()) << "missing " << ThemeEntry(kThemes[0], layout);
    EXPECT_NE(first->second.find('<'), std::string::npos) << first->first;
    for (int t = 1; t < 3; ++t) {
      auto other = entries.find(ThemeEntry(kThemes[t], layout));
      ASSERT_NE(other, entries.end()) << "missing " << ThemeEntry(kThemes[t], layout);
      EXPECT_TRUE(other->second == first->second)
          << other->first << " differs from " << first->first;
    }
  }

  // Every picture a layout or a class names must be found, letter case aside
  // (the agreement box's class writes "CheckBox", the archive "checkbox").
  std::map<std::string, std::string> lower_names;
  for (const auto& [name, data] : entries) lower_names[Lower(name)] = name;
  for (const char* theme : kThemes) {
    for (const char* layout : kLayouts) {
      auto it = entries.find(ThemeEntry(theme, layout));
      if (it == entries.end()) continue;
      // Classes are applied inside layouts one folder below the theme.
      const std::string layout_path = layout;
      const std::string folder = layout_path.find('/') == std::string::npos
                                     ? "basic"
                                     : layout_path.substr(0, layout_path.rfind('/'));
      for (const std::string& file : ImageFilesNamedIn(it->second)) {
        const std::string entry = ThemeEntry(theme, ResolveSkinPath(folder, file));
        EXPECT_TRUE(lower_names.count(Lower(entry)))
            << layout << " in " << theme << " names " << file << ", not in the archive";
      }
    }
  }

  for (const char* lang : {"en_US", "zh_CN"}) {
    const std::string entry = std::string("resources/lang/") + lang + "/gdstrings.ini";
    auto it = entries.find(entry);
    ASSERT_NE(it, entries.end()) << "missing " << entry;
    EXPECT_EQ(it->second.rfind("\xEF\xBB\xBF", 0), 0u) << entry << " lacks the byte-order mark";
  }
}

std::optional<Entries> PackedArchive() {
  const auto bytes = ReadFile(CORVANE_BINARY_DIR "/resources/theme.zip");
  if (!bytes) return std::nullopt;
  return ListZip(*bytes);
}

TEST(ThemeArchiveTest, PackedArchiveHoldsEveryThemeFileAtItsSize) {
  const auto entries = PackedArchive();
  ASSERT_TRUE(entries.has_value()) << "cannot read " CORVANE_BINARY_DIR "/resources/theme.zip";
  ExpectCompleteThemeArchive(*entries);
}

TEST(ThemeArchiveTest, PackedArchiveMatchesTheSourceTree) {
  const auto entries = PackedArchive();
  ASSERT_TRUE(entries.has_value());
  // Every source file is packed under its own name with its own bytes, and
  // nothing but the themes and the language files goes in.
  const std::filesystem::path root = CORVANE_SOURCE_DIR "/resources";
  size_t files = 0;
  for (const char* top : {"themes", "lang"}) {
    for (const auto& f : std::filesystem::recursive_directory_iterator(root / top)) {
      if (!f.is_regular_file()) continue;
      ++files;
      const std::string name =
          "resources/" + std::filesystem::relative(f.path(), root).generic_string();
      auto it = entries->find(name);
      ASSERT_NE(it, entries->end()) << "not packed: " << name;
      EXPECT_TRUE(it->second == ReadFile(f.path().string())) << "stale: " << name;
    }
  }
  size_t packed_files = 0;
  for (const auto& [name, data] : *entries) {
    if (name.back() != '/') ++packed_files;
  }
  EXPECT_EQ(packed_files, files);
}

TEST(ThemeArchiveTest, LanguageFilesCarryTheirStrings) {
  const auto entries = PackedArchive();
  ASSERT_TRUE(entries.has_value());
  // Parsed the way the resource manager reads them: one "=" per kept line,
  // both sides trimmed, keys with ";" are comments.
  auto parse = [](const std::string& text) {
    std::map<std::string, std::string> strings;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
      const auto eq = line.find('=');
      if (eq == std::string::npos || line.find('=', eq + 1) != std::string::npos) continue;
      auto trim = [](std::string s) {
        const auto b = s.find_first_not_of(" \t\r");
        const auto e = s.find_last_not_of(" \t\r");
        return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
      };
      const std::string key = trim(line.substr(0, eq));
      if (key.empty() || key.find(';') != std::string::npos) continue;
      strings[key] = trim(line.substr(eq + 1));
    }
    return strings;
  };
  const auto en = parse(entries->at("resources/lang/en_US/gdstrings.ini"));
  const auto zh = parse(entries->at("resources/lang/zh_CN/gdstrings.ini"));
  EXPECT_EQ(en.at("STRING_OK"), "OK");
  EXPECT_EQ(en.at("STRING_CANCEL"), "Cancel");
  EXPECT_EQ(zh.at("STRING_OK"), "确定");
  EXPECT_EQ(zh.at("STRING_CANCEL"), "取消");
  const char* browser_keys[] = {
      "STRID_CEF_BROWSER_WINDOW_MODE",    "STRID_CEF_BROWSER_BACKWARD",
      "STRID_CEF_BROWSER_FORWARD",        "STRID_CEF_BROWSER_INPUT_ADDRESS",
      "STRID_CEF_BROWSER_BROWSE_TO",      "STRID_CEF_BROWSER_REFRESH",
      "STRID_CEF_BROWSER_HELLO_JS",       "STRID_CEF_BROWSER_INPUT_TEXT",
      "STRID_CEF_BROWSER_SEND_TO_JS",     "STRID_CEF_BROWSER_OFF_SCREEN_MODE",
      "STRID_CEF_BROWSER_RECEIVE_JS_MSG", "STRID_CEF_BROWSER_MULTI_TAB"};
  for (const char* key : browser_keys) {
    EXPECT_FALSE(en.count(key) == 0 || en.at(key).empty()) << "en_US " << key;
    EXPECT_FALSE(zh.count(key) == 0 || zh.at(key).empty()) << "zh_CN " << key;
  }
  EXPECT_FALSE(zh.count("STRID_CEF_BROWSER_CLOSING") == 0);
  EXPECT_EQ(en.size(), std::size(browser_keys) + 2);
  EXPECT_EQ(zh.size(), std::size(browser_keys) + 3);
}

TEST(ThemeArchiveTest, InstallerEmbedsTheCurrentArchive) {
  const std::string installer = CORVANE_BINARY_DIR "/app/corvane-installer";
  if (!std::filesystem::exists(installer)) {
    GTEST_SKIP() << installer << " is not built (app/main.cc absent); the packed zip is checked "
                 << "by the other ThemeArchiveTest cases";
  }
  const auto embedded = corvane::ReadElfSection(installer, corvane::ResourceSectionName("THEME"));
  ASSERT_TRUE(embedded.has_value()) << installer << " has no .rsrc.THEME section";
  const auto entries = ListZip(*embedded);
  ASSERT_TRUE(entries.has_value()) << "the embedded THEME resource is not a readable zip";
  ExpectCompleteThemeArchive(*entries);
  // A rebuilt archive must reach the binary, not only the build tree.
  EXPECT_TRUE(embedded == ReadFile(CORVANE_BINARY_DIR "/resources/theme.zip"))
      << "the embedded archive is older than resources/theme.zip";
}

}  // namespace
