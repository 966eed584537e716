#include "capture/AnswerEntry.h"

namespace AnswerEntry {

QString AcceptedKeys() { return QStringLiteral("012"); }

int OptionOf(const QString &answer)
{
    const QString t = answer.trimmed();
    if (answer.isEmpty())
        return kNoOption;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok)
        return kLeaveOptions;
    if (v == 0)
        return 0;
    if (v == 1)
        return 1;
    if (v == 2)
        return 2;
    return kLeaveOptions;
}

int ItemNumber(const QString &text)
{
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t.at(i) == QLatin1Char('-') || t.at(i) == QLatin1Char('+'))) {
        negative = t.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    for (; i < t.size() && t.at(i).isDigit() && t.at(i).unicode() < 128; ++i) {
        value = value * 10 + (t.at(i).unicode() - '0');
        if (value > 1000000)
            break; // far past the last item; the exact size does not matter
    }
    return int(negative ? -value : value);
}

bool KeyCounter::Count()
{
    if (++m_value >= 10) {
        m_value = 0;
        return true;
    }
    return false;
}

} // namespace AnswerEntry
