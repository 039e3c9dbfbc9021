#pragma once

#include <glib.h>

#include <memory>

#include "ui/animation/tick_source.h"

namespace ui {

// A tick source on `context` (null: the global default context).
std::unique_ptr<TickSource> CreateGLibTickSource(GMainContext* context);

}  // namespace ui
