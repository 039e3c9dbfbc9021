#pragma once

// The screen-reader view of a native window's contents. The native layer
// knows no controls; the layer that does implements this interface and
// installs it, and native windows made afterwards serve their accessible
// object through it. Without one they are plain toolkit windows.

namespace ui {

class Window;

class AccessibleBridge {
 public:
  virtual ~AccessibleBridge() = default;
  // A new toolkit window (a GtkWindow on GTK; `popup` for a drop-down) whose
  // accessible object lists the controls of the window core attached later;
  // null: the native window makes a plain one.
  virtual void* CreateToolkitWindow(bool popup) = 0;
  // `window` is what `toolkit_window` shows from now on; null detaches it
  // (the toolkit window is going) and every object of its tree goes defunct.
  virtual void Attach(void* toolkit_window, Window* window) = 0;
};

// The bridge for native windows made from now on (null: none); not owned.
void SetAccessibleBridge(AccessibleBridge* bridge);
AccessibleBridge* GetAccessibleBridge();

}  // namespace ui
