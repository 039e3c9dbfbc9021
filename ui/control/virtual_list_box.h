#pragma once

// A list over data it does not hold: a few element controls are made through
// a provider and refilled with the rows that scroll into view.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ui/control/list_box.h"

namespace ui {

class VirtualListBox;

// Where a virtual list's rows come from. The list does not own it.
class VirtualListDataProvider {
 public:
  virtual ~VirtualListDataProvider() = default;
  virtual Control* CreateElement() = 0;
  virtual void FillElement(Control* element, size_t index) = 0;
  virtual size_t GetElementCount() = 0;
};

// A column layout that hands the placement to its virtual list while the
// list has more rows than element controls.
class VirtualLayout : public VLayout {
 public:
  CSize ArrangeChildren(const std::vector<Control*>& items, UiRect rect) override;
  CSize MeasureChildren(const std::vector<Control*>& items, CSize available) override;
};

class VirtualListBox : public ListBox {
 public:
  VirtualListBox();

  // Control, Box and ScrollableBox.
  void HandleEvent(EventArgs& event) override;
  void SetScrollPos(CSize pos) override;

  void SetDataProvider(VirtualListDataProvider* provider) { provider_ = provider; }
  VirtualListDataProvider* GetDataProvider() const { return provider_; }
  int GetElementHeight() const { return element_height_; }
  // Scaled.
  void SetElementHeight(int height);
  // Makes up to min(`max_count`, rows) elements and fills element i with row i.
  void InitElement(int max_count);
  // Matches the elements to the provider's current rows and refills them.
  void Refresh();

  // The row `element` shows, or -1.
  int64_t GetElementRow(const Control* element) const;
  // True while rows outnumber the elements and the list places them itself.
  bool IsVirtual();
  // How many rows the provider reports, read once per arrangement.
  size_t GetRowCount() const { return row_count_; }

 private:
  friend class VirtualLayout;
  enum class Direction { kFull, kUp, kDown };

  // Places and fills the elements for the scroll position; returns the content size.
  CSize Arrange(const UiRect& rect, Direction direction);
  void Fill(size_t slot, int64_t row);

  VirtualListDataProvider* provider_ = nullptr;
  int element_height_ = 0;
  int max_count_ = 0;
  size_t row_count_ = 0;
  UiRect layout_rect_;
  // The first row the elements show while virtual, or -1 for none yet.
  int64_t first_row_ = -1;
  // The row each element shows.
  std::vector<int64_t> element_rows_;
};

}  // namespace ui
