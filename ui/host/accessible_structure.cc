#include "ui/host/accessible_structure.h"

#include <algorithm>

#include "ui/core/box.h"
#include "ui/core/control.h"
#include "ui/core/window.h"

namespace ui {

std::vector<Control*> AccessibleChildren(const Window* window, const Control* control) {
  std::vector<Control*> children;
  if (!window) return children;
  if (!control) {
    Control* root = window->GetRoot();
    if (root && root->IsVisible()) children.push_back(root);
    return children;
  }
  const auto* box = dynamic_cast<const Box*>(control);
  if (!box) return children;
  const size_t count = box->GetCount();
  for (size_t i = 0; i < count; ++i) {
    Control* item = box->GetItemAt(i);
    if (item && item->GetParent() == box && item->IsVisible()) children.push_back(item);
  }
  return children;
}

int AccessibleIndex(const Window* window, const Control* control) {
  if (!window || !control) return -1;
  if (control == window->GetRoot()) return 0;
  const std::vector<Control*> siblings = AccessibleChildren(window, control->GetParentControl());
  auto it = std::find(siblings.begin(), siblings.end(), control);
  return it == siblings.end() ? -1 : static_cast<int>(it - siblings.begin());
}

bool InAccessibleTree(const Window* window, const Control* control) {
  if (!window || !control) return false;
  const Control* root = window->GetRoot();
  for (const Control* c = control; c; c = c->GetParentControl()) {
    if (!c->IsVisible()) return false;
    if (c == root) return true;
  }
  return false;
}

UiRect AccessibleBounds(const Control* control) {
  UiRect pos = control->GetPos(true);
  const CPoint scroll = control->GetScrollOffset();
  pos.Offset(-scroll.x, -scroll.y);
  return pos;
}

}  // namespace ui
