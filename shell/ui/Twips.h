#pragma once
class QWidget;

// Window geometry is given in twips (1440 to the inch), converted through the
// screen's logical resolution.
int TwipsToPixelsX(const QWidget *w, double twips);
int TwipsToPixelsY(const QWidget *w, double twips);
double PixelsToTwipsX(const QWidget *w, int pixels);
double PixelsToTwipsY(const QWidget *w, int pixels);
