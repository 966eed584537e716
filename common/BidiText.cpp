#include "common/BidiText.h"

#include <QStringList>

namespace Bidi {

QString LeftToRight(const QString &text)
{
    return QChar(0x2066) + text + QChar(0x2069);
}

bool StartsLeftToRight(const QString &text)
{
    for (const QChar c : text) {
        switch (c.direction()) {
        case QChar::DirL:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirLRI:
            return true;
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
            return false;
        default:
            break;
        }
    }
    return false;
}

QString KeepLineDirections(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        // A CR before the LF stays outside the unit.
        const bool cr = line.endsWith(QLatin1Char('\r'));
        if (cr)
            line.chop(1);
        if (StartsLeftToRight(line))
            line = LeftToRight(line);
        if (cr)
            line += QLatin1Char('\r');
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace Bidi
