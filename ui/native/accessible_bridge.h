#pragma once

// The screen-reader view of a native window's contents. The native layer
// knows no controls; the layer that does implements this interface and
// installs it, and native windows made afterwards serve their accessible
// object through it. Without one they are plain toolkit windows.

#include <cstdint>

namespace ui {

class Window;

class AccessibleBridge {
 public:
  virtual ~AccessibleBridge() = default;
  // A new toolkit window (a GtkWindow on GTK; `popup` for a drop-down) whose
  // accessible object lists the controls of the window core attached later;
  // null: the native window makes its own (on Windows always: the bridge
  // serves any HWND that is attached).
  virtual void* CreateToolkitWindow(bool popup) = 0;
  // `window` is what `toolkit_window` (the window's toolkit object: a
  // GtkWindow, an HWND) shows from now on; null detaches it (the toolkit
  // window is going) and every object of its tree goes defunct.
  virtual void Attach(void* toolkit_window, Window* window) = 0;
  // Answers the toolkit's request for the accessible object of
  // `toolkit_window` (WM_GETOBJECT and its two parameters on Windows). True
  // when the bridge answered; `*result` is then the answer. Toolkits that ask
  // their own accessible objects (GTK) never call it.
  virtual bool AnswerAccessibleQuery(void* /*toolkit_window*/, uintptr_t /*query*/,
                                     intptr_t /*detail*/, intptr_t* /*result*/) {
    return false;
  }
};

// The bridge for native windows made from now on (null: none); not owned.
void SetAccessibleBridge(AccessibleBridge* bridge);
AccessibleBridge* GetAccessibleBridge();

}  // namespace ui
