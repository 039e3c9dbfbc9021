#pragma once

// The bar a ScrollableBox owns: a range, a position and a thumb. Buttons,
// thumb dragging and auto-repeat are not here yet; the box drives it.

#include <cstdint>
#include <map>
#include <string>

#include "ui/core/control.h"

namespace ui {

class ScrollableBox;

class ScrollBar : public Control {
 public:
  // Image parts.
  enum Part { kPartBk = 0, kPartButton1 = 1, kPartButton2 = 2, kPartThumb = 3, kPartRail = 4 };

  ScrollBar();

  // Control.
  void SetPos(UiRect rect) override;
  void SetVisible(bool visible) override;
  bool HasHotState() override { return true; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void Paint(IRenderContext* context, const UiRect& paint_area) override;
  void ClearImageCache() override;

  bool IsHorizontal() const { return horizontal_; }
  void SetHorizontal(bool horizontal);
  int64_t GetScrollRange() const { return range_; }
  // A negative range counts as 0; the position is kept inside the range.
  void SetScrollRange(int64_t range);
  int64_t GetScrollPos() const { return pos_; }
  void SetScrollPos(int64_t pos);
  int GetLineSize() const { return line_size_; }
  bool IsAutoHideScroll() const { return auto_hide_; }
  void SetOwner(ScrollableBox* owner) { owner_ = owner; }
  ScrollableBox* GetOwner() const { return owner_; }
  const UiRect& GetThumbRect() const { return thumb_rect_; }

 private:
  void UpdateThumb();

  bool horizontal_ = false;
  bool show_button1_ = true;
  bool show_button2_ = true;
  bool auto_hide_ = true;
  int64_t range_ = 100;
  int64_t pos_ = 0;
  int line_size_ = 8;
  int thumb_min_length_ = 30;
  ScrollableBox* owner_ = nullptr;
  UiRect thumb_rect_;
  std::map<int, std::map<ControlStateType, Image>> part_images_;
};

}  // namespace ui
