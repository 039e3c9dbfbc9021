#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/geometry/geometry.h"
#include "ui/render/pixel_image.h"

namespace ui {

// One decoded picture: every frame as a PixelImage. Immutable once built and
// shared by every Image that shows it.
class ImageInfo {
 public:
  ImageInfo() = default;
  ImageInfo(const ImageInfo&) = delete;
  ImageInfo& operator=(const ImageInfo&) = delete;

  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  const std::wstring& GetPath() const { return path_; }
  bool HasAlpha() const { return has_alpha_; }
  bool IsCached() const { return cached_; }

  size_t GetFrameCount() const { return frames_.size(); }
  // Null when the index is out of range.
  const PixelImage* GetFrame(size_t index) const;
  // Pixel memory of all frames.
  size_t GetByteSize() const;
  // Frame delays in milliseconds; empty for a single-frame picture.
  const std::vector<int>& GetFrameDelays() const { return frame_delays_; }

  void SetPath(std::wstring path) { path_ = std::move(path); }
  void SetCached(bool cached) { cached_ = cached; }
  void SetHasAlpha(bool has_alpha) { has_alpha_ = has_alpha; }
  void SetSize(int width, int height) { width_ = width, height_ = height; }
  void SetFrameDelays(std::vector<int> delays_ms) { frame_delays_ = std::move(delays_ms); }
  void AddFrame(std::shared_ptr<PixelImage> frame) { frames_.push_back(std::move(frame)); }

 private:
  int width_ = 0;
  int height_ = 0;
  std::wstring path_;
  bool has_alpha_ = false;
  bool cached_ = false;
  std::vector<int> frame_delays_;
  std::vector<std::shared_ptr<PixelImage>> frames_;
};

// Scales a destination rect by the DPI scale in effect.
using RectScaler = std::function<void(UiRect* rect)>;

// The parsed image attribute string: file='..' dest='..' source='..' corner='..'
// fade='..' xtiled='..' ytiled='..' playcount='..' destscale='..', or a bare file.
class ImageAttribute {
 public:
  ImageAttribute() { Reset(); }

  void Reset();
  // Parses text over the current fields; dest is scaled through the global
  // resource manager.
  void ModifyAttribute(std::wstring_view text);
  // The same with an explicit dest scaler (empty: never scaled).
  void ModifyAttribute(std::wstring_view text, const RectScaler& scale_dest);

  // Unset while any side is -1.
  static bool IsRectSet(const UiRect& rect) {
    return rect.left != -1 && rect.top != -1 && rect.right != -1 && rect.bottom != -1;
  }

  std::wstring image_string;
  std::wstring file;
  UiRect dest;
  UiRect source;
  UiRect corner;
  uint8_t fade = 255;
  bool xtiled = false;
  bool ytiled = false;
  int play_count = -1;
};

// What a control keeps per image: the attribute, the shared picture once
// loaded, and the position of its animation.
class Image {
 public:
  // Drops the picture, then takes text whole as the file name and parses it.
  void SetImageString(std::wstring_view text);
  void SetImageString(std::wstring_view text, const RectScaler& scale_dest);
  // Drops the picture and the animation position; the attribute stays.
  void ClearCache();

  bool IsLoaded() const { return image_info_ != nullptr; }
  const std::shared_ptr<ImageInfo>& GetImageInfo() const { return image_info_; }
  void SetImageInfo(std::shared_ptr<ImageInfo> info) { image_info_ = std::move(info); }
  // The pixels of the current frame, or null when nothing is loaded.
  const PixelImage* GetCurrentFrameImage() const;

  // Milliseconds the current frame shows; 0 when there is nothing to animate.
  int GetCurrentInterval() const;
  // Next frame; wrapping to the first counts one completed loop.
  void IncrementCurrentFrame();
  // Whether the play count allows another loop.
  bool ContinuePlay() const;

  int GetCurrentFrame() const { return current_frame_; }
  void SetCurrentFrame(int frame) { current_frame_ = frame; }
  bool IsPlaying() const { return playing_; }
  void SetPlaying(bool playing) { playing_ = playing; }
  int GetPlayedCount() const { return played_count_; }

  ImageAttribute image_attribute;

 private:
  std::shared_ptr<ImageInfo> image_info_;
  int current_frame_ = 0;
  bool playing_ = false;
  int played_count_ = 0;
};

}  // namespace ui
