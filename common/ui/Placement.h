#pragma once
// Where windows open. Every window opens whole on the screen, its title bar
// included, at any display scaling: centred over the main window, or at the
// place its screen names, and moved (and, where it may be resized, shrunk)
// as far as needed to lie inside the screen's available area.
//
//   Placement::Arrange(this);                            // over the main window
//   Placement::Arrange(this, {7085, 2745});              // twips from the screen's top-left
//   Placement::Arrange(this, {5000, Placement::Centred}); // left given, centred up and down
//
// Arrange() is called once the window has its size and before it is shown
// (the window manager then puts the frame where asked); the main window is
// shown by ShowMainWindow().
#include <QMargins>
#include <QRect>

class QWidget;

namespace Placement {

constexpr double Centred = -1;

// A place in twips from the top-left corner of the available area; Centred
// on an axis centres the window over the main window on that axis.
struct Spot {
    double left = Centred;
    double top = Centred;
};

void Arrange(QWidget *window, Spot spot = Spot());

// Shows the main window at its size, centred on the screen, when it fits;
// maximised, and no larger than the available area, when it does not.
void ShowMainWindow(QWidget *window);

// The screen area windows may take (the screen without its panels): that of
// the main window's screen, else of the window's own, else the primary one.
QRect AvailableArea(const QWidget *window);

// The room the window manager's frame takes around a window: measured on the
// window itself once it has been shown, else on the main window, else an
// allowance for a title bar and thin borders.
QMargins FrameMargins(const QWidget *window);

// The frame rectangle for a window whose frame would be `wanted`, inside
// `area`: no larger than the area (but not below `minimum`), then moved
// inside it, the top-left corner kept inside when the window cannot fit.
QRect Fit(QRect wanted, const QRect &area, QSize minimum = QSize());

} // namespace Placement
