#pragma once

// Text on a control: a font from the global table, DrawText style flags,
// padding and a text colour per state. Over Control it is the `Label` tag,
// over Box the `LabelBox` tag.

#include <cstdint>
#include <map>
#include <string>

#include "ui/core/box.h"
#include "ui/core/control.h"
#include "ui/render/render.h"

namespace ui {

template <typename Base>
class LabelTemplate : public Base {
 public:
  LabelTemplate();

  // Control.
  CSize EstimateText(CSize available, bool* re_estimate) override;
  bool HasHotState() override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintText(IRenderContext* context) override;
  void GetAccessibleInfo(AccessibleInfo* info) const override;

  // The text, or the language string of the text id when the text is empty.
  virtual std::wstring GetText() const;
  virtual std::string GetTextUtf8() const;
  virtual void SetText(const std::wstring& text);
  virtual void SetTextUtf8(const std::string& text);
  virtual void SetTextId(const std::wstring& id);
  virtual void SetTextIdUtf8(const std::string& id);

  const std::wstring& GetTextId() const { return text_id_; }
  std::wstring GetStateTextColor(ControlStateType state) const;
  void SetStateTextColor(ControlStateType state, const std::wstring& color);
  int GetFont() const { return font_; }
  void SetFont(int font);
  uint32_t GetTextStyle() const { return text_style_; }
  void SetTextStyle(uint32_t style);
  bool IsSingleLine() const { return single_line_; }
  void SetSingleLine(bool single_line);
  bool IsLineLimit() const { return line_limit_; }
  void SetLineLimit(bool line_limit);
  UiRect GetTextPadding() const { return text_padding_; }
  void SetTextPadding(UiRect padding, bool scale = true);

 protected:
  // The style with the single-line flag applied, as every measure and draw uses it.
  uint32_t EffectiveTextStyle();
  // The item rect less the text padding.
  UiRect GetTextRect() const;
  // Relayout when the size follows the content, else repaint.
  void OnContentChanged();

  int font_ = 1;
  uint32_t text_style_ = DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS;
  bool single_line_ = true;
  bool line_limit_ = false;
  UiRect text_padding_;
  std::wstring text_;
  std::wstring text_id_;
  std::map<ControlStateType, std::wstring> text_colors_;
};

// Applies the words of an "align" value to `style`.
uint32_t ApplyTextAlign(uint32_t style, const std::wstring& words);

extern template class LabelTemplate<Control>;
extern template class LabelTemplate<Box>;

using Label = LabelTemplate<Control>;
using LabelBox = LabelTemplate<Box>;

}  // namespace ui
