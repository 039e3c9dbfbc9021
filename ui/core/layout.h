#pragma once

// Placement of a box's children: the plain layout and the row, column and tile layouts.

#include <memory>
#include <string>
#include <vector>

#include "ui/core/control.h"

namespace ui {

class Box;

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

}  // namespace ui
