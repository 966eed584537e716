#include "shell/ui/Twips.h"

#include <QWidget>
#include <cmath>

namespace {
double dpiX(const QWidget *w) { return w ? w->logicalDpiX() : 96.0; }
double dpiY(const QWidget *w) { return w ? w->logicalDpiY() : 96.0; }
}

int TwipsToPixelsX(const QWidget *w, double twips) { return int(std::lround(twips * dpiX(w) / 1440.0)); }
int TwipsToPixelsY(const QWidget *w, double twips) { return int(std::lround(twips * dpiY(w) / 1440.0)); }
double PixelsToTwipsX(const QWidget *w, int pixels) { return pixels * 1440.0 / dpiX(w); }
double PixelsToTwipsY(const QWidget *w, int pixels) { return pixels * 1440.0 / dpiY(w); }
