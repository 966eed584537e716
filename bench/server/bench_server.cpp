// The program on a local PostgreSQL server (started for the run, as the
// tests start theirs) with 1,000 and with 100,000 examinees, all 40 answers
// stored for each: moving the clinic's file in (migrate), opening the
// registry, showing one examinee's answers on the answer sheet, scoring one
// examinee on the results screen, and the export.
//
//   QT_QPA_PLATFORM=offscreen bench-bin/bench_server [ROUNDS] [SMALL LARGE]
//
// Measured (Release, 2 cores shared with other builds, load average 2.3 to
// 2.7; the server with PostgreSQL's own durability settings; medians of 7
// rounds, 3 for migrate and export) with 100,000 examinees: migrate 3.0 s
// (target 30 s), registry open 209 ms (500 ms), one examinee's answers on the
// answer sheet 5.2 ms and on the results screen 4.0 ms (20 ms), export to
// .xls 0.9 s.
#include "bench/support/BenchData.h"
#include "capture/ui/Frm_Azmoodani.h"
#include "capture/ui/Frm_Pasoch.h"
#include "capture/ui/Frm_Test.h"
#include "common/ui/Dialogs.h"
#include "results/ExcelExport.h"
#include "results/ResultScoring.h"
#include "store/DatabaseLocation.h"
#include "store/LiveServer.h"
#include "store/ServerDatabase.h"
#include "store/ui/BoundGrid.h"
#include "tests/support/TestServer.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

void fire(QTimer *t) { QMetaObject::invokeMethod(t, "timeout"); }

struct Figures {
    BenchData::Figure migrate, registryOpen, sheetShow, score, exportAll;
};

bool run(int examinees, int rounds, Figures &f)
{
    BenchData::Folder folder(examinees);
    if (!folder.ok()) {
        std::fprintf(stderr, "cannot make the database: %s\n", qPrintable(folder.error()));
        return false;
    }
    TestServer &server = TestServer::Instance();
    const QString name = QStringLiteral("bench_%1").arg(examinees);
    bool migrated = true;
    // Each round moves the file into an empty database.
    f.migrate = BenchData::Measure(
        std::min(rounds, 3),
        [&] {
            const ServerDatabase::Outcome o = ServerDatabase::Migrate(QDir(folder.path()).filePath(KvrDatabase::FileName()));
            if (!o.ok || o.counts.examinees != examinees) {
                std::fprintf(stderr, "migrate: %s\n", qPrintable(o.error));
                migrated = false;
            }
        },
        [&] {
            LiveServer::Release();
            server.DropDatabase(name);
            server.CreateDatabase(name);
            DatabaseLocation::UseServer(server.For(name));
        });
    if (!migrated)
        return false;
    // As a clinic's server would have them after moving in.
    server.Admin(QStringLiteral("VACUUM ANALYZE"), nullptr, name);

    int pick = 0;
    auto nextCode = [&] { return 1 + (examinees / 3 + 7919 * pick++) % examinees; };
    f.registryOpen = BenchData::Measure(rounds, [] {
        auto *reg = new Frm_Azmoodani();
        reg->show();
        QCoreApplication::processEvents();
        delete reg;
    });

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
    sheet->close();
    QCoreApplication::processEvents();

    f.score = BenchData::Measure(rounds, [&] { ResultScoring::ReadAnswers(QString::number(nextCode())); });

    const QString target = QDir(folder.path()).filePath(QStringLiteral("all.xls"));
    f.exportAll = BenchData::Measure(std::min(rounds, 3), [&] { ExcelExport::Write(target); });
    LiveServer::Release();
    DatabaseLocation::UseFile();
    server.DropDatabase(name);
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
    // The tests' server, started again as a clinic's would run: every
    // commit waits for the disk.
    TestServer &server = TestServer::Instance();
    if (!server.ok() || !server.Stop() || !server.Start(true)) {
        std::fprintf(stderr, "%s\n", qPrintable(server.error()));
        return 1;
    }

    Figures a, b;
    if (!run(small, rounds, a) || !run(large, rounds, b))
        return 1;
    std::printf("on a local PostgreSQL server (fsync on), 40 answers per examinee, %d rounds\n", rounds);
    BenchData::PrintHeader(small, large);
    BenchData::PrintRow("migrate the file into the server", a.migrate, b.migrate, 30000);
    BenchData::PrintRow("registry: open", a.registryOpen, b.registryOpen, 500);
    BenchData::PrintRow("answer sheet: show one examinee", a.sheetShow, b.sheetShow, 20);
    BenchData::PrintRow("results: read one examinee's answers", a.score, b.score, 20);
    BenchData::PrintRow("export every examinee", a.exportAll, b.exportAll, 0);
    return 0;
}
