#include "common/Version.h"

#include <QLocale>

#include <cmath>

namespace AppVersion {

int Major() { return KVR_VERSION_MAJOR; }
int Minor() { return KVR_VERSION_MINOR; }
int Revision() { return KVR_VERSION_PATCH; }

QString ShortText()
{
    return QString::number(Major()) + u'.' + QString::number(Minor());
}

QString FullText()
{
    return ShortText() + u'.' + QString::number(Revision());
}

double LocalNumber() { return LocalNumber(Major(), Minor()); }

double LocalNumber(int major, int minor)
{
    return ReadPublishedNumber(QString::number(major) + QString::number(minor));
}

namespace {
bool IsSkippable(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }
bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }
} // namespace

double ReadPublishedNumber(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && IsSkippable(text[i]))
        ++i;

    QString number;
    bool seenStop = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (IsDigit(c)) {
            number += c;
        } else if (c == u'.' && !seenStop) {
            seenStop = true;
            number += c;
        } else if (!IsSkippable(c)) {
            break;
        }
    }

    bool ok = false;
    // a lone full stop reads as no number at all
    const double value = QLocale::c().toDouble(number, &ok);
    if (!ok || !std::isfinite(value))
        return 0;
    return value;
}

bool IsNewer(double published, double local) { return published > local; }

} // namespace AppVersion
