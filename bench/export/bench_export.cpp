// Export benchmark: how long the Excel export of a full database takes and how
// much memory it needs.
//
//   bench_export make DB N     makes DB (from data/KVRDB.sql) with N examinees,
//                              each with a Persian name and all 40 answers
//   bench_export run DB OUT    exports DB to OUT as the program does; prints the
//                              time and the peak resident memory of the process
//   bench_export [N]           both, in a temporary folder (N = 65535)
//
// Peak memory of the export alone: /usr/bin/time -v bench_export run DB OUT.
#include "results/ExcelExport.h"
#include "store/KvrDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <sys/resource.h>

#include <cstdio>

namespace {

bool Make(const QString &db, int n)
{
    QFile::remove(db);
    QString error;
    if (!KvrDatabase::CreateFromSql(QStringLiteral(KVR_SOURCE_DIR "/data/KVRDB.sql"), db, &error)) {
        std::fprintf(stderr, "make: %s\n", qPrintable(error));
        return false;
    }
    bool ok = true;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        d.setDatabaseName(db);
        ok = d.open() && d.transaction();
        QSqlQuery ide(d), ans(d);
        ok = ok && ide.prepare(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht, Heirat, "
                                              "Datum1, Bildung, TelNummer1, Tester) VALUES (?,?,?,?,?,?,?,?,?)"));
        QString cols = QStringLiteral("Code"), marks = QStringLiteral("?");
        for (int i = 1; i <= 40; ++i) {
            cols += QStringLiteral(",\"%1\"").arg(i);
            marks += QStringLiteral(",?");
        }
        ok = ok && ans.prepare(QStringLiteral("INSERT INTO Answer1 (%1) VALUES (%2)").arg(cols, marks));
        const QString first[] = {QString::fromUtf8("علي"), QString::fromUtf8("مريم"), QString::fromUtf8("رضا"),
                                 QString::fromUtf8("زهرا"), QString::fromUtf8("حسين")};
        const QString last[] = {QString::fromUtf8("كريمي"), QString::fromUtf8("احمدي"), QString::fromUtf8("محمدي"),
                                QString::fromUtf8("حسيني"), QString::fromUtf8("رضايي"), QString::fromUtf8("موسوي")};
        const QString heirat[] = {QString::fromUtf8("مجرد"), QString::fromUtf8("متاهل"), QString()};
        for (int i = 1; ok && i <= n; ++i) {
            ide.addBindValue(QString::number(i));
            ide.addBindValue(first[i % 5] + QLatin1Char(' ') + last[i % 6] + QLatin1Char(' ') + QString::number(i));
            ide.addBindValue(QString::number(18 + i % 60));
            ide.addBindValue(i % 2 ? QString::fromUtf8("مرد") : QString::fromUtf8("زن"));
            ide.addBindValue(heirat[i % 3]);
            ide.addBindValue(QStringLiteral("1402/07/13"));
            ide.addBindValue(QString::fromUtf8("کارشناسي"));
            ide.addBindValue(QStringLiteral("0912%1").arg(i, 7, 10, QLatin1Char('0')));
            ide.addBindValue(QString::fromUtf8("دکتر"));
            ans.addBindValue(i);
            for (int k = 0; k < 40; ++k)
                ans.addBindValue(QString::number((i * 7 + k) % 3));
            ok = ide.exec() && ans.exec();
            if (!ok)
                std::fprintf(stderr, "make: %s %s\n", qPrintable(ide.lastError().text()),
                             qPrintable(ans.lastError().text()));
        }
        ok = ok && d.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
    return ok;
}

long PeakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

bool Run(const QString &db, const QString &out)
{
    const long before = PeakKb();
    QElapsedTimer t;
    t.start();
    const ExcelExport::Outcome o = ExcelExport::Write(out, db);
    const qint64 ms = t.elapsed();
    if (!o.ok) {
        std::fprintf(stderr, "run: %s\n", qPrintable(o.error));
        return false;
    }
    std::printf("exported %d examinees on %d worksheet(s) in %lld ms; file %lld bytes; "
                "peak resident memory %.1f MB (%.1f MB before the export)\n",
                o.rows, o.sheets, static_cast<long long>(ms), static_cast<long long>(QFile(out).size()),
                PeakKb() / 1024.0, before / 1024.0);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("make") && args.size() == 3)
        return Make(args[1], args[2].toInt()) ? 0 : 1;
    if (args.value(0) == QLatin1String("run") && args.size() == 3)
        return Run(args[1], args[2]) ? 0 : 1;
    const int n = args.isEmpty() ? 65535 : args[0].toInt();
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("KVRDB.mdb"));
    if (!Make(db, n))
        return 1;
    return Run(db, dir.filePath(QStringLiteral("export.xls"))) ? 0 : 1;
}
