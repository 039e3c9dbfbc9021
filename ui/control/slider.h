#pragma once

// A progress bar with a thumb that the pointer drags, the track takes clicks
// on, and the wheel and arrow keys move by the step.

#include <string>

#include "ui/control/progress.h"

namespace ui {

class Slider : public Progress {
 public:
  Slider();

  // Control.
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void HandleEvent(EventArgs& event) override;
  bool IsKeyboardFocusable() const override { return true; }
  void PaintStateImage(IRenderContext* context) override;
  void ClearImageCache() override;
  UiRect GetProgressPos() override;
  void GetAccessibleInfo(AccessibleInfo* info) const override;

  // The thumb, in the same coordinates as the control's rect.
  UiRect GetThumbRect() const;
  // The value the pointer at `point` stands for.
  double ValueAt(CPoint point) const;

  int GetChangeStep() const { return step_; }
  void SetChangeStep(int step) { step_ = step; }
  CSize GetThumbSize() const { return thumb_size_; }
  void SetThumbSize(CSize size, bool scale = true);
  UiRect GetProgressBarPadding() const { return bar_padding_; }
  void SetProgressBarPadding(UiRect padding, bool scale = true);
  std::wstring GetThumbStateImage(ControlStateType state) const;
  void SetThumbStateImage(ControlStateType state, const std::wstring& image);

 private:
  // The range with max above min, as the bar itself corrects it.
  void Range(int* lo, int* hi) const;
  // Clamps, stores and reports a changed value (event 51) when `notify`.
  void ChangeValue(double value, bool notify);

  int step_ = 1;
  CSize thumb_size_;
  UiRect bar_padding_;
  Image thumb_images_[4];
  std::wstring thumb_modifier_;
  // While the bar paints, its rect is the inner one and the thumb is fixed.
  bool painting_ = false;
  UiRect paint_thumb_;
};

}  // namespace ui
