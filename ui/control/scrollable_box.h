#pragma once

// The scrolled box lives beside its bars: it owns them, and they are controls.

#include <cstdint>
#include <memory>
#include <string>

#include "ui/core/box.h"

namespace ui {

class AnimationPlayer;
class ScrollBar;
class TimerManager;

// A box whose content may be larger than itself, scrolled by bars, wheel,
// keys and touch. Children stay in unscrolled coordinates: scrolling moves
// them only when painting and hit testing.
class ScrollableBox : public Box {
 public:
  explicit ScrollableBox(std::unique_ptr<Layout> layout = nullptr);
  ~ScrollableBox() override;

  // Control and Box.
  void SetWindow(Window* window) override;
  void SetWindow(Window* window, Box* parent, bool init = true) override;
  void SetPos(UiRect rect) override;
  void HandleEvent(EventArgs& event) override;
  bool OnMouseEnter(EventArgs& event) override;
  bool OnMouseLeave(EventArgs& event) override;
  void PaintChildren(IRenderContext* context, const UiRect& paint_area) override;
  void SetMouseEnabled(bool enabled) override;
  Control* FindControl(FindControlProc proc, void* data, uint32_t flags,
                       CPoint scroll_pos = CPoint()) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void LoadImageCache() override;
  void ReleaseImageCache() override;
  void ClearImageCache() override;
  bool GetChildScrollOffset(CPoint* offset) const override;

  virtual CSize GetScrollPos() const;
  virtual CSize GetScrollRange() const;
  virtual void SetScrollPos(CSize pos);
  virtual void SetScrollPosY(int y);
  virtual void SetScrollPosX(int x);
  virtual void LineUp(int delta = -1, bool animate = true);
  virtual void LineDown(int delta = -1, bool animate = true);
  virtual void LineLeft(int delta = -1);
  virtual void LineRight(int delta = -1);
  virtual void PageUp();
  virtual void PageDown();
  virtual void HomeUp();
  virtual void EndDown(bool relayout = true, bool animate = true);
  virtual void PageLeft();
  virtual void PageRight();
  virtual void HomeLeft();
  virtual void EndRight();
  virtual void TouchUp(int delta);
  virtual void TouchDown(int delta);
  virtual void EnableScrollBar(bool vertical = true, bool horizontal = false);
  virtual ScrollBar* GetVerticalScrollBar() const { return vertical_bar_.get(); }
  virtual ScrollBar* GetHorizontalScrollBar() const { return horizontal_bar_.get(); }
  virtual void ProcessVScrollBar(UiRect rect, int required_height);
  virtual void ProcessHScrollBar(UiRect rect, int required_width);
  virtual CSize CalcRequiredSize(const UiRect& rect);

  int GetVerScrollUnit() const { return vertical_unit_; }
  void SetVerScrollUnit(int unit) { vertical_unit_ = unit; }
  int GetHorScrollUnit() const { return horizontal_unit_; }
  void SetHorScrollUnit(int unit) { horizontal_unit_ = unit; }
  bool IsHoldEnd() const { return hold_end_; }
  void SetHoldEnd(bool value) { hold_end_ = value; }
  bool IsScrollBarFloat() const { return scroll_bar_float_; }
  void SetScrollBarFloat(bool value) { scroll_bar_float_ = value; }
  UiRect GetScrollBarPadding() const { return scroll_bar_padding_; }
  void SetScrollBarPadding(UiRect padding) { scroll_bar_padding_ = padding; }
  AnimationPlayer* GetSmoothScrollPlayer() const { return scroll_player_.get(); }
  // The timer service of the scroll animations (the process-wide one unless set).
  void SetTimerManager(TimerManager* timer_manager) { timer_manager_ = timer_manager; }

 protected:
  // Loads the images of children near the view and releases the others.
  void LoadImageCacheInView(bool forward);
  // Smooth vertical scroll from `from` towards `to`.
  void AnimateScrollTo(int from, int to);
  int PageHeight() const;
  // Gives `bar` the range the content needs beyond `viewport`, and its place.
  void ProcessScrollBar(ScrollBar* bar, int viewport, int required, const UiRect& bar_rect);
  bool HasVerticalRange() const;
  bool HasHorizontalRange() const;

  std::unique_ptr<ScrollBar> vertical_bar_;
  std::unique_ptr<ScrollBar> horizontal_bar_;
  int vertical_unit_ = 30;
  int horizontal_unit_ = 30;
  bool in_scroll_processing_ = false;
  bool hold_end_ = false;
  bool scroll_bar_float_ = true;
  UiRect scroll_bar_padding_;
  CPoint last_touch_point_{-1, -1};
  // Created on the first animated scroll.
  std::unique_ptr<AnimationPlayer> scroll_player_;
  std::unique_ptr<AnimationPlayer> render_offset_player_;
  TimerManager* timer_manager_ = nullptr;
};

class ScrollableHBox : public ScrollableBox {
 public:
  ScrollableHBox() : ScrollableBox(std::make_unique<HLayout>()) {}
};

class ScrollableVBox : public ScrollableBox {
 public:
  ScrollableVBox() : ScrollableBox(std::make_unique<VLayout>()) {}
};

class ScrollableTileBox : public ScrollableBox {
 public:
  ScrollableTileBox() : ScrollableBox(std::make_unique<TileLayout>()) {}
};

}  // namespace ui
