// The capture screens with 1,000 and with 100,000 examinees, all 40 answers
// stored for each: opening the registry, saving an examinee with the list
// refreshed, choosing a line; showing and saving one examinee on the answer
// sheet; opening the test screen on one examinee. Work on one examinee should
// cost about the same at both sizes.
//
//   QT_QPA_PLATFORM=offscreen bench_capture [ROUNDS] [SMALL LARGE]
#include "bench/support/BenchData.h"
#include "capture/CaptureTexts.h"
#include "capture/ui/Frm_Azmoodani.h"
#include "capture/ui/Frm_Pasoch.h"
#include "capture/ui/Frm_Test.h"
#include "common/ui/Dialogs.h"
#include "store/ui/BoundGrid.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

void fire(QTimer *t) { QMetaObject::invokeMethod(t, "timeout"); }

struct Figures {
    BenchData::Figure registryOpen, registrySave, registryClick, sheetShow, sheetSave, testOpen;
};

bool run(int examinees, int rounds, Figures &f)
{
    BenchData::Folder folder(examinees);
    if (!folder.ok()) {
        std::fprintf(stderr, "cannot make the database: %s\n", qPrintable(folder.error()));
        return false;
    }
    // Examinees spread over the list, each round another.
    int pick = 0;
    auto nextCode = [&] { return 1 + (examinees / 3 + 7919 * pick++) % examinees; };

    f.registryOpen = BenchData::Measure(rounds, [] {
        auto *reg = new Frm_Azmoodani();
        reg->show();
        QCoreApplication::processEvents();
        delete reg;
    });

    auto *reg = new Frm_Azmoodani();
    reg->show();
    QCoreApplication::processEvents();
    f.registrySave = BenchData::Measure(
        rounds,
        [&] {
            reg->Save();
            QCoreApplication::processEvents();
        },
        [&] {
            reg->New();
            fire(reg->Timer1());
            reg->TxtAnmeldung(0)->setText(QStringLiteral("bench"));
            reg->TxtAnmeldung(1)->setText(QStringLiteral("40"));
            reg->findChild<QLineEdit *>(QStringLiteral("FEditGeschlecht"))->setText(CaptureText::Male());
        });
    f.registryClick = BenchData::Measure(rounds, [&] {
        reg->VSFlexGrid1()->SelectRow(1 + nextCode() % examinees);
        QCoreApplication::processEvents();
    });
    delete reg;

    auto *sheet = new Frm_Pasoch();
    sheet->show();
    QCoreApplication::processEvents();
    f.sheetShow = BenchData::Measure(
        rounds,
        [&] {
            sheet->ChooseExaminee();
            fire(sheet->Timer1());
            QCoreApplication::processEvents();
        },
        [&] { sheet->VSFlexGrid1()->SelectRow(1 + nextCode() % examinees); });
    int digit = 0;
    f.sheetSave = BenchData::Measure(
        rounds, [&] { sheet->Saveee(); },
        [&] { sheet->FlatEdit1(3)->setText(QString::number(digit++ % 3)); });
    sheet->close();
    QCoreApplication::processEvents();

    f.testOpen = BenchData::Measure(rounds, [&] {
        auto *test = new Frm_Test();
        test->SetExaminee(QStringLiteral("bench"), QString::number(nextCode()));
        test->show();
        QCoreApplication::processEvents();
        test->close();
    });
    QCoreApplication::processEvents();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int small = argc > 3 ? std::atoi(argv[2]) : 1000;
    const int large = argc > 3 ? std::atoi(argv[3]) : 100000;
    Dialogs::Test::Install(); // boxes are answered at once

    Figures a, b;
    if (!run(small, rounds, a) || !run(large, rounds, b))
        return 1;
    std::printf("capture screens, 40 answers per examinee, %d rounds\n", rounds);
    BenchData::PrintHeader(small, large);
    BenchData::PrintRow("registry: open", a.registryOpen, b.registryOpen, 300);
    BenchData::PrintRow("registry: save and refresh", a.registrySave, b.registrySave, 300);
    BenchData::PrintRow("registry: choose a line", a.registryClick, b.registryClick, 0);
    BenchData::PrintRow("answer sheet: show one examinee", a.sheetShow, b.sheetShow, 10);
    BenchData::PrintRow("answer sheet: save one sheet", a.sheetSave, b.sheetSave, 10);
    BenchData::PrintRow("test screen: open", a.testOpen, b.testOpen, 50);
    return 0;
}
