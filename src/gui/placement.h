// Where the program's windows appear: dialogs and boxes centred over the main window, and no
// window partly off the screen's available area (the area without panels and taskbars).
#pragma once

#include <QRect>
#include <QWidget>

#include "view/geometry.h"

namespace korvex::gui {

view::Rect RectOf(const QRect& rect);
QRect QRectOf(const view::Rect& rect);

// The available area of the screen `window` is on (or of the primary screen).
QRect AvailableArea(const QWidget& window);

// Moves the top-level `window` so that it is centred over `owner` and lies inside the
// available area. Call it from the window's show event, once its size is final: a position
// set there is kept, and the toolkit's own placement (which goes wrong while the main window
// is still being mapped at start-up) is not used.
void CentreOver(QWidget& window, const QWidget& owner);

// Moves the top-level `window` so that its frame lies inside the available area.
void KeepOnScreen(QWidget& window);

}  // namespace korvex::gui
