#pragma once
#include <QFont>
#include <QString>

class QWidget;

// Geometry of the maintenance screens is given in twips (1440 to the inch),
// converted through the screen's logical DPI.
namespace ScreenUnits {
int X(const QWidget *w, double twips);
int Y(const QWidget *w, double twips);
double TwipsX(const QWidget *w, int pixels);
// "B Nazanin" where installed, else Nazli, else Noto Naskh Arabic.
QFont PersianFont(double pointSize, bool bold = false);
} // namespace ScreenUnits
