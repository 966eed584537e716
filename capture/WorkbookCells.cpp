#include "capture/WorkbookCells.h"

#include <QDate>
#include <QDateTime>
#include <QStringList>

#include <cmath>

namespace WorkbookCells {

namespace {

constexpr double kSecondsPerDay = 86400;
// 9999-12-31, the last day a spreadsheet shows, in the 1900 date system.
constexpr double kLastSerial = 2958466;

// Skips a [...] part of a format code starting at i (on the '['); true when
// it is an elapsed-time field such as [h] or [mm].
bool ElapsedTimeField(const QString &code, int *i)
{
    const int close = code.indexOf(u']', *i);
    const int end = close < 0 ? int(code.size()) : close;
    const QStringView inside = QStringView(code).mid(*i + 1, end - *i - 1);
    *i = end;
    if (inside.isEmpty())
        return false;
    for (QChar c : inside)
        if (!QStringView(u"hHmMsS").contains(c))
            return false;
    return true;
}

QString TimeText(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

int SlotOf(int row, int column)
{
    if (row == kMarkerRow && column == kMarkerColumn)
        return 0;
    if (column == kAnswerColumn && row >= kFirstAnswerRow && row <= kLastAnswerRow)
        return row - kFirstAnswerRow + 1;
    return -1;
}

QString CellName(int slot)
{
    return slot == 0 ? QStringLiteral("Z3") : QStringLiteral("F%1").arg(slot + kFirstAnswerRow - 1);
}

QString PlainNumber(double number)
{
    return QString::number(number == 0 ? 0.0 : number, 'g', 15);
}

QString DateText(double serial, bool date1904)
{
    if (!std::isfinite(serial) || serial < 0 || serial >= kLastSerial)
        return QString();
    qint64 day = qint64(std::floor(serial));
    qint64 seconds = qRound64((serial - double(day)) * kSecondsPerDay);
    if (seconds >= qint64(kSecondsPerDay)) {
        ++day;
        seconds -= qint64(kSecondsPerDay);
    }
    if (day == 0)
        return TimeText(seconds); // a time of day without a date
    QString date;
    if (date1904)
        date = QDate(1904, 1, 1).addDays(day).toString(Qt::ISODate);
    else if (day == 60)
        date = QStringLiteral("1900-02-29"); // the day the 1900 date system counts and the calendar does not
    else
        date = QDate(1899, 12, day < 60 ? 31 : 30).addDays(day).toString(Qt::ISODate);
    if (date.isEmpty()) // past the year 9999
        return QString();
    return seconds == 0 ? date : date + u' ' + TimeText(seconds);
}

QString IsoDateText(const QString &text)
{
    const QString trimmed = text.trimmed();
    QDateTime when = QDateTime::fromString(trimmed, Qt::ISODate);
    if (!when.isValid())
        when = QDateTime(QDate::fromString(trimmed, Qt::ISODate), QTime(0, 0));
    if (!when.isValid())
        return text;
    const QString date = when.date().toString(Qt::ISODate);
    const QTime time = when.time();
    if (time == QTime(0, 0))
        return date;
    return date + u' ' + time.toString(QStringLiteral("HH:mm:ss"));
}

bool IsBuiltInDateFormat(int id)
{
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

bool IsDateFormatCode(const QString &code)
{
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"') {
            const int close = code.indexOf(u'"', i + 1);
            if (close < 0)
                return false;
            i = close;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i; // the next character is shown as it stands, or only its width counts
        } else if (c == u'[') {
            if (ElapsedTimeField(code, &i))
                return true;
        } else if (QStringView(u"dDmMyYhHsS").contains(c)) {
            return true;
        }
    }
    return false;
}

QString Text(const Value &value, bool date1904)
{
    switch (value.kind) {
    case Value::Kind::Number:
        if (value.dateFormat) {
            const QString date = DateText(value.number, date1904);
            if (!date.isEmpty())
                return date;
        }
        return PlainNumber(value.number);
    case Value::Kind::Text:
    case Value::Kind::Error:
        return value.text;
    case Value::Kind::Boolean:
        return value.number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case Value::Kind::Empty:
    case Value::Kind::Uncalculated:
        break;
    }
    return QString();
}

WorkbookReader::Result Failure(WorkbookReader::Status status, const QString &reason)
{
    WorkbookReader::Result r;
    r.status = status;
    r.reason = reason;
    return r;
}

WorkbookReader::Result Finish(const Value (&cells)[kSlots], bool date1904)
{
    QStringList uncalculated;
    for (int slot = 0; slot < kSlots; ++slot)
        if (cells[slot].kind == Value::Kind::Uncalculated)
            uncalculated << CellName(slot);
    if (!uncalculated.isEmpty())
        return Failure(WorkbookReader::Status::Uncalculated,
                       QStringLiteral("formula without a stored result in %1").arg(uncalculated.join(QStringLiteral(", "))));
    WorkbookReader::Result r;
    r.status = WorkbookReader::Status::Ok;
    r.z3 = Text(cells[0], date1904);
    for (int slot = 1; slot < kSlots; ++slot)
        r.answers.append(Text(cells[slot], date1904));
    return r;
}

} // namespace WorkbookCells
