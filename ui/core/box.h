#pragma once

// Containers: a Box owns its children and hands their placement to a Layout.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/core/control.h"

namespace ui {

class AnimationPlayer;
class Box;
class ScrollBar;
class TimerManager;

// Places the children of one box. The plain layout puts every child on its
// own inside the box, positioned by its margin and alignment.
class Layout {
 public:
  Layout() = default;
  Layout(const Layout&) = delete;
  Layout& operator=(const Layout&) = delete;
  virtual ~Layout() = default;

  void SetOwner(Box* owner) { owner_ = owner; }
  Box* GetOwner() const { return owner_; }

  virtual bool SetAttribute(const std::wstring& name, const std::wstring& value);
  // Positions `items` inside `rect` (the owner less padding); returns the size used.
  virtual CSize ArrangeChildren(const std::vector<Control*>& items, UiRect rect);
  // The size an auto-sized owner needs, padding included.
  virtual CSize MeasureChildren(const std::vector<Control*>& items, CSize available);
  virtual UiRect GetPadding() const { return padding_; }
  virtual void SetPadding(UiRect padding, bool scale = true);
  virtual int GetChildMargin() const { return child_margin_; }
  virtual void SetChildMargin(int margin);

  // Places `control` inside `rect` by its margin and alignment alone; returns its size.
  static CSize SetFloatPos(Control* control, UiRect rect);
  static int ClampWidth(const Control* control, int width);
  static int ClampHeight(const Control* control, int height);

 protected:
  UiRect padding_;
  int child_margin_ = 0;
  Box* owner_ = nullptr;
};

// Children in a row; "stretch" children share what the others leave.
class HLayout : public Layout {
 public:
  CSize ArrangeChildren(const std::vector<Control*>& items, UiRect rect) override;
  CSize MeasureChildren(const std::vector<Control*>& items, CSize available) override;
};

// Children in a column.
class VLayout : public Layout {
 public:
  CSize ArrangeChildren(const std::vector<Control*>& items, UiRect rect) override;
  CSize MeasureChildren(const std::vector<Control*>& items, CSize available) override;
};

// Children in a grid of equal cells, each child centred in its cell.
class TileLayout : public Layout {
 public:
  ~TileLayout() override = default;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  CSize ArrangeChildren(const std::vector<Control*>& items, UiRect rect) override;
  CSize MeasureChildren(const std::vector<Control*>& items, CSize available) override;

  CSize GetItemSize() const { return item_size_; }
  void SetItemSize(CSize size, bool scale = true);
  int GetColumns() const { return columns_; }
  // Values below 1 are refused.
  void SetColumns(int columns);

 private:
  int columns_ = 1;
  CSize item_size_;
};

class Box : public Control {
 public:
  explicit Box(std::unique_ptr<Layout> layout = nullptr);
  ~Box() override;

  // Control.
  void SetWindow(Window* window) override;
  void SetWindow(Window* window, Box* parent, bool init = true) override;
  CSize EstimateSize(CSize available) override;
  void SetPos(UiRect rect) override;
  void SetInheritedVisible(bool visible) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  Control* FindControl(FindControlProc proc, void* data, uint32_t flags,
                       CPoint scroll_pos = CPoint()) override;
  void DispatchEvent(EventArgs& event) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintChildren(IRenderContext* context, const UiRect& paint_area) override;
  void LoadImageCache() override;
  void ReleaseImageCache() override;
  void ClearImageCache() override;

  // Children.
  virtual int FindSelectable(int index, bool forward) const;
  virtual Control* GetItemAt(size_t index) const;
  virtual int GetItemIndex(const Control* control) const;
  virtual bool SetItemIndex(Control* control, size_t index);
  virtual size_t GetCount() const { return items_.size(); }
  virtual bool Add(Control* control);
  virtual bool AddAt(Control* control, size_t index);
  virtual bool Remove(Control* control);
  virtual bool RemoveAt(size_t index);
  virtual void RemoveAll();
  virtual bool IsAutoDestroy() const { return auto_destroy_; }
  virtual void SetAutoDestroy(bool value) { auto_destroy_ = value; }
  virtual bool IsDelayedDestroy() const { return delayed_destroy_; }
  virtual void SetDelayedDestroy(bool value) { delayed_destroy_ = value; }
  virtual bool IsMouseChildEnabled() const { return mouse_child_; }
  virtual void SetMouseChildEnabled(bool value) { mouse_child_ = value; }
  virtual Layout* GetLayout() const { return layout_.get(); }
  virtual void ResetLayout(std::unique_ptr<Layout> layout);
  // The item rect less the layout's padding.
  virtual UiRect GetPaddingPos() const;

  const std::vector<Control*>& GetItems() const { return items_; }

  // Handlers for events of descendants that bubble up here.
  void AttachBubbledEvent(int32_t kind, EventCallback callback);
  void AttachXmlBubbledEvent(int32_t kind, EventCallback callback);
  const EventMap& GetXmlBubbledEvents() const { return xml_bubbled_events_; }

 protected:
  // Deletes `control` now or through the window's clean-up.
  void DestroyChild(Control* control);

  EventMap xml_bubbled_events_;
  std::unique_ptr<Layout> layout_;
  bool auto_destroy_ = true;
  bool delayed_destroy_ = true;
  bool mouse_child_ = true;
  std::vector<Control*> items_;
  EventMap bubbled_events_;
};

class HBox : public Box {
 public:
  HBox() : Box(std::make_unique<HLayout>()) {}
};

class VBox : public Box {
 public:
  VBox() : Box(std::make_unique<VLayout>()) {}
};

class TileBox : public Box {
 public:
  TileBox() : Box(std::make_unique<TileLayout>()) {}
};

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

// Takes its content from a separate skin file ("xmlfile").
class ChildBox : public Box {
 public:
  ChildBox() = default;
  void DoInit() override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  const std::wstring& GetChildXmlFile() const { return xml_file_; }
  void SetChildXmlFile(const std::wstring& file) { xml_file_ = file; }

 private:
  std::wstring xml_file_;
};

}  // namespace ui
