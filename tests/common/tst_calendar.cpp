#include "common/ModuleDatum.h"

#include <QCalendar>
#include <QSet>
#include <QTest>

#include <limits>

namespace {

// The calendar stated once more, independently of the day count: step one
// day at a time from 1 Farvardin 1332. Months 1-6 have 31 days, 7-11 have
// 30, Esfand 29 or 30 in a leap year.
SolarDate NextDay(SolarDate d)
{
    const int length = d.month <= 6 ? 31 : d.month <= 11 ? 30 : (IsSolarLeapYear(d.year) ? 30 : 29);
    if (d.day < length)
        ++d.day;
    else if (d.month < 12)
        d = {d.year, d.month + 1, 1};
    else
        d = {d.year + 1, 1, 1};
    return d;
}

QString Text(const SolarDate &d)
{
    return QStringLiteral("%1/%2/%3").arg(d.year).arg(d.month).arg(d.day);
}

} // namespace

class TestCalendar : public QObject
{
    Q_OBJECT
private slots:
    void leapYears()
    {
        const QSet<int> leap = {1333, 1337, 1342, 1346, 1350, 1354, 1358, 1362, 1366, 1370, 1375,
                                1379, 1383, 1387, 1391, 1395, 1399, 1403, 1408, 1412, 1416};
        for (int year = 1332; year <= 1419; ++year)
            QVERIFY2(IsSolarLeapYear(year) == leap.contains(year), qPrintable(QString::number(year)));
    }

