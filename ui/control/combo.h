#pragma once

// A field showing the selected item of its list; a click drops the list down
// in a popup window below (or above) the field.

#include <memory>
#include <string>

#include "ui/control/list_box.h"
#include "ui/core/window.h"

namespace ui {

class Combo;

// The drop-down window. It borrows the combo's list while it is open.
class CComboWnd : public Window {
 public:
  explicit CComboWnd(Combo* owner);
  ~CComboWnd() override;

  // Makes and shows the popup; false when the owner's native window cannot
  // make one.
  bool Open();
  // Where the popup goes, in screen coordinates.
  UiRect ComputeRect() const;
  // Gives the list back to the combo (once).
  void ReturnList();

  // NativeWindowDelegate.
  bool OnNativeMessage(const NativeMessage& message) override;
  void OnNativeDestroyed() override;

 private:
  Combo* owner_;
  Box* root_box_ = nullptr;
  bool list_returned_ = false;
};

class Combo : public Box {
 public:
  Combo();
  ~Combo() override;

  // Control and Box.
  void SetWindow(Window* window) override;
  void SetWindow(Window* window, Box* parent, bool init = true) override;
  void Activate() override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintText(IRenderContext* context) override;
  void HandleEvent(EventArgs& event) override;
  bool IsKeyboardFocusable() const override { return true; }
  void GetAccessibleInfo(AccessibleInfo* info) const override;
  // Items go to the list.
  bool Add(Control* control) override;
  bool AddAt(Control* control, size_t index) override;
  bool Remove(Control* control) override;
  bool RemoveAt(size_t index) override;
  void RemoveAll() override;
  size_t GetCount() const override { return list_->GetCount(); }
  Control* GetItemAt(size_t index) const override { return list_->GetItemAt(index); }

  // The text of the selected item; empty without one.
  std::wstring GetText() const;
  int GetCurSel() const { return cur_sel_; }
  // Selects without opening; reports event 42 when `trigger`.
  bool SelectItem(int index, bool trigger = false);
  ListBox* GetListBox() const { return list_.get(); }
  CComboWnd* GetDropWindow() const { return drop_window_.get(); }
  bool IsPopupTop() const { return popup_top_; }
  void SetPopupTop(bool value) { popup_top_ = value; }
  CSize GetDropBoxSize() const { return drop_box_size_; }
  // Scaled.
  void SetDropBoxSize(CSize size);
  const std::wstring& GetDropBoxAttributeList() const { return drop_box_attributes_; }
  void SetDropBoxAttributeList(const std::wstring& list);

 private:
  friend class CComboWnd;
  // The drop window's native window is gone: it is deleted after this event.
  void OnDropWindowDestroyed();
  bool OnListSelect(const EventArgs& event);
  // Puts the list back under this combo's window, outside the tree.
  void AdoptList();

  std::unique_ptr<ListBox> list_;
  std::unique_ptr<CComboWnd> drop_window_;
  int cur_sel_ = -1;
  CSize drop_box_size_;
  std::wstring drop_box_attributes_;
  bool popup_top_ = false;
};

}  // namespace ui
