#include "common/ui/Twips.h"

#include <QRect>
#include <QWidget>

#include <cmath>

namespace {
int dpiX(const QWidget *w) { return w ? w->logicalDpiX() : 96; }
int dpiY(const QWidget *w) { return w ? w->logicalDpiY() : 96; }
}

int TwipsToPixels(double twips, int dpi) { return int(std::floor(twips * dpi / 1440.0 + 0.5)); }

int TwipsToPixelsX(const QWidget *w, double twips) { return TwipsToPixels(twips, dpiX(w)); }
int TwipsToPixelsY(const QWidget *w, double twips) { return TwipsToPixels(twips, dpiY(w)); }
double PixelsToTwipsX(const QWidget *w, int pixels) { return pixels * 1440.0 / dpiX(w); }
double PixelsToTwipsY(const QWidget *w, int pixels) { return pixels * 1440.0 / dpiY(w); }

QRect TwipsRect(const QWidget *w, double left, double top, double width, double height)
{
    return QRect(TwipsToPixelsX(w, left), TwipsToPixelsY(w, top), TwipsToPixelsX(w, width),
                 TwipsToPixelsY(w, height));
}

void PlaceTwips(QWidget *w, double left, double top, double width, double height)
{
    w->setGeometry(TwipsRect(w, left, top, width, height));
}
