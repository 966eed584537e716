#include "maintenance/ui/ScreenUnits.h"

#include <QFontDatabase>
#include <QWidget>
#include <cmath>

namespace ScreenUnits {
int X(const QWidget *w, double twips) { return int(std::lround(twips * w->logicalDpiX() / 1440.0)); }
int Y(const QWidget *w, double twips) { return int(std::lround(twips * w->logicalDpiY() / 1440.0)); }
double TwipsX(const QWidget *w, int pixels) { return pixels * 1440.0 / w->logicalDpiX(); }

QFont PersianFont(double pointSize, bool bold)
{
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char *name : {"B Nazanin", "Nazli", "Noto Naskh Arabic"})
            if (installed.contains(QString::fromLatin1(name)))
                return QString::fromLatin1(name);
        return QString::fromLatin1("B Nazanin");
    }();
    QFont f(family);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}
} // namespace ScreenUnits
