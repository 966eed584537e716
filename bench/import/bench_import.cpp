// One answer import, timed: the workbook read and the 40 answers stored in
// the examinee's row of a database made from the delivered SQL. The budget is
// 200 ms per import. Also the time the reader takes to read, or give up on,
// workbooks built to make it allocate or work without end (reported, not
// held to the budget).
#include "capture/AnswerImport.h"
#include "common/ProgramFolder.h"
#include "store/DataControl.h"
#include "store/KvrDatabase.h"
#include "HostileWorkbooks.h"
#include "XlsxMaker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Timing {
    double median = 0, worst = 0;
};

template <typename F>
Timing Time(int rounds, F &&run)
{
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        run(i);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

    QTemporaryDir dir;
    SetProgramFolder(dir.path());
    QString error;
    if (!KvrDatabase::CreateFromSql(QStringLiteral(KVR_SOURCE_DIR "/data/KVRDB.sql"), ProgramFile(QStringLiteral("KVRDB.mdb")), &error)) {
        std::fprintf(stderr, "cannot make the database: %s\n", qPrintable(error));
        return 1;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(ProgramFile(QStringLiteral("KVRDB.mdb")));
        db.open();
        QSqlQuery q(db);
        // a clinic's worth of examinees, the one imported into among them
        db.transaction();
        for (int c = 1; c <= 5000; ++c) {
            q.prepare(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht) VALUES (?, 'x', '30', 'زن')"));
            q.addBindValue(QString::number(c));
            q.exec();
            q.prepare(QStringLiteral("INSERT INTO Answer1 (Code) VALUES (?)"));
            q.addBindValue(c);
            q.exec();
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));

    // Two workbooks with different answers, so every round really writes.
    QStringList a, b;
    for (int n = 1; n <= 40; ++n) {
        a << QString::number(n % 3);
        b << QString::number((n + 1) % 3);
    }
    const QString xlsxA = dir.filePath(QStringLiteral("a.xlsx"));
    const QString xlsxB = dir.filePath(QStringLiteral("b.xlsx"));
    for (const auto &[path, answers] : {std::pair{xlsxA, a}, std::pair{xlsxB, b}}) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(XlsxMaker::Make(XlsxMaker::Book{{XlsxMaker::AnswerSheet(answers)}}));
    }
    const QString xls = QStringLiteral(KVR_SOURCE_DIR "/tests/fixtures/import-all.xls");
    const QString formulas = QStringLiteral(KVR_SOURCE_DIR "/tests/fixtures/formulas-lo.xls");
    const QString blank = QStringLiteral(KVR_SOURCE_DIR "/data/KVR-Excel.xlsx");

    bool ok = true;
    auto import = [&](const QString &path) {
        DataControl answers;
        const AnswerImport::Report r = AnswerImport::Run(answers, QStringLiteral("2500"), path);
        ok = ok && r.outcome == AnswerImport::Outcome::Imported;
    };
    const Timing tx = Time(rounds, [&](int i) { import(i % 2 ? xlsxA : xlsxB); });
    const Timing tl = Time(rounds, [&](int i) { import(i % 2 ? xls : blank); });
    const Timing tf = Time(rounds, [&](int i) { import(i % 2 ? formulas : blank); });
    const Timing rx = Time(rounds, [&](int) { WorkbookReader::Read(xlsxA); });
    const Timing rl = Time(rounds, [&](int) { WorkbookReader::Read(xls); });

    std::printf("import of one workbook into 5000 examinees, %d rounds (median / worst, ms):\n", rounds);
    std::printf("  .xlsx import  %7.2f / %7.2f\n", tx.median, tx.worst);
    std::printf("  .xls  import  %7.2f / %7.2f\n", tl.median, tl.worst);
    std::printf("  .xls formulas %7.2f / %7.2f\n", tf.median, tf.worst);
    std::printf("  .xlsx read    %7.2f / %7.2f\n", rx.median, rx.worst);
    std::printf("  .xls  read    %7.2f / %7.2f\n", rl.median, rl.worst);
    std::printf("hostile workbooks, read from a file (median / worst, ms):\n");
    for (const HostileWorkbooks::Case &c : HostileWorkbooks::Cases()) {
        const QString path = dir.filePath(QStringLiteral("hostile"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(HostileWorkbooks::Make(c.name));
        f.close();
        const Timing th = Time(std::max(1, rounds / 10), [&](int) { WorkbookReader::Read(path); });
        std::printf("  %-34s %7.2f / %7.2f\n", qPrintable(c.name), th.median, th.worst);
    }
    const bool inBudget = tx.worst < 200 && tl.worst < 200 && tf.worst < 200;
    std::printf("%s\n", !ok ? "FAILED: an import did not succeed" : inBudget ? "within 200 ms" : "OVER the 200 ms budget");
    SetProgramFolder(QString());
    return ok && inBudget ? 0 : 1;
}
