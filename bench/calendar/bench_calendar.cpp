// Time per SolarDateText call for today's date, a date in year 9999 and the
// largest day count that still names a year. Prints one line per case.
#include "common/ModuleDatum.h"

#include <QDate>

#include <chrono>
#include <cstdio>

namespace {

template <typename F>
void Measure(const char *what, int rounds, F &&call)
{
    qsizetype sink = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        sink += call();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const double ns = std::chrono::duration<double, std::nano>(elapsed).count() / rounds;
    std::printf("%-40s %10.0f ns/call  (%lld)\n", what, ns, static_cast<long long>(sink % 10));
}

} // namespace

int main()
{
    const QDate today = QDate::currentDate();
    const QDate far(9999, 12, 31);
    Measure("SolarDateText(today, 0)", 200000, [&] { return SolarDateText(today, 0).size(); });
    Measure("SolarDateText(today, 3)", 200000, [&] { return SolarDateText(today, 3).size(); });
    Measure("SolarDateText(9999-12-31, 0)", 200000, [&] { return SolarDateText(far, 0).size(); });
    Measure("SolarFromDayCount(7e11)", 200000, [] { return qsizetype(SolarFromDayCount(700000000000LL).year); });
    return 0;
}
