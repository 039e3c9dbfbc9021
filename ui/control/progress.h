#pragma once

// A progress bar: the background from "bkimage"/"bkcolor", the part up to the
// value filled with the progress colour and covered by the progress image
// (stretched, or cut to the done part), and the label's text on top.

#include <string>

#include "ui/control/label.h"

namespace ui {

class Progress : public LabelTemplate<Control> {
 public:
  Progress();

  // Control.
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  // Replaces the state images by the progress drawing.
  void PaintStateImage(IRenderContext* context) override;
  void ClearImageCache() override;
  void GetAccessibleInfo(AccessibleInfo* info) const override;

  // The done part, relative to the item's top left.
  virtual UiRect GetProgressPos();

  bool IsHorizontal() const { return horizontal_; }
  void SetHorizontal(bool horizontal);
  int GetMinValue() const { return min_; }
  void SetMinValue(int min);
  int GetMaxValue() const { return max_; }
  void SetMaxValue(int max);
  double GetValue() const { return value_; }
  void SetValue(double value);
  bool IsStretchForeImage() const { return stretch_fore_; }
  void SetStretchForeImage(bool stretch);
  const std::wstring& GetProgressImage() const;
  void SetProgressImage(const std::wstring& image);
  const std::wstring& GetProgressColor() const { return progress_color_; }
  void SetProgressColor(const std::wstring& color);

 private:
  // Makes max > min and the value lie between them.
  void NormalizeRange();

  bool horizontal_ = true;
  bool stretch_fore_ = true;
  int max_ = 100;
  int min_ = 0;
  double value_ = 0;
  Image progress_image_;
  std::wstring progress_color_;
  std::wstring modifier_;
};

}  // namespace ui
