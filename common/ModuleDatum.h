#pragma once
#include <QDate>
#include <QString>
#include <QtGlobal>

// Solar Hijri dates. The conversion counts days from a fixed epoch
// (21 March 1953 = 1 Farvardin 1332) and applies its own 32-year leap rule;
// it never asks the operating system's calendar support.

// A Solar Hijri date; all zero when the date is unset (outside the conversion).
struct SolarDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// Year, month and day for a count of days since 1 Farvardin 1332 (count 0).
// A negative count, or one too large to name a year, gives an unset date.
SolarDate SolarFromDayCount(qint64 days);

// True when the Solar Hijri year has 366 days.
bool IsSolarLeapYear(int year);

// The date's Solar Hijri text in one of five layouts (0 to 4):
//   0 "1402/07/13"   1 "13 <month> 1402"   2 "<weekday> 1402/7/13"
//   3 "<weekday> 13 <month> 1402"   4 "1402.7.13"
// Any other layout, an invalid date or a date before 21 March 1953 gives
// empty text. The time of day plays no part.
QString SolarDateText(const QDate &date, int layout = 0);
