// Backup copy of a large file compared with cp of the same file, in the same
// run and on the same folder. The copy runs as the backup screen runs it:
// 4048-byte chunks, pending events processed before each chunk, written
// through a temporary file that is renamed into place. Then the whole backup
// of a database file of the same size (lock, journal mode, copy), and of one
// another program keeps in WAL mode with a reader open (SQLite's online
// backup).
#include "common/ProgramFolder.h"
#include "maintenance/Backup.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include <sqlite3.h>

namespace {
double seconds(const std::function<bool()> &run)
{
    QElapsedTimer t;
    t.start();
    if (!run()) {
        std::fprintf(stderr, "run failed\n");
        std::exit(1);
    }
    return t.nsecsElapsed() / 1e9;
}
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double best(const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); }
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const qint64 mib = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024;
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("kvr-bench-XXXXXX")));
    const QString src = dir.filePath(QStringLiteral("KVRDB.mdb"));
    {
        QFile f(src);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qint64 i = 0; i < mib; ++i) {
            for (int j = 0; j < block.size(); j += 64)
                block[j] = char(i + j);
            f.write(block);
        }
    }
    const double bytes = double(mib) * (1 << 20);
    const QString cpDst = dir.filePath(QStringLiteral("cp.KVR"));
    const QString ourDst = dir.filePath(QStringLiteral("backup.KVR"));

    // The copy syncs the new file to disk before it takes the destination's
    // name (a backup must be on the disk before it replaces one); cp does
    // not, so cp followed by a sync of its file is shown as well.
    std::vector<double> cp, cpSync, ours, oursNoEvents;
    for (int round = 0; round < 3; ++round) {
        QFile::remove(cpDst);
        cp.push_back(seconds([&] { return QProcess::execute(QStringLiteral("cp"), {src, cpDst}) == 0; }));
        QFile::remove(cpDst);
        cpSync.push_back(seconds([&] {
            return QProcess::execute(QStringLiteral("cp"), {src, cpDst}) == 0
                   && QProcess::execute(QStringLiteral("sync"), {cpDst}) == 0;
        }));
        QFile::remove(ourDst);
        ours.push_back(seconds([&] {
            return Backup::CopyFile(src, ourDst, Backup::ProcessEventsBetweenChunks()).ok;
        }));
        QFile::remove(ourDst);
        oursNoEvents.push_back(seconds([&] { return Backup::CopyFile(src, ourDst).ok; }));
    }
    const double cpRate = bytes / median(cp) / 1e6;
    const double ourRate = bytes / median(ours) / 1e6;
    const double rawRate = bytes / median(oursNoEvents) / 1e6;
    std::printf("file %lld MiB, median of 3\n", static_cast<long long>(mib));
    std::printf("cp                              %8.3f s  %8.1f MB/s\n", median(cp), cpRate);
    const double cpSyncRate = bytes / median(cpSync) / 1e6;
    std::printf("cp, then sync of its file       %8.3f s  %8.1f MB/s\n", median(cpSync), cpSyncRate);
    std::printf("backup copy (events per chunk)  %8.3f s  %8.1f MB/s  %.2f of cp\n", median(ours), ourRate,
                ourRate / cpRate);
    std::printf("backup copy (no event hook)     %8.3f s  %8.1f MB/s  %.2f of cp\n", median(oursNoEvents), rawRate,
                rawRate / cpRate);
    std::printf("backup copy against cp + sync   %.2f\n", ourRate / cpSyncRate);
    // On a busy machine the best of the rounds says more than the median.
    std::printf("best of 3: cp %.3f s, cp + sync %.3f s, backup copy %.3f s: %.2f of cp, %.2f of cp + sync\n",
                best(cp), best(cpSync), best(ours), best(cp) / best(ours), best(cpSync) / best(ours));

    // A database file of the same size in a program folder of its own.
    const QString program = dir.filePath(QStringLiteral("program"));
    QDir().mkpath(program);
    SetProgramFolder(program);
    const QString live = Backup::LiveDatabasePath();
    sqlite3 *db = nullptr;
    const QByteArray fill = QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; CREATE TABLE Pad (b BLOB); "
                                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                           "INSERT INTO Pad SELECT randomblob(1048000) FROM n")
                                .arg(mib)
                                .toUtf8();
    if (sqlite3_open(QFile::encodeName(live).constData(), &db) != SQLITE_OK
        || sqlite3_exec(db, fill.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot make the database: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    sqlite3_close(db);
    const double dbBytes = double(QFileInfo(live).size());
    const QString dbDst = dir.filePath(QStringLiteral("db.KVR"));
    std::vector<double> dbCp, dbOurs;
    for (int round = 0; round < 3; ++round) {
        QFile::remove(cpDst);
        dbCp.push_back(seconds([&] { return QProcess::execute(QStringLiteral("cp"), {live, cpDst}) == 0; }));
        QFile::remove(dbDst);
        dbOurs.push_back(seconds([&] {
            const Backup::CopyResult r = Backup::BackUpDatabase(dbDst, Backup::ProcessEventsBetweenChunks());
            if (!r.ok)
                std::fprintf(stderr, "%s\n", qPrintable(r.error));
            return r.ok;
        }));
    }
    std::printf("database file %.0f MiB, median of 3\n", dbBytes / (1 << 20));
    std::printf("cp                              %8.3f s  %8.1f MB/s\n", median(dbCp), dbBytes / median(dbCp) / 1e6);
    std::printf("backup of the database          %8.3f s  %8.1f MB/s  %.2f of cp\n", median(dbOurs),
                dbBytes / median(dbOurs) / 1e6, median(dbCp) / median(dbOurs));

    // Another program keeps the file in WAL mode and reads: the pages go
    // through SQLite's online backup.
    sqlite3 *reader = nullptr;
    sqlite3_open(QFile::encodeName(live).constData(), &reader);
    sqlite3_exec(reader, "PRAGMA journal_mode=WAL; BEGIN; SELECT count(*) FROM Pad", nullptr, nullptr, nullptr);
    QFile::remove(dbDst);
    const double wal = seconds([&] { return Backup::BackUpDatabase(dbDst).ok; });
    sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(reader);
    std::printf("backup of a WAL file in use     %8.3f s  %8.1f MB/s  %.2f of cp (one run)\n", wal,
                dbBytes / wal / 1e6, median(dbCp) / wal);
    return 0;
}
