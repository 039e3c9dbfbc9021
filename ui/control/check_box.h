#pragma once

// A two-state button. While selected it paints a second set of state colours
// and images and its selected text colour; clicking it toggles the state and
// notifies select (42) or unselect (43) instead of a click.

#include <array>
#include <map>
#include <string>

#include "ui/control/button.h"

namespace ui {

template <typename Base>
class CheckBoxTemplate : public ButtonTemplate<Base> {
 public:
  CheckBoxTemplate() = default;

  // Control.
  Image* GetEstimateImage() override;
  void Activate() override;
  bool HasHotState() override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintStateColor(IRenderContext* context) override;
  void PaintStateImage(IRenderContext* context) override;
  void PaintText(IRenderContext* context) override;
  void ClearImageCache() override;
  void GetAccessibleInfo(AccessibleInfo* info) const override;

  bool IsSelected() const { return selected_; }
  // Notifies the change through the window when `send_event` is set.
  virtual void Selected(bool selected, bool send_event = false);

  std::wstring GetSelectedStateColor(ControlStateType state) const;
  void SetSelectedStateColor(ControlStateType state, const std::wstring& color);
  std::wstring GetSelectedStateImage(ControlStateType state) const;
  void SetSelectedStateImage(ControlStateType state, const std::wstring& image);
  std::wstring GetSelectedForeStateImage(ControlStateType state) const;
  void SetSelectedForeStateImage(ControlStateType state, const std::wstring& image);
  const std::wstring& GetSelectedTextColor() const { return selected_text_color_; }
  void SetSelectedTextColor(const std::wstring& color);

 protected:
  bool selected_ = false;
  std::wstring selected_text_color_;
  std::map<ControlStateType, std::wstring> selected_colors_;
  // Selected background and foreground images, laid out like the normal sets.
  std::array<std::map<ControlStateType, Image>, 2> selected_images_;
};

extern template class CheckBoxTemplate<Control>;
extern template class CheckBoxTemplate<Box>;

using CheckBox = CheckBoxTemplate<Control>;
using CheckBoxBox = CheckBoxTemplate<Box>;

}  // namespace ui
