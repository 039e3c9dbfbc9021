#pragma once

// A check box in a named group of the window: selecting one member unselects
// the others of that group.

#include <string>

#include "ui/control/check_box.h"

namespace ui {

template <typename Base>
class OptionTemplate : public CheckBoxTemplate<Base> {
 public:
  OptionTemplate() = default;

  // Control.
  using CheckBoxTemplate<Base>::SetWindow;
  void SetWindow(Window* window, Box* parent, bool init = true) override;
  void Activate() override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void Selected(bool selected, bool send_event = false) override;
  void GetAccessibleInfo(AccessibleInfo* info) const override;

  const std::wstring& GetGroup() const { return group_; }
  // Leaves the old group, joins the new one, and re-applies the selected
  // state so that a selected option unselects the others of its new group.
  void SetGroup(const std::wstring& group);

 protected:
  std::wstring group_;
};

extern template class OptionTemplate<Control>;
extern template class OptionTemplate<Box>;

using Option = OptionTemplate<Control>;
using OptionBox = OptionTemplate<Box>;

}  // namespace ui
