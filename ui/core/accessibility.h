#pragma once

// What assistive technology learns about a control, in toolkit-free terms,
// and the observer a window tells about changes of its control tree. The
// native side (ATK on GTK) turns both into its own objects and events.

#include <cstdint>
#include <string>

namespace ui {

class Control;

enum class AccessibleRole {
  kPanel,
  kLabel,
  kPushButton,
  kCheckBox,
  kRadioButton,
  kProgressBar,
  kSlider,
  kText,
  kList,
  kListItem,
  kComboBox,
  kTree,
  kTreeItem,
  kPageTabList,
  kPageTab,
  kScrollBar,
};

// State bits beyond what every control has (enabled, visible, focus).
enum AccessibleStateBits : uint32_t {
  kAccessibleFocusable = 1u << 0,
  kAccessibleCheckable = 1u << 1,
  kAccessibleChecked = 1u << 2,
  kAccessibleSelectable = 1u << 3,
  kAccessibleSelected = 1u << 4,
  kAccessibleExpandable = 1u << 5,
  kAccessibleExpanded = 1u << 6,
  kAccessibleEditable = 1u << 7,
  kAccessibleMultiLine = 1u << 8,
  kAccessibleReadOnly = 1u << 9,
  // A password field: its text is not to be read out.
  kAccessibleProtected = 1u << 10,
};

// The interfaces beyond the component one that fit a control.
enum AccessibleInterfaceBits : uint32_t {
  kAccessibleAction = 1u << 0,
  kAccessibleValue = 1u << 1,
  kAccessibleText = 1u << 2,
  kAccessibleSelection = 1u << 3,
};

struct AccessibleInfo {
  AccessibleRole role = AccessibleRole::kPanel;
  std::wstring name;
  std::wstring description;
  uint32_t states = 0;
  uint32_t interfaces = 0;
  // The action's name ("click", "press", "toggle") with kAccessibleAction.
  const char* action = nullptr;
  // With kAccessibleValue.
  double value = 0.0;
  double min_value = 0.0;
  double max_value = 0.0;
  double step = 0.0;
  // With kAccessibleText: the text, the caret and the selection (code points).
  std::wstring text;
  int caret = -1;
  int selection_start = 0;
  int selection_end = 0;
};

enum class AccessibleChange {
  kName,        // text or tooltip
  kState,       // enabled, checked, selected, expanded
  kValue,       // progress or slider value
  kText,        // the text of a label or a field
  kCaret,       // caret or text selection of a field
  kSelection,   // the selected child of a list or combo
  kVisibility,  // shown or hidden: the control enters or leaves the tree
  kChildren,    // a child was added or removed
};

class AccessibilityObserver {
 public:
  virtual ~AccessibilityObserver() = default;
  // `control` is still whole.
  virtual void OnAccessibleChange(Control* control, AccessibleChange change) = 0;
  // The focus moved; either may be null, and `old_focus` may be gone (its
  // address is only a key).
  virtual void OnAccessibleFocus(Control* old_focus, Control* new_focus) = 0;
  // `control` is being destroyed: only its address may be used.
  virtual void OnControlDestroyed(Control* control) = 0;
  // The window is going away; the observer is detached after this.
  virtual void OnWindowDestroyed() = 0;
};

}  // namespace ui
