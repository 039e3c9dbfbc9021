#pragma once

// The accessibility tree of a skinned window on Windows: the window answers
// WM_GETOBJECT for its client area with an IAccessible whose descendants are
// one IAccessible per visible control, kept in step with the control tree
// through the window core's accessibility observer and announced to clients
// with win events (NotifyWinEvent).

#include <windows.h>
// After windows.h, which it needs.
#include <oleacc.h>

#include <cstddef>

namespace ui {

class Control;

// Installs the bridge for the windows made from now on: their client area's
// accessible object shows the controls of the window core they carry. The
// calling thread (the UI thread) becomes a single-threaded COM apartment, so
// that clients' calls arrive through its message queue.
void UseMsaaAccessibleBridge();

// The object of `control` in the tree of `hwnd` when one was made, else
// null (no reference added).
IAccessible* FindControlAccessible(HWND hwnd, const Control* control);
// How many control objects the window's tree holds.
size_t CountControlAccessibles(HWND hwnd);
// The control behind one of this process's control objects; null once it is
// defunct, and for any other object.
Control* GetAccessibleControl(IAccessible* object);

}  // namespace ui
