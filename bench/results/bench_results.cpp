// The results screen with 1,000 and 100,000 examinees, every one with 40
// answers: how long the screen takes to open, and how long one double-click
// (reading the examinee's answers afresh and scoring them) takes. A
// double-click should cost about the same at both sizes.
//
//   QT_QPA_PLATFORM=offscreen bench_results [ROUNDS] [SMALL LARGE]
#include "bench/support/BenchData.h"
#include "common/ui/Dialogs.h"
#include "results/ui/Frm_Ergebnis.h"
#include "store/ui/BoundGrid.h"

#include <QApplication>
#include <QLabel>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Figures {
    BenchData::Figure open, doubleClick;
    QString check;
};

bool run(int examinees, int rounds, Figures &f)
{
    BenchData::Folder folder(examinees);
    if (!folder.ok()) {
        std::fprintf(stderr, "cannot make the database: %s\n", qPrintable(folder.error()));
        return false;
    }
    f.open = BenchData::Measure(rounds, [] { Frm_Ergebnis w; });
    Frm_Ergebnis w;
    int pick = 0;
    f.doubleClick = BenchData::Measure(
        rounds, [&] { w.ScoreCurrentExaminee(); },
        [&] { w.VSFlexGrid1()->SelectRow(1 + (examinees / 3 + 7919 * pick++) % examinees); });
    // The oldest examinee, the last line, as a check that scoring ran.
    w.VSFlexGrid1()->SelectRow(w.VSFlexGrid1()->Rows() - 1);
    w.ScoreCurrentExaminee();
    f.check = w.LblKH(7)->text();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Dialogs::Test::Install();
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int small = argc > 3 ? std::atoi(argv[2]) : 1000;
    const int large = argc > 3 ? std::atoi(argv[3]) : 100000;

    Figures a, b;
    if (!run(small, rounds, a) || !run(large, rounds, b))
        return 1;
    std::printf("results screen, 40 answers per examinee, %d rounds (total raw of the oldest: %s, %s)\n", rounds,
                qPrintable(a.check), qPrintable(b.check));
    BenchData::PrintHeader(small, large);
    BenchData::PrintRow("results: open", a.open, b.open, 0);
    BenchData::PrintRow("results: double-click one examinee", a.doubleClick, b.doubleClick, 10);
    return 0;
}
