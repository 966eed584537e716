#include "shell/NumberText.h"

#include <Qt>

namespace NumberText {

Key Classify(int qtKey, const QString &typed)
{
    if (qtKey == Qt::Key_Backspace || qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter)
        return Key::Accept;
    if (typed.isEmpty())
        return Key::Pass;
    bool printable = false;
    for (QChar c : typed) {
        if (c.category() == QChar::Other_Control)
            continue;
        printable = true;
        if (AsciiDigit(c).isNull())
            return Key::Refuse;
    }
    return printable ? Key::Accept : Key::Pass;
}

QString Corrected(const QString &text, int max)
{
    if (text.isEmpty())
        return QStringLiteral("1");
    int i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    // Anything at or above max needs no more digits than max has.
    qint64 value = 0;
    bool big = false;
    for (; i < text.size(); ++i) {
        const QChar d = AsciiDigit(text.at(i));
        if (d.isNull())
            break;
        value = value * 10 + (d.unicode() - u'0');
        if (value > max) {
            big = true;
            value = max;
        }
    }
    if (negative && (value > 0 || big))
        return QStringLiteral("1");
    if (big || value > max)
        return QString::number(max);
    if (value < 1)
        return QStringLiteral("1");
    return QString::number(value);
}

} // namespace NumberText
