#pragma once
// Shared by the benchmarks: a database of many examinees with all 40
// answers stored, and timing in wall-clock and thread CPU time.
#include "common/ProgramFolder.h"
#include "store/KvrDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace BenchData {

// The look-ups by code are served by an index on Code in both tables. The
// delivered database brings its own; a database without one gets a plain
// index here, so the figures show the program as clinics run it.
inline void EnsureCodeIndexes(QSqlDatabase &db)
{
    for (const QString &table : {QStringLiteral("IDE"), QStringLiteral("Answer1")}) {
        bool indexed = false;
        QSqlQuery list(db);
        list.exec(QStringLiteral("PRAGMA index_list(\"%1\")").arg(table));
        while (!indexed && list.next()) {
            QSqlQuery info(db);
            info.exec(QStringLiteral("PRAGMA index_info(\"%1\")").arg(list.value(1).toString()));
            indexed = info.next() && info.value(0).toInt() == 0
                && info.value(2).toString().compare(QLatin1String("Code"), Qt::CaseInsensitive) == 0;
        }
        if (!indexed)
            QSqlQuery(db).exec(QStringLiteral("CREATE INDEX bench_%1_code ON \"%1\"(Code)").arg(table));
    }
}

// Adds examinees 1..n (code = insertion order), each with an answer row
// holding all 40 answers.
inline bool Fill(const QString &path, int examinees)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench_fill"));
        db.setDatabaseName(path);
        ok = db.open() && db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht, Heirat, Datum1, Bildung, "
                                 "TelNummer1, Tester) VALUES (?,?,?,?,?,?,?,?,?)"));
        QStringList cols, marks;
        for (int n = 1; n <= 40; ++n) {
            cols << QStringLiteral("\"%1\"").arg(n);
            marks << QStringLiteral("?");
        }
        QSqlQuery a(db);
        a.prepare(QStringLiteral("INSERT INTO Answer1 (Code,%1) VALUES (?,%2)").arg(cols.join(','), marks.join(',')));
        for (int code = 1; ok && code <= examinees; ++code) {
            q.addBindValue(QString::number(code));
            q.addBindValue(QStringLiteral("آزمودني شماره %1 با نام خانوادگي").arg(code));
            q.addBindValue(QString::number(18 + code % 60));
            q.addBindValue(code % 2 ? QStringLiteral("مرد") : QStringLiteral("زن"));
            q.addBindValue(QStringLiteral("متاهل"));
            q.addBindValue(QStringLiteral("1402/07/13"));
            q.addBindValue(QStringLiteral("کارشناسي"));
            q.addBindValue(QStringLiteral("09120000000"));
            q.addBindValue(QStringLiteral("آزمونگر نمونه"));
            ok = q.exec();
            a.addBindValue(code);
            for (int n = 1; n <= 40; ++n)
                a.addBindValue(QString::number((code + n) % 3));
            ok = ok && a.exec();
        }
        ok = ok && db.commit();
        if (ok)
            EnsureCodeIndexes(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench_fill"));
    return ok;
}

// A scratch program folder holding a filled KVRDB.mdb; the program folder
// points at it while it lives.
class Folder
{
public:
    explicit Folder(int examinees)
    {
        SetProgramFolder(m_dir.path());
        const QString db = QDir(m_dir.path()).filePath(KvrDatabase::FileName());
        m_ok = KvrDatabase::CreateFromSql(QStringLiteral(KVR_SOURCE_DIR "/data/KVRDB.sql"), db, &m_error)
            && Fill(db, examinees);
    }
    ~Folder() { SetProgramFolder(QString()); }
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
    QString m_error;
};

// CPU time of this thread: what an operation costs when the machine is not
// shared with other work.
inline double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Figure {
    double wall = 0; // median, ms
    double cpu = 0;  // median, ms
    double best = 0; // fastest round, wall ms
};

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Runs prepare (untimed) and then op (timed) for the given rounds.
inline Figure Measure(int rounds, const std::function<void()> &op, const std::function<void()> &prepare = {})
{
    std::vector<double> walls, cpus;
    for (int r = 0; r < rounds; ++r) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        const double cpu = ThreadCpuMs();
        t.start();
        op();
        walls.push_back(double(t.nsecsElapsed()) / 1e6);
        cpus.push_back(ThreadCpuMs() - cpu);
    }
    Figure f;
    f.wall = Median(walls);
    f.cpu = Median(cpus);
    f.best = walls.empty() ? 0 : *std::min_element(walls.begin(), walls.end());
    return f;
}

// One line of a table of figures at two sizes: median wall time (thread CPU
// time), fastest round, and the ratio of the two sizes' CPU medians (on a
// busy machine the wall time mostly measures the other work).
inline void PrintRow(const char *what, const Figure &small, const Figure &large, double target)
{
    std::printf("%-36s %8.2f (%7.2f) %8.2f  %8.2f (%7.2f) %8.2f  %6.2fx  %s\n", what, small.wall, small.cpu, small.best,
                large.wall, large.cpu, large.best, small.cpu > 0 ? large.cpu / small.cpu : 0.0,
                target > 0 ? qPrintable(QStringLiteral("target <= %1 ms").arg(target)) : "");
}

inline void PrintHeader(int small, int large)
{
    std::printf("%-36s %28s  %28s  %7s\n", "", qPrintable(QStringLiteral("%1 examinees").arg(small)),
                qPrintable(QStringLiteral("%1 examinees").arg(large)), "CPU ratio");
    std::printf("%-36s %8s %9s %8s  %8s %9s %8s\n", "operation (ms)", "median", "(CPU)", "best", "median", "(CPU)", "best");
}

} // namespace BenchData
