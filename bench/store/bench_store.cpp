// Data store speed with 100,000 examinees. Codes 2..100000 are inserted
// first and code 1 last, the worst case for the next examinee code.
#include "bench/support/BenchData.h"
#include "common/ProgramFolder.h"
#include "store/DataControl.h"
#include "store/Examinees.h"
#include "store/KvrDatabase.h"
#include "store/ui/BoundGrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

namespace {

const int kExaminees = 100000;
const QString kList = QStringLiteral(
    "select id,FullName,Alter,Geschlecht,Heirat,Datum1,Bildung,TelNummer1,Tester,Code  from IDE order by id desc ");

long statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}

bool fill(const QString &path)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        ok = db.open() && db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht, Heirat, Datum1, Bildung, "
                                 "TelNummer1, Tester) VALUES (?,?,?,?,?,?,?,?,?)"));
        QSqlQuery a(db);
        a.prepare(QStringLiteral("INSERT INTO Answer1 (Code) VALUES (?)"));
        for (int i = 0; ok && i < kExaminees; ++i) {
            const int code = i + 2 <= kExaminees ? i + 2 : 1;
            q.addBindValue(QString::number(code));
            q.addBindValue(QStringLiteral("آزمودني شماره %1 با نام خانوادگي").arg(code));
            q.addBindValue(QString::number(18 + code % 60));
            q.addBindValue(code % 2 ? QStringLiteral("مرد") : QStringLiteral("زن"));
            q.addBindValue(QStringLiteral("متاهل"));
            q.addBindValue(QStringLiteral("1402/07/13"));
            q.addBindValue(QStringLiteral("کارشناسي"));
            q.addBindValue(QStringLiteral("09120000000"));
            q.addBindValue(QStringLiteral("آزمونگر نمونه"));
            a.addBindValue(code);
            ok = q.exec() && a.exec();
            if (!ok)
                std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text() + a.lastError().text()));
        }
        ok = ok && db.commit();
        if (ok)
            BenchData::EnsureCodeIndexes(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

// CPU time of this thread: what the operation costs when the machine is not
// shared with other work.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetProgramFolder(dir.path());
    QString error;
    if (!KvrDatabase::CreateFromSql(QStringLiteral(KVR_SOURCE_DIR "/data/KVRDB.sql"), DataControl::DatabasePath(),
                                    &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    if (!fill(DataControl::DatabasePath()))
        return 1;
    std::printf("examinees: %d\n", kExaminees);

    // The registry's list into a bound grid, shown.
    const long rssBefore = statusKb("VmRSS:");
    QElapsedTimer t;
    double cpu = threadCpuMs();
    t.start();
    DataControl list;
    if (!list.Open(kList)) {
        std::fprintf(stderr, "%s\n", qPrintable(list.LastError()));
        return 1;
    }
    list.RecordCount(); // the list is read on demand: every row, as the grid will need them
    const double readMs = t.nsecsElapsed() / 1e6;
    BoundGrid grid;
    grid.SetDataControl(&list);
    grid.ColHidden(0, true);
    grid.ColHidden(10, true);
    grid.ColWidth(2, 2800);
    grid.resize(900, 600);
    grid.show();
    QCoreApplication::processEvents();
    const double openMs = t.nsecsElapsed() / 1e6;
    const double openCpu = threadCpuMs() - cpu;
    const long rssAfter = statusKb("VmRSS:");
    std::printf("open registry list into grid: %.1f ms (CPU %.1f ms; read %.1f ms), memory +%.1f MB (RSS %.1f MB, peak %.1f MB)\n",
                openMs, openCpu, readMs, (rssAfter - rssBefore) / 1024.0, rssAfter / 1024.0, statusKb("VmHWM:") / 1024.0);

    // Refresh of the same list (as after every save): the same read and the
    // grid following it, five times.
    std::vector<double> refreshes, refreshCpu;
    for (int i = 0; i < 5; ++i) {
        cpu = threadCpuMs();
        t.restart();
        list.Refresh();
        QCoreApplication::processEvents();
        refreshes.push_back(t.nsecsElapsed() / 1e6);
        refreshCpu.push_back(threadCpuMs() - cpu);
    }
    std::printf("refresh of the list with the grid bound: median %.1f ms (CPU %.1f ms), max %.1f ms\n",
                median(refreshes), median(refreshCpu), *std::max_element(refreshes.begin(), refreshes.end()));
    {
        DataControl plain;
        plain.Open(kList);
        std::vector<double> reads, readCpu;
        for (int i = 0; i < 5; ++i) {
            cpu = threadCpuMs();
            t.restart();
            plain.Refresh();
            plain.RecordCount();
            reads.push_back(t.nsecsElapsed() / 1e6);
            readCpu.push_back(threadCpuMs() - cpu);
        }
        std::printf("refresh and read of the list without a grid: median %.1f ms (CPU %.1f ms)\n", median(reads),
                    median(readCpu));
    }

    // Filters by code, with the grid following.
    std::vector<double> filters;
    QRandomGenerator rng(7);
    for (int i = 0; i < 200; ++i) {
        const QString code = QString::number(rng.bounded(1, kExaminees + 1));
        t.restart();
        list.Filter(QStringLiteral("code='") + code + QLatin1Char('\''));
        filters.push_back(t.nsecsElapsed() / 1e6);
        if (list.RecordCount() != 1)
            std::fprintf(stderr, "filter by %s found %d rows\n", qPrintable(code), list.RecordCount());
    }
    std::printf("filter by code (grid bound): first %.2f ms, median %.2f ms, max %.2f ms\n", filters[0],
                median(filters), *std::max_element(filters.begin(), filters.end()));

    // The same on a control without a grid (the registry filters its detail
    // control, whose fields are bound, not a grid).
    {
        DataControl detail;
        detail.Open(kList);
        std::vector<double> plain;
        for (int i = 0; i < 200; ++i) {
            const QString code = QString::number(rng.bounded(1, kExaminees + 1));
            t.restart();
            detail.Filter(QStringLiteral("code='") + code + QLatin1Char('\''));
            plain.push_back(t.nsecsElapsed() / 1e6);
        }
        std::printf("filter by code (no grid): first %.2f ms, median %.2f ms, max %.2f ms\n", plain[0],
                    median(plain), *std::max_element(plain.begin(), plain.end()));
    }

    // Next examinee code, worst case: the newest row holds code 1, codes 1..100000 in use.
    DataControl scratch;
    QString next;
    std::vector<double> wholes, wholeCpus;
    for (int i = 0; i < 5; ++i) {
        cpu = threadCpuMs();
        t.restart();
        next = Examinees::NextCode(scratch);
        wholes.push_back(t.nsecsElapsed() / 1e6);
        wholeCpus.push_back(threadCpuMs() - cpu);
    }
    const double wholeMs = median(wholes);
    const double wholeCpu = median(wholeCpus);
    std::vector<double> steps;
    for (int i = 0; i < 5; ++i) {
        scratch.Filter(QString());
        t.restart();
        scratch.MoveLast();
        const qint64 candidate = scratch.FirstFreeNumber(
            QStringLiteral("Code"), Examinees::CodeValue(scratch.Value(QStringLiteral("Code"))) + 1);
        steps.push_back(t.nsecsElapsed() / 1e6);
        if (QString::number(candidate) != next)
            std::fprintf(stderr, "step gave %lld\n", candidate);
    }
    std::printf("next examinee code %s: median %.1f ms (CPU %.1f ms) including reading the codes; stepping past the codes "
                "on the open control, %.1f ms median\n",
                qPrintable(next), wholeMs, wholeCpu, median(steps));
    return next == QString::number(kExaminees + 1) ? 0 : 1;
}
