#include "common/ui/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace {
// Asks for each wanted family by name: listing every family the system has
// would read every font file's details, a noticeable part of the start-up.
QString firstInstalled(const QStringList &wanted)
{
    for (const QString &w : wanted)
        if (QFontDatabase::hasFamily(w))
            return w;
    return QString();
}
}

namespace Fonts {

QString PersianFamily()
{
    static const QString family = [] {
        const QString f = firstInstalled({QStringLiteral("B Nazanin"), QStringLiteral("Nazli"),
                                          QStringLiteral("Noto Naskh Arabic")});
        return f.isEmpty() ? QStringLiteral("B Nazanin") : f;
    }();
    return family;
}

QString TitleFamily()
{
    static const QString family = [] {
        const QString f = firstInstalled({QStringLiteral("Cooper Black"), QStringLiteral("DejaVu Serif"),
                                          QStringLiteral("Liberation Serif"), QStringLiteral("Noto Serif"),
                                          QStringLiteral("FreeSerif")});
        return f.isEmpty() ? QStringLiteral("serif") : f;
    }();
    return family;
}

QFont Persian(qreal pointSize, bool bold)
{
    QFont f(PersianFamily());
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

QFont Title(qreal pointSize)
{
    QFont f(TitleFamily());
    f.setStyleHint(QFont::Serif);
    f.setPointSizeF(pointSize);
    // Cooper Black is heavy by itself; a stand-in face is drawn bold to match.
    f.setBold(f.family().compare(QStringLiteral("Cooper Black"), Qt::CaseInsensitive) != 0);
    return f;
}

}
