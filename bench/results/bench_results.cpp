// The results screen with many examinees, every one with 40 answers: how long
// the screen takes to open, and how long one double-click (reading the answers
// afresh and scoring them) takes for the oldest examinee, the last line.
//
//   bench_results [EXAMINEES ...]     default: 1000 10000 100000
#include "common/ProgramFolder.h"
#include "common/ui/Dialogs.h"
#include "results/ui/Frm_Ergebnis.h"
#include "store/DataControl.h"
#include "store/KvrDatabase.h"
#include "store/ui/BoundGrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

bool fill(const QString &path, int examinees)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        ok = db.open() && db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht, Heirat, Bildung) "
                                 "VALUES (?,?,?,?,?,?)"));
        QString columns, marks;
        for (int n = 1; n <= 40; ++n) {
            columns += QStringLiteral(", \"%1\"").arg(n);
            marks += QStringLiteral(", ?");
        }
        QSqlQuery a(db);
        a.prepare(QStringLiteral("INSERT INTO Answer1 (Code%1) VALUES (?%2)").arg(columns, marks));
        for (int code = 1; ok && code <= examinees; ++code) {
            q.addBindValue(QString::number(code));
            q.addBindValue(QStringLiteral("آزمودني شماره %1").arg(code));
            q.addBindValue(QString::number(18 + code % 60));
            q.addBindValue(code % 2 ? QStringLiteral("مرد") : QStringLiteral("زن"));
            q.addBindValue(QStringLiteral("متاهل"));
            q.addBindValue(QStringLiteral("ليسانس"));
            ok = q.exec();
            a.addBindValue(code);
            for (int n = 1; n <= 40; ++n)
                a.addBindValue(QString::number((code + n) % 3));
            ok = ok && a.exec();
        }
        ok = ok && db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Dialogs::Test::Install();

    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(QString::fromLocal8Bit(argv[i]).toInt());
    if (sizes.empty())
        sizes = {1000, 10000, 100000};

    std::printf("%10s %14s %18s\n", "examinees", "open (ms)", "double-click (ms)");
    for (int n : sizes) {
        QTemporaryDir dir;
        SetProgramFolder(dir.path());
        QString error;
        if (!KvrDatabase::CreateFromSql(QStringLiteral(KVR_SOURCE_DIR "/data/KVRDB.sql"), DataControl::DatabasePath(),
                                        &error)
            || !fill(DataControl::DatabasePath(), n)) {
            std::fprintf(stderr, "cannot make the database: %s\n", qPrintable(error));
            return 1;
        }

        std::vector<double> opens, clicks;
        QString check;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer t;
            t.start();
            {
                Frm_Ergebnis w;
                opens.push_back(t.nsecsElapsed() / 1e6);
                w.VSFlexGrid1()->SelectRow(w.VSFlexGrid1()->Rows() - 1); // the oldest examinee
                t.restart();
                w.ScoreCurrentExaminee();
                clicks.push_back(t.nsecsElapsed() / 1e6);
                check = w.LblKH(7)->text();
            }
        }
        std::printf("%10d %14.1f %18.1f   (total raw %s)\n", n, median(opens), median(clicks), qPrintable(check));
        SetProgramFolder(QString());
    }
    return 0;
}
