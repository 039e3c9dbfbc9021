#pragma once

// Shared by the basic control tests: named colours, pictures on disk and
// pixel counting over what a headless window presented.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "base/string_util.h"
#include "tests/ui/layout_test_support.h"
#include "tests/ui/temp_folder_test_support.h"
#include "ui/core/global_manager.h"
#include "ui/image/image_cache.h"

namespace ui::testing {

inline constexpr uint32_t kBasicWhite = 0xFFFFFFFF;
inline constexpr uint32_t kBasicRed = 0xFFFF0000;
inline constexpr uint32_t kBasicGreen = 0xFF00FF00;
inline constexpr uint32_t kBasicBlue = 0xFF0000FF;

// Registers "basic_white", "basic_red", "basic_green", "basic_blue".
inline void AddBasicColors() {
  GlobalManager::AddTextColor(L"basic_white", kBasicWhite);
  GlobalManager::AddTextColor(L"basic_red", kBasicRed);
  GlobalManager::AddTextColor(L"basic_green", kBasicGreen);
  GlobalManager::AddTextColor(L"basic_blue", kBasicBlue);
}

enum class Hue { kRed, kGreen, kBlue, kWhite };

// Clearly one hue: antialiased text edges blend towards the background, so
// only pixels dominated by one channel count.
inline bool IsHue(uint32_t pixel, Hue hue) {
  const int r = (pixel >> 16) & 0xFF;
  const int g = (pixel >> 8) & 0xFF;
  const int b = pixel & 0xFF;
  switch (hue) {
    case Hue::kRed:
      return r > 150 && g < 100 && b < 100;
    case Hue::kGreen:
      return g > 150 && r < 100 && b < 100;
    case Hue::kBlue:
      return b > 150 && r < 100 && g < 100;
    case Hue::kWhite:
      return r > 240 && g > 240 && b > 240;
  }
  return false;
}

inline int CountHue(const HeadlessWindow* native, const UiRect& rect, Hue hue) {
  int count = 0;
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) {
      if (IsHue(native->GetPixel(x, y), hue)) ++count;
    }
  }
  return count;
}

// A temporary folder of PNG pictures, removed at the end.
class PictureFolder {
 public:
  PictureFolder() { GlobalManager::SetImageLoader(MakeSkinImageLoader()); }
  ~PictureFolder() { GlobalManager::SetImageLoader(nullptr); }
  PictureFolder(const PictureFolder&) = delete;
  PictureFolder& operator=(const PictureFolder&) = delete;

  // Writes `name` with `color_at(x)` for every pixel of column x; returns its absolute path.
  std::wstring Write(const std::string& name, int width, int height,
                     const std::function<uint32_t(int x)>& color_at) {
    std::shared_ptr<PixelImage> image = PixelImage::Create(width, height);
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(image->GetRow(y));
      for (int x = 0; x < width; ++x) row[x] = color_at(x);
    }
    const std::string path = dir_.Child(name);
    EXPECT_TRUE(WritePngFile(*image, path));
    return nbase::UTF8ToWide(path);
  }
  std::wstring WriteSolid(const std::string& name, int width, int height, uint32_t argb) {
    return Write(name, width, height, [argb](int) { return argb; });
  }

 private:
  TempFolder dir_{"control_basic_"};
};

}  // namespace ui::testing
