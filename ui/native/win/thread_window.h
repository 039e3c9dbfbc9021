#pragma once

// One hidden message-only window per UI thread: it runs the tasks native
// windows post (whatever loop pumps the thread's queue, the base library's
// UI pump or a modal loop) and owns the clipboard while text is put there.

#include <windows.h>

#include <functional>

#include "base/win/message_window.h"

namespace ui {

// Queues `task` to run on the calling thread's message queue after the
// current message. Tasks run in order; a task posted by a task runs on a
// later message, so a queue that keeps refilling cannot starve input.
void PostThreadTask(std::function<void()> task);

// The module this code is linked into (the program, for a static library).
HINSTANCE GetUiModule();

// Detaches the owner from `hwnd`, so late messages find none, and destroys it.
void DestroyMessageWindow(HWND hwnd);

// The calling thread's message window (made on first use); null when the
// system refuses one.
HWND GetThreadMessageWindow();

}  // namespace ui
