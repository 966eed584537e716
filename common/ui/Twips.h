#pragma once
// Window geometry is given in twips (1440 to the inch) and converted through
// the screen's logical resolution, so a screen keeps its proportions at any
// display scaling.
//
//   PlaceTwips(button, 7620, 4860, 1200, 450);   // left, top, width, height
//   resize(TwipsToPixelsX(this, 9000), TwipsToPixelsY(this, 5700));
class QRect;
class QWidget;

// Whole pixels for a length in twips at a resolution in dots per inch
// (halves round up).
int TwipsToPixels(double twips, int dpi);

// Through the widget's logical resolution (96 dpi without a widget).
int TwipsToPixelsX(const QWidget *w, double twips);
int TwipsToPixelsY(const QWidget *w, double twips);
double PixelsToTwipsX(const QWidget *w, int pixels);
double PixelsToTwipsY(const QWidget *w, int pixels);

// A rectangle given in twips, in pixels of the widget's resolution.
QRect TwipsRect(const QWidget *w, double left, double top, double width, double height);
// Sets a child widget's geometry from twips (inside its parent).
void PlaceTwips(QWidget *w, double left, double top, double width, double height);
