#pragma once

// A box that shows one child at a time; with "fadeswitch" the old and the new
// child slide past each other.

#include <string>

#include "ui/core/box.h"

namespace ui {

class TabBox : public Box {
 public:
  TabBox();

  // Control and Box.
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  bool Add(Control* control) override;
  bool AddAt(Control* control, size_t index) override;
  bool Remove(Control* control) override;
  bool RemoveAt(size_t index) override;
  void RemoveAll() override;
  void GetAccessibleInfo(AccessibleInfo* info) const override;
  void GetChildAccessibleInfo(const Control* child, AccessibleInfo* info) const override;

  int GetCurSel() const { return cur_sel_; }
  // False when `index` is out of range; true at once when already selected.
  bool SelectItem(int index);
  bool SelectItem(Control* control);
  bool IsFadeSwitch() const { return fade_switch_; }
  void SetFadeSwitch(bool value) { fade_switch_ = value; }

 private:
  // Makes `control` reachable and opaque, or unreachable and transparent.
  static void SetShown(Control* control, bool shown);
  void HideNew(Control* control);
  void Slide(Control* control, int from, int to, bool hide_at_end);

  int cur_sel_ = -1;
  bool fade_switch_ = false;
  // Before the first layout a "selectedid" from the skin is kept here.
  int initial_sel_ = -1;
};

}  // namespace ui