    void dateText_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("expected");
        QTest::newRow("5 Oct 2023, layout 0") << QDate(2023, 10, 5) << 0 << QStringLiteral("1402/07/13");
        QTest::newRow("5 Oct 2023, layout 1") << QDate(2023, 10, 5) << 1 << QStringLiteral("13 مهر 1402");
        QTest::newRow("5 Oct 2023, layout 2") << QDate(2023, 10, 5) << 2 << QStringLiteral("پنجشنبه 1402/7/13");
        QTest::newRow("5 Oct 2023, layout 3") << QDate(2023, 10, 5) << 3 << QStringLiteral("پنجشنبه 13 مهر 1402");
        QTest::newRow("5 Oct 2023, layout 4") << QDate(2023, 10, 5) << 4 << QStringLiteral("1402.7.13");
        QTest::newRow("layout 5") << QDate(2023, 10, 5) << 5 << QString();
        QTest::newRow("layout 7") << QDate(2023, 10, 5) << 7 << QString();
        QTest::newRow("layout -1") << QDate(2023, 10, 5) << -1 << QString();
        QTest::newRow("epoch, layout 0") << QDate(1953, 3, 21) << 0 << QStringLiteral("1332/01/01");
        QTest::newRow("epoch, layout 2") << QDate(1953, 3, 21) << 2 << QStringLiteral("شنبه 1332/1/1");
        QTest::newRow("22 Sep 1953, last 31-day month day") << QDate(1953, 9, 22) << 1 << QStringLiteral("31 شهريور 1332");
        QTest::newRow("23 Sep 1953, first 30-day month day") << QDate(1953, 9, 23) << 1 << QStringLiteral("1 مهر 1332");
        QTest::newRow("23 Sep 1953, layout 4 unpadded") << QDate(1953, 9, 23) << 4 << QStringLiteral("1332.7.1");
        QTest::newRow("20 Mar 2021, day 366 of 1399") << QDate(2021, 3, 20) << 0 << QStringLiteral("1399/12/30");
        QTest::newRow("21 Mar 2021") << QDate(2021, 3, 21) << 0 << QStringLiteral("1400/01/01");
        QTest::newRow("19 Mar 2024, day 365 of 1402") << QDate(2024, 3, 19) << 0 << QStringLiteral("1402/12/29");
        QTest::newRow("20 Mar 2024") << QDate(2024, 3, 20) << 0 << QStringLiteral("1403/01/01");
        QTest::newRow("day before the epoch, layout 0") << QDate(1953, 3, 20) << 0 << QString();
        QTest::newRow("day before the epoch, layout 1") << QDate(1953, 3, 20) << 1 << QString();
        QTest::newRow("day before the epoch, layout 2") << QDate(1953, 3, 20) << 2 << QString();
        QTest::newRow("day before the epoch, layout 3") << QDate(1953, 3, 20) << 3 << QString();
        QTest::newRow("day before the epoch, layout 4") << QDate(1953, 3, 20) << 4 << QString();
        QTest::newRow("month 1 name") << QDate(2023, 3, 21) << 1 << QStringLiteral("1 فروردين 1402");
        QTest::newRow("month 2 name") << QDate(2023, 4, 21) << 1 << QStringLiteral("1 ارديبهشت 1402");
        QTest::newRow("month 3 name") << QDate(2023, 5, 22) << 1 << QStringLiteral("1 خرداد 1402");
        QTest::newRow("month 4 name") << QDate(2023, 6, 22) << 1 << QStringLiteral("1 تير 1402");
        QTest::newRow("month 5 name") << QDate(2023, 7, 23) << 1 << QStringLiteral("1 مرداد 1402");
        QTest::newRow("month 6 name") << QDate(2023, 8, 23) << 1 << QStringLiteral("1 شهريور 1402");
        QTest::newRow("month 7 name") << QDate(2023, 9, 23) << 1 << QStringLiteral("1 مهر 1402");
        QTest::newRow("month 8 name") << QDate(2023, 10, 23) << 1 << QStringLiteral("1 آبان 1402");
        QTest::newRow("month 9 name") << QDate(2023, 11, 22) << 1 << QStringLiteral("1 آذر 1402");
        QTest::newRow("month 10 name") << QDate(2023, 12, 22) << 1 << QStringLiteral("1 دي 1402");
        QTest::newRow("month 11 name") << QDate(2024, 1, 21) << 1 << QStringLiteral("1 بهمن 1402");
        QTest::newRow("month 12 name") << QDate(2024, 2, 20) << 1 << QStringLiteral("1 اسفند 1402");
        QTest::newRow("weekday Sunday") << QDate(2023, 10, 1) << 3 << QStringLiteral("يکشنبه 9 مهر 1402");
        QTest::newRow("weekday Monday") << QDate(2023, 10, 2) << 3 << QStringLiteral("دوشنبه 10 مهر 1402");
        QTest::newRow("weekday Tuesday") << QDate(2023, 10, 3) << 3 << QStringLiteral("سه شنبه 11 مهر 1402");
        QTest::newRow("weekday Wednesday") << QDate(2023, 10, 4) << 3 << QStringLiteral("چهارشنبه 12 مهر 1402");
        QTest::newRow("weekday Thursday") << QDate(2023, 10, 5) << 3 << QStringLiteral("پنجشنبه 13 مهر 1402");
        QTest::newRow("weekday Friday") << QDate(2023, 10, 6) << 3 << QStringLiteral("جمعه 14 مهر 1402");
        QTest::newRow("weekday Saturday") << QDate(2023, 10, 7) << 3 << QStringLiteral("شنبه 15 مهر 1402");
        QTest::newRow("invalid date") << QDate() << 0 << QString();
    }
    void dateText()
    {
        QFETCH(QDate, date);
        QFETCH(int, layout);
        QFETCH(QString, expected);
        QCOMPARE(SolarDateText(date, layout), expected);
    }

    void layoutDefaultsToZero()
    {
        const QDate date(2024, 3, 20);
        QCOMPARE(SolarDateText(date), SolarDateText(date, 0));
        QCOMPARE(SolarDateText(date), QStringLiteral("1403/01/01"));
    }

    void dayCountOutsideTheConversion_data()
    {
        QTest::addColumn<qint64>("days");
        QTest::newRow("-1") << qint64(-1);
        QTest::newRow("lowest") << std::numeric_limits<qint64>::min();
        QTest::newRow("highest") << std::numeric_limits<qint64>::max();
        QTest::newRow("year beyond int") << qint64(1000000000000);
    }
    void dayCountOutsideTheConversion()
    {
        QFETCH(qint64, days);
        const SolarDate d = SolarFromDayCount(days);
        QCOMPARE(d.year, 0);
        QCOMPARE(d.month, 0);
        QCOMPARE(d.day, 0);
    }

    // The count skips whole 128-year cycles before stepping year by year;
    // walking day by day past several cycles must land on the same dates.
    void dayCountMatchesADayByDayWalk()
    {
        const QDate end(9999, 12, 31);
        const qint64 last = QDate(1953, 3, 21).daysTo(end);
        SolarDate walk{1332, 1, 1};
        for (qint64 days = 0; days <= last; ++days, walk = NextDay(walk)) {
            const SolarDate d = SolarFromDayCount(days);
            if (d.year != walk.year || d.month != walk.month || d.day != walk.day)
                QFAIL(qPrintable(QStringLiteral("count %1 gives %2, the walk %3")
                                     .arg(days).arg(Text(d), Text(walk))));
        }
    }

    // Layout 0 against Qt's own Jalali calendar, 1332 to 1419. They agree on
    // every day; should a day ever differ, this calendar's rule stands and
    // the failure names the day.
    void agreesWithQtJalali()
    {
        const QCalendar jalali(QCalendar::System::Jalali);
        QStringList differing;
        for (QDate date(1953, 3, 21); date <= QDate(2041, 3, 20); date = date.addDays(1)) {
            const QCalendar::YearMonthDay p = jalali.partsFromDate(date);
            const QString qt = QStringLiteral("%1/%2/%3")
                                   .arg(p.year)
                                   .arg(p.month, 2, 10, QLatin1Char('0'))
                                   .arg(p.day, 2, 10, QLatin1Char('0'));
            const QString ours = SolarDateText(date, 0);
            if (ours != qt)
                differing << date.toString(Qt::ISODate) + QStringLiteral(": ") + ours + QStringLiteral(" vs Qt ") + qt;
        }
        QVERIFY2(differing.isEmpty(), qPrintable(differing.join(u'\n')));
    }
};

QTEST_MAIN(TestCalendar)
#include "tst_calendar.moc"
