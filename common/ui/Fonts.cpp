#include "common/ui/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

#include <fontconfig/fontconfig.h>

namespace {
// Looks the wanted families up in the list of installed ones, read once.
// QFontDatabase::hasFamily reads that same list and then has fontconfig
// resolve the name as an alias first, which for each name asked costs a few
// milliseconds at start, more than reading the list itself. The wanted names
// are families, not aliases.
QString firstInstalled(const QStringList &wanted)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString &w : wanted)
        if (installed.contains(w, Qt::CaseInsensitive))
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

EarlySetUp::EarlySetUp()
    : m_thread([] { FcInit(); })
{
}

EarlySetUp::~EarlySetUp() { Finish(); }

void EarlySetUp::Finish()
{
    if (m_thread.joinable())
        m_thread.join();
}

}
