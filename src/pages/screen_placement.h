#pragma once
// Where the program's windows go: every one lies wholly on the available area of
// the screen it opens on, shrunk where the screen is smaller than the window (a
// small screen, a large scale factor), and none below its least size.

#include <QRect>

class QDialog;
class QWidget;

namespace tarnwick::pages {

// frame moved, and first shrunk where it is larger, so that it lies inside available.
QRect FitInto(const QRect& frame, const QRect& available);

// Fits window (shown, or about to be: its showEvent) into the available area of the
// screen it is on. A window never moved opens centred on the window it belongs to,
// on that one's screen; one moved stays where it was put, as far as it fits.
void KeepOnScreen(QWidget& window);

// The main window keeps its fixed layout; on a screen too small for it, its
// controls scroll inside a window that fits.
void FitMainWindow(QDialog& window);

}  // namespace tarnwick::pages
