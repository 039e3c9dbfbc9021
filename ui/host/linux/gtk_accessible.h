#pragma once

// The accessibility tree of a skinned window on GTK 3: the window's
// GtkAccessible has one AtkObject per visible control below it, kept in step
// with the control tree through the window core's accessibility observer, so
// the AT-SPI bridge carries the controls to screen readers.

#include <gtk/gtk.h>

#include <cstddef>

namespace ui {

class Control;
class Window;

// Installs the bridge for the GTK windows made from now on: their
// accessible objects show the controls of the window core they carry.
void UseGtkAccessibleBridge();

// The object of `control` when one was made, else null (no reference added).
AtkObject* FindControlAccessible(GtkWidget* widget, const Control* control);
// How many control objects the window's tree holds.
size_t CountControlAccessibles(GtkWidget* widget);
// The control behind a control object; null once it is defunct.
Control* GetAccessibleControl(AtkObject* object);

}  // namespace ui
