#pragma once

// Skin resources below every layer that paints: the resource root or the
// in-memory archive, the DPI scale, fonts, named colours and the image hook.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/geometry/geometry.h"
#include "ui/resource/native_font.h"

namespace ui {

class ImageInfo;

// Loads (or finds in a cache) the decoded image for a normalised path.
using ImageLoader = std::function<std::shared_ptr<ImageInfo>(const std::wstring&)>;

// number * numerator / denominator in 64 bits, rounded to the nearest integer
// with halves away from zero; -1 when the denominator is 0 or the result does
// not fit in an int.
int MulDiv(int number, int numerator, int denominator);

struct FontRecord {
  std::unique_ptr<NativeFont> font;  // the platform's form, never null
  std::wstring face_name;            // as the skin wrote it ("system" stays "system")
  int size = 0;                      // character height in pixels, after DPI scaling
  bool bold = false;
  bool underline = false;  // not part of the platform's font: drawing applies it
  bool italic = false;
};

// Process-wide; UI thread only, no locks. GlobalManager adds the skin tables
// of the layers above.
class SkinResources {
 public:
  // Archive statuses (GetArchiveStatus).
  static constexpr uint32_t kArchiveOk = 0;
  static constexpr uint32_t kArchiveOpenFailed = 0x200;
  static constexpr uint32_t kArchiveEntryNotFound = 0x500;
  static constexpr uint32_t kArchiveNotOpen = 0x10000;
  static constexpr uint32_t kArchiveNotMemory = 0x80000;

  // The families that stand for the face name "system".
  static constexpr const char* kSystemFontFamilies =
      "Microsoft YaHei, WenQuanYi Micro Hei, Noto Sans CJK SC, sans-serif";

  // Resource root: always ends in "/" unless empty; "\" are turned into "/".
  static void SetResourceRoot(const std::wstring& path);
  static const std::wstring& GetResourceRoot();

  // In-memory zip archive. The bytes are copied, so the caller may free them.
  static bool OpenArchive(const void* data, size_t size, const std::string& password);
  static bool CloseArchive();
  static bool IsUseZip();
  static bool HasArchive() { return IsUseZip(); }
  static uint32_t GetArchiveStatus();
  // The uncompressed entry at `path` (normalised; letter case of ASCII ignored).
  static std::optional<std::string> ReadArchiveEntry(const std::wstring& path);
  // The paths of the archive's files that start with `prefix` (normalised,
  // letter case as given), in archive order.
  static std::vector<std::wstring> ListArchiveEntries(std::wstring_view prefix);
  // "\" to "/", no empty, "." or leading-"/" segments, "x/../" removed.
  static std::wstring NormalizeArchivePath(std::wstring_view path);

  // DPI. Lengths are scaled only while adaptation is on and the scale is not 100.
  static int GetDPIScale();
  static void SetDPIScale(int percent);
  static bool IsAdaptDPI();
  static void SetAdaptDPI(bool adapt);
  // Turns adaptation on with scale = dpi * 100 / 96.
  static void SetDPI(int dpi);
  // The screen resolution when a display is open, else 96.
  static int GetSystemDPI();
  static void ScaleLength(int& value);
  static int GetScaledLength(int value);
  static void ScaleRectangle(UiRect& rect);
  static void ScaleSize(CSize& size);

  // Fonts; ids are indices in the order added.
  static bool AddFont(const std::wstring& face_name, int size, bool bold, bool underline,
                      bool italic);
  static const FontRecord* GetFont(int id);
  static int GetFontCount();
  static void ClearFonts();

  // Named colours, ARGB. GetTextColor inserts an unknown name with 0.
  static void AddTextColor(const std::wstring& name, uint32_t argb);
  static uint32_t GetTextColor(const std::wstring& name);
  static bool HasTextColor(const std::wstring& name);
  static void ClearTextColors();
  static const std::wstring& GetDefaultColorName();
  static const std::wstring& GetDefaultDisabledColorName();
  static void SetDefaultColorName(const std::wstring& name);
  static void SetDefaultDisabledColorName(const std::wstring& name);

  // Images come from the hook the image cache installs; nullptr without one.
  static void SetImageLoader(ImageLoader loader);
  static std::wstring NormalizeImagePath(std::wstring_view path);
  static std::shared_ptr<ImageInfo> GetImage(const std::wstring& path);
  static bool HasImageLoader();

 protected:
  // Back to the state before any skin was loaded.
  static void ResetResources();
};

}  // namespace ui
