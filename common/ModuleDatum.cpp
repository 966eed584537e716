#include "common/ModuleDatum.h"

#include <limits>

namespace {

const QDate kEpoch(1953, 3, 21); // 1 Farvardin 1332
constexpr int kEpochYear = 1332;

// Months 1 to 12.
const QString kMonthNames[12] = {
    QStringLiteral("فروردين"),
    QStringLiteral("ارديبهشت"),
    QStringLiteral("خرداد"),
    QStringLiteral("تير"),
    QStringLiteral("مرداد"),
    QStringLiteral("شهريور"),
    QStringLiteral("مهر"),
    QStringLiteral("آبان"),
    QStringLiteral("آذر"),
    QStringLiteral("دي"),
    QStringLiteral("بهمن"),
    QStringLiteral("اسفند"),
};

// Sunday to Saturday.
const QString kWeekdayNames[7] = {
    QStringLiteral("يکشنبه"),
    QStringLiteral("دوشنبه"),
    QStringLiteral("سه شنبه"),
    QStringLiteral("چهارشنبه"),
    QStringLiteral("پنجشنبه"),
    QStringLiteral("جمعه"),
    QStringLiteral("شنبه"),
};

// With t = year - 1309 and r = (t mod 32) - (t div 32), a year is a leap year
// when r mod 4 = 0. The pattern repeats every 128 years: t mod 32 comes back
// every 32 years and t div 32 grows by 4 over 128, which leaves r mod 4 as it
// was.
constexpr int kCycleYears = 128;

int YearLength(int year) { return IsSolarLeapYear(year) ? 366 : 365; }

qint64 CycleDays()
{
    static const qint64 days = [] {
        qint64 sum = 0;
        for (int k = 0; k < kCycleYears; ++k)
            sum += YearLength(kEpochYear + k);
        return sum;
    }();
    return days;
}

} // namespace

bool IsSolarLeapYear(int year)
{
    const qint64 t = qint64(year) - 1309;
    // C++ division truncates toward zero and the remainder takes the sign of
    // the dividend, which is what the rule asks for.
    const qint64 r = (t % 32) - (t / 32);
    return r % 4 == 0;
}

SolarDate SolarFromDayCount(qint64 days)
{
    if (days < 0)
        return {};

    // Whole cycles first so that a far-off date needs at most one cycle of
    // year-by-year steps. The cycle only holds from the epoch year onward
    // (t >= 0), which is every year this function reaches.
    const qint64 cycles = days / CycleDays();
    const qint64 maxCycles = (std::numeric_limits<int>::max() - kEpochYear) / kCycleYears - 1;
    if (cycles > maxCycles)
        return {};
    days -= cycles * CycleDays();
    int year = kEpochYear + int(cycles) * kCycleYears;

    for (;;) {
        const int length = YearLength(year);
        if (days - length < 0)
            break;
        days -= length;
        ++year;
    }

    SolarDate d;
    d.year = year;
    if (days <= 185) {
        // the first six months have 31 days each
        d.month = int(days / 31) + 1;
        d.day = int(days % 31) + 1;
    } else {
        // the last six have 30; day 366 of a leap year lands on 30 Esfand
        days -= 186;
        d.month = int(days / 30) + 7;
        d.day = int(days % 30) + 1;
    }
    return d;
}

QString SolarDateText(const QDate &date, int layout)
{
    if (layout < 0 || layout > 4 || !date.isValid())
        return {};
    const SolarDate s = SolarFromDayCount(kEpoch.daysTo(date));
    if (s.year == 0)
        return {};

    const QString year = QString::number(s.year);
    const QString month = QString::number(s.month);
    const QString day = QString::number(s.day);
    const QString &monthName = kMonthNames[s.month - 1];
    // dayOfWeek() counts Monday 1 to Sunday 7; the names start on Sunday.
    const QString &weekdayName = kWeekdayNames[date.dayOfWeek() % 7];
    const QChar blank(u' ');

    switch (layout) {
    case 0:
        return year + u'/' + month.rightJustified(2, u'0') + u'/' + day.rightJustified(2, u'0');
    case 1:
        return day + blank + monthName + blank + year;
    case 2:
        return weekdayName + blank + year + u'/' + month + u'/' + day;
    case 3:
        return weekdayName + blank + day + blank + monthName + blank + year;
    case 4:
        return year + u'.' + month + u'.' + day;
    }
    return {};
}
