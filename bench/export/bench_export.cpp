// Export benchmark: how long the data export of a full database takes and how
// much memory it needs, in each format, with and without the scores.
//
//   bench_export make DB N       makes DB (from data/KVRDB.sql) with N examinees,
//                                each with a Persian name and all 40 answers
//   bench_export run DB OUT [--scores]
//                                exports DB to OUT (format by extension) as the
//                                program does; prints the wall and CPU time and
//                                the peak resident memory of the process
//   bench_export [N]             65,535 examinees (or N) in every format, with
//                                and without scores; without N also the .xls
//                                export of 140,000 and 1,000,000 examinees.
//                                Each export runs in a process of its own, so
//                                its peak memory is its own.
//
// Targets: 65,535 examinees in every format within 1.5 s and 50 MB; .xls of
// 140,000 within 50 MB and of 1,000,000 within 10 s and 60 MB.
#include "results/ExcelExport.h"
#include "store/KvrDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
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

double CpuSeconds(const rusage &u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool Run(const QString &db, const QString &out, bool scores)
{
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    ExcelExport::Options options;
    options.scores = scores;
    ExcelExport::FormatOfName(out, &options.format);
    QElapsedTimer t;
    t.start();
    const ExcelExport::Outcome o = ExcelExport::Write(out, options, db);
    const qint64 ms = t.elapsed();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    // The .xlsx writer runs as a helper process: its time and memory count too.
    rusage helper{};
    getrusage(RUSAGE_CHILDREN, &helper);
    if (!o.ok) {
        std::fprintf(stderr, "run: %s\n", qPrintable(o.error));
        return false;
    }
    std::printf("%-5s %-6s %8d examinees: %6lld ms wall, %6.0f ms CPU, peak %5.1f MB (%.1f MB before)%s, "
                "file %.1f MB, %d sheet(s)\n",
                qPrintable(ExcelExport::Extension(options.format).mid(1)), scores ? "scores" : "-", o.rows,
                static_cast<long long>(ms), (CpuSeconds(after) - CpuSeconds(before) + CpuSeconds(helper)) * 1000.0,
                after.ru_maxrss / 1024.0, before.ru_maxrss / 1024.0,
                helper.ru_maxrss > 0 ? qPrintable(QStringLiteral(", helper process %1 MB").arg(helper.ru_maxrss / 1024.0, 0, 'f', 1))
                                     : "",
                QFile(out).size() / 1048576.0, o.sheets);
    std::fflush(stdout);
    return true;
}

bool RunChild(const QString &db, const QString &out, bool scores)
{
    QStringList args = {QStringLiteral("run"), db, out};
    if (scores)
        args << QStringLiteral("--scores");
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QCoreApplication::applicationFilePath(), args);
    const bool ok = p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    QFile::remove(out);
    return ok;
}

bool Sizes(const QTemporaryDir &dir, int n, bool allFormats)
{
    const QString db = dir.filePath(QStringLiteral("KVRDB-%1.mdb").arg(n));
    std::printf("-- %d examinees\n", n);
    std::fflush(stdout);
    if (!Make(db, n))
        return false;
    bool ok = true;
    const char *formats[] = {"xls", "xlsx", "sav", "csv"};
    for (const char *f : formats) {
        if (!allFormats && qstrcmp(f, "xls") != 0)
            continue;
        for (bool scores : {false, true}) {
            if (!allFormats && scores)
                continue;
            ok = RunChild(db, dir.filePath(QStringLiteral("export.") + QLatin1String(f)), scores) && ok;
        }
    }
    QFile::remove(db);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("make") && args.size() == 3)
        return Make(args[1], args[2].toInt()) ? 0 : 1;
    if (args.value(0) == QLatin1String("run") && (args.size() == 3 || args.size() == 4))
        return Run(args[1], args[2], args.value(3) == QLatin1String("--scores")) ? 0 : 1;
    QTemporaryDir dir;
    if (!args.isEmpty())
        return Sizes(dir, args[0].toInt(), true) ? 0 : 1;
    bool ok = Sizes(dir, 65535, true);
    ok = Sizes(dir, 140000, false) && ok;
    ok = Sizes(dir, 1000000, false) && ok;
    return ok ? 0 : 1;
}
