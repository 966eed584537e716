#include "common/Digits.h"

namespace Digits {

QChar AsciiDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return c;
    if (u >= 0x06F0 && u <= 0x06F9)
        return QChar(u'0' + (u - 0x06F0));
    if (u >= 0x0660 && u <= 0x0669)
        return QChar(u'0' + (u - 0x0660));
    return QChar();
}

QString ToAscii(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const QChar d = AsciiDigit(c);
        if (!d.isNull())
            c = d;
    }
    return out;
}

}
