#pragma once

// GDI+ for the whole process: started once, by the skin's start-up or by the
// first object that needs it, and stopped at the end of an orderly shutdown.

namespace ui {

// Starts GDI+ unless it runs; false when it cannot be started (every GDI+
// call then fails and nothing is drawn). Any thread.
bool EnsureGdiplus();

// Stops GDI+ when it runs. Every GDI+ object must be gone by then; a later
// EnsureGdiplus starts it again.
void StopGdiplus();

}  // namespace ui
