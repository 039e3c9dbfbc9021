#pragma once

// The shape of a window's accessibility tree, the same for every desktop's
// bridge: which controls show, in what order, and where.

#include <unordered_map>
#include <vector>

#include "ui/geometry/geometry.h"

namespace ui {

class Control;
class Window;

// The children `control` shows: its listed, visible items (a combo's items
// live in its drop-down list, not here). Null `control` stands for the
// window, whose one child is its root while that is visible.
std::vector<Control*> AccessibleChildren(const Window* window, const Control* control);

// The place of `control` among its parent's accessible children; -1 when it
// has none.
int AccessibleIndex(const Window* window, const Control* control);

// Whether `control` shows in the tree: it and every control above it up to
// the window's root are visible.
bool InAccessibleTree(const Window* window, const Control* control);

// Where `control` shows in the window's client area, its scrolling applied.
UiRect AccessibleBounds(const Control* control);

// Takes `object` and every object below it out of a bridge's objects by
// control, and hands them over; `parent_of` gives an object's parent object
// (null above the top).
template <typename T, typename ParentOf>
std::vector<T*> TakeAccessibleSubtree(std::unordered_map<Control*, T*>* objects, T* object,
                                      ParentOf parent_of) {
  std::vector<T*> taken;
  for (auto it = objects->begin(); it != objects->end();) {
    bool below = false;
    for (T* o = it->second; o && !below; o = parent_of(o)) below = o == object;
    if (below) {
      taken.push_back(it->second);
      it = objects->erase(it);
    } else {
      ++it;
    }
  }
  return taken;
}

}  // namespace ui
