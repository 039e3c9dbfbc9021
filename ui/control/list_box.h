#pragma once

// A scrollable column of selectable items. Items that are list elements know
// their index and their owner, so clicks and keys on them reach the list.

#include <cstdint>
#include <memory>
#include <string>

#include "ui/control/option.h"
#include "ui/control/scrollable_box.h"

namespace ui {

// What a list element needs from the list holding it.
class IListOwner {
 public:
  virtual ~IListOwner() = default;
  virtual int GetCurSel() const = 0;
  // Selects the item at `index`; false (and nothing selected) when it cannot be.
  virtual bool SelectItem(int index, bool take_focus = false, bool trigger = true) = 0;
  // An input event of an element the element left to the list.
  virtual void HandleListEvent(EventArgs& event) = 0;
  // Scrolls the least that shows `rect` (unscrolled coordinates).
  virtual void EnsureVisible(const UiRect& rect) = 0;
  virtual void StopScroll() = 0;
};

class ListContainerElement : public OptionBox {
 public:
  ListContainerElement();

  // Control.
  void SetVisible(bool visible) override;
  // A clicked item takes the keyboard focus, so the keys then move through the list.
  void Activate() override;
  void HandleEvent(EventArgs& event) override;
  void Selected(bool selected, bool send_event = false) override;
  // The list is one Tab stop; its items are reached with the arrow keys.
  bool IsKeyboardFocusable() const override { return false; }
  void GetAccessibleInfo(AccessibleInfo* info) const override;

  int GetIndex() const { return index_; }
  void SetIndex(int index) { index_ = index; }
  IListOwner* GetOwner() const { return owner_; }
  void SetOwner(IListOwner* owner) { owner_ = owner; }

 protected:
  int index_ = -1;
  IListOwner* owner_ = nullptr;
};

class ListBox : public ScrollableBox, public IListOwner {
 public:
  explicit ListBox(std::unique_ptr<Layout> layout = nullptr);

  // Control and Box.
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetPos(UiRect rect) override;
  void HandleEvent(EventArgs& event) override;
  bool IsKeyboardFocusable() const override { return true; }
  bool Add(Control* control) override;
  bool AddAt(Control* control, size_t index) override;
  bool Remove(Control* control) override;
  bool RemoveAt(size_t index) override;
  void RemoveAll() override;
  bool SetItemIndex(Control* control, size_t index) override;
  void GetAccessibleInfo(AccessibleInfo* info) const override;

  // IListOwner.
  int GetCurSel() const override { return cur_sel_; }
  bool SelectItem(int index, bool take_focus = false, bool trigger = true) override;
  void HandleListEvent(EventArgs& event) override { HandleEvent(event); }
  void EnsureVisible(const UiRect& rect) override;
  void StopScroll() override;

  // Scrolls so that the item named `name` is at the top; false when there is none.
  bool ScrollItemToTop(const std::wstring& name);
  // The first item reaching into the view, or null.
  Control* GetTopItem() const;

  bool IsScrollSelect() const { return scroll_select_; }
  void SetScrollSelect(bool value) { scroll_select_ = value; }

 protected:
  // Gives every list element from `from` on its index and this owner.
  void Renumber(size_t from);
  // Selects the selectable item `index` finds in `forward` direction; keeps
  // the selection when there is none.
  void SelectFound(int index, bool forward);
  // Items that fit one page, counted by the height of the current item.
  int ItemsPerPage() const;

  bool scroll_select_ = false;
  int cur_sel_ = -1;
  // Set when the selection changed before the list had a place.
  bool ensure_visible_pending_ = false;
};

}  // namespace ui
