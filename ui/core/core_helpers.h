#pragma once

// Small helpers shared by the control, box and layout sources of the core.

#include <string>

#include "ui/core/global_manager.h"
#include "ui/geometry/geometry.h"

namespace ui {

class Control;
class PlaceHolder;

namespace core_helpers {

inline int Scaled(int value) {
  GlobalManager::ScaleLength(value);
  return value;
}

// Insets scale side by side, as margins do.
inline UiRect ScaledSides(UiRect sides) {
  return UiRect(Scaled(sides.left), Scaled(sides.top), Scaled(sides.right), Scaled(sides.bottom));
}

inline bool ToBool(const std::wstring& value) {
  return value == L"true";
}

bool IsAuto(const PlaceHolder* p);
// A decimal attribute value; 0 when it does not start with a number.
int ParseInt(const std::wstring& value);
bool IsFlowChild(const Control* c);

}  // namespace core_helpers

}  // namespace ui
