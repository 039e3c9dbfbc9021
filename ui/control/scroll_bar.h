#pragma once

// The bar a ScrollableBox owns (or a free-standing one): two line buttons at
// the ends, a thumb on the track between them, and a rail drawn over the
// thumb. Pressing a button scrolls a line, pressing the track a page, and
// holding either repeats after a short delay; dragging the thumb follows the
// pointer. With an owner, the scrolling goes through the owner.

#include <cstdint>
#include <map>
#include <string>

#include "base/callback.h"
#include "ui/core/control.h"

namespace ui {

class ScrollableBox;

class ScrollBar : public Control {
 public:
  // Image parts.
  enum Part { kPartBk = 0, kPartButton1 = 1, kPartButton2 = 2, kPartThumb = 3, kPartRail = 4 };

  static constexpr int kRepeatIntervalMs = 50;
  // Ticks a held button waits before repeating.
  static constexpr int kRepeatDelayTicks = 5;

  ScrollBar();
  ~ScrollBar() override;

  // Control.
  void SetPos(UiRect rect) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  void SetFocus() override;
  bool HasHotState() override { return true; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void Paint(IRenderContext* context, const UiRect& paint_area) override;
  void ClearImageCache() override;
  void HandleEvent(EventArgs& event) override;
  bool OnMouseEnter(EventArgs& event) override;
  bool OnMouseLeave(EventArgs& event) override;
  bool OnButtonUp(EventArgs& event) override;

  bool IsHorizontal() const { return horizontal_; }
  void SetHorizontal(bool horizontal);
  int64_t GetScrollRange() const { return range_; }
  // A negative range counts as 0 (which hides the bar); the position is kept
  // inside the range.
  void SetScrollRange(int64_t range);
  int64_t GetScrollPos() const { return pos_; }
  void SetScrollPos(int64_t pos);
  int GetLineSize() const { return line_size_; }
  void SetLineSize(int size) { line_size_ = size; }
  int GetThumbMinLength() const { return thumb_min_length_; }
  bool IsAutoHideScroll() const { return auto_hide_; }
  void SetAutoHideScroll(bool auto_hide) { auto_hide_ = auto_hide; }
  bool IsShowButton1() const { return show_button1_; }
  bool IsShowButton2() const { return show_button2_; }
  void SetOwner(ScrollableBox* owner) { owner_ = owner; }
  ScrollableBox* GetOwner() const { return owner_; }
  const UiRect& GetButton1Rect() const { return button1_rect_; }
  const UiRect& GetButton2Rect() const { return button2_rect_; }
  const UiRect& GetThumbRect() const { return thumb_rect_; }
  ControlStateType GetButton1State() const { return button1_state_; }
  ControlStateType GetButton2State() const { return button2_state_; }
  ControlStateType GetThumbState() const { return thumb_state_; }
  std::wstring GetPartImage(Part part, ControlStateType state) const;
  void SetPartImage(Part part, ControlStateType state, const std::wstring& image);

 private:
  void OnButtonPressed(const EventArgs& event);
  void OnButtonReleased(const EventArgs& event);
  void OnRepeatTimer();
  void StopRepeatTimer();
  // One line or one page back (direction -1) or forward (+1).
  void ScrollLine(int direction);
  void ScrollPage(int direction);
  void SetPosFromDrag(int64_t pos);
  // Whether `point` lies before (-1), inside (0) or after (+1) the thumb along the bar.
  int SideOfThumb(CPoint point) const;
  // Draws `part` in `rect` with the image its state calls for.
  void PaintPart(IRenderContext* context, Part part, ControlStateType state, bool hot_too,
                 const UiRect& rect);
  bool DrawPartImage(IRenderContext* context, Part part, ControlStateType state);

  bool horizontal_ = false;
  bool show_button1_ = true;
  bool show_button2_ = true;
  bool auto_hide_ = true;
  int64_t range_ = 100;
  int64_t pos_ = 0;
  int line_size_ = 8;
  int thumb_min_length_ = 30;
  int64_t drag_start_pos_ = 0;
  int64_t drag_delta_ = 0;
  int repeat_count_ = 0;
  CPoint drag_start_point_;
  // Direction the track was pressed in (-1 before, +1 after the thumb), 0 when not.
  int track_direction_ = 0;
  ScrollableBox* owner_ = nullptr;
  UiRect button1_rect_;
  UiRect button2_rect_;
  UiRect thumb_rect_;
  ControlStateType button1_state_ = kControlStateNormal;
  ControlStateType button2_state_ = kControlStateNormal;
  ControlStateType thumb_state_ = kControlStateNormal;
  std::wstring modifier_;
  std::map<int, std::map<ControlStateType, Image>> part_images_;
  nbase::WeakCallbackFlag repeat_flag_;
};

}  // namespace ui
