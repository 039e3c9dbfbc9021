#pragma once

#include "app/main_thread.h"

namespace corvane {

// The windowed installer's start-up: the skin from the THEME resource, then
// the main window, centred and shown. An installer whose skin archive is
// missing or damaged, or lacks a control of the main window, says so on
// standard error and in a box and ends with status 1 before anything is
// fetched.
StartupHooks WindowedStartupHooks();

}  // namespace corvane
