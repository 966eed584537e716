#include "maintenance/Backup.h"

#include "common/ModuleDatum.h"
#include "common/ProgramFolder.h"
#include "maintenance/DatabaseFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <memory>
#include <vector>

namespace Backup {
namespace {

// The copy itself. beforeCommit runs after the last chunk, just before the
// temporary file takes the destination's name; returning false abandons it.
CopyResult copyInto(const QString &source, const QString &destination,
                    const BetweenChunks &betweenChunks,
                    const std::function<bool(QString *)> &beforeCommit = {})
{
    // The file moves in chunks of 4048 bytes with the hook before each, but
    // the disk is asked for blocks of many chunks at a time: one read or
    // write call per chunk would cost far more than the copy itself.
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {false, in.errorString()};
    QSaveFile out(destination);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return {false, out.errorString()};

    constexpr qint64 chunksPerBlock = 1024;
    std::vector<char> block(size_t(ChunkSize * chunksPerBlock));
    const auto fail = [&out](const QString &error) {
        out.cancelWriting();
        return CopyResult{false, error};
    };
    for (;;) {
        const qint64 n = in.read(block.data(), qint64(block.size()));
        if (n < 0)
            return fail(in.errorString());
        // The hook runs before each chunk of the block, and once before the
        // read that finds the end.
        const qint64 chunks = n == 0 ? 1 : (n + ChunkSize - 1) / ChunkSize;
        for (qint64 c = 0; c < chunks; ++c)
            if (betweenChunks && !betweenChunks())
                return fail(QStringLiteral("The copy was interrupted."));
        if (n == 0)
            break;
        if (out.write(block.data(), n) != n)
            return fail(out.errorString());
    }
    in.close();
    QString error;
    if (beforeCommit && !beforeCommit(&error))
        return fail(error);
    if (!out.commit())
        return {false, out.errorString()};
    return {true, QString()};
}

// Holds the live database's write lock for as long as it lives: a write that
// is running is waited for, and none starts until the lock is let go.
class WriteLock
{
public:
    explicit WriteLock(const QString &path)
        : m_name(QStringLiteral("kvr-backup-lock"))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (!db.open()) {
            m_error = db.lastError().text();
            return;
        }
        QSqlQuery q(db);
        // Committed data still in a write-ahead log goes into the file first.
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        if (q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            m_held = true;
            return;
        }
        // A read-only database cannot take the write lock; a read lock still
        // keeps writers from committing while the file is copied.
        if (q.exec(QStringLiteral("BEGIN")) && q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))
            && q.next()) {
            m_held = true;
            return;
        }
        m_error = q.lastError().text();
    }
    ~WriteLock()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            if (db.isOpen()) {
                QSqlQuery q(db);
                q.exec(QStringLiteral("ROLLBACK"));
                q.finish();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    bool held() const { return m_held; }
    QString error() const { return m_error; }

private:
    QString m_name;
    QString m_error;
    bool m_held = false;
};

QString uniqueIn(const QDir &dir, const QString &name)
{
    if (!dir.exists(name))
        return dir.filePath(name);
    const QString base = QFileInfo(name).completeBaseName();
    const QString suffix = QFileInfo(name).suffix();
    for (int i = 2;; ++i) {
        const QString candidate = QStringLiteral("%1 (%2).%3").arg(base).arg(i).arg(suffix);
        if (!dir.exists(candidate))
            return dir.filePath(candidate);
    }
}

} // namespace

BetweenChunks ProcessEventsBetweenChunks()
{
    // Asking the event loop costs more than copying a chunk, so it is asked
    // only when a few milliseconds have passed since it last ran: the window
    // still repaints and the clock still ticks without visible delay.
    struct Clock {
        QElapsedTimer since;
        unsigned calls = 0;
    };
    auto clock = std::make_shared<Clock>();
    return [clock] {
        // Even the clock is read only every 16th chunk.
        if ((clock->calls++ & 15) != 0)
            return true;
        if (!clock->since.isValid() || clock->since.elapsed() >= 5) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            clock->since.start();
        }
        return true;
    };
}

CopyResult CopyFile(const QString &source, const QString &destination,
                    const BetweenChunks &betweenChunks)
{
    return copyInto(source, destination, betweenChunks);
}

QString LiveDatabasePath() { return ProgramFile(QStringLiteral("KVRDB.mdb")); }

QString BackupFolder(bool create)
{
    const QString folder = ProgramFile(QStringLiteral("KVR"));
    if (create && !QFileInfo(folder).isDir())
        QDir().mkpath(folder);
    return folder;
}

QString ClockText(const QTime &time)
{
    return QStringLiteral("%1.%2").arg(time.hour()).arg(time.minute(), 2, 10, QLatin1Char('0'));
}

QString DefaultBackupName(const QString &dateText, const QString &timeText)
{
    return QStringLiteral("KVR") + QString::fromUtf8("در تاريخ") + dateText
           + QString::fromUtf8(" ساعت)") + timeText + QStringLiteral(")") + QStringLiteral(".KVR");
}

QString SafetyCopyName(const QDateTime &when)
{
    return QStringLiteral("KVR") + QString::fromUtf8(" پيش از بازيابي در تاريخ")
           + SolarDateText(when.date(), 4) + QString::fromUtf8(" ساعت)")
           + ClockText(when.time()) + QStringLiteral(".")
           + QStringLiteral("%1").arg(when.time().second(), 2, 10, QLatin1Char('0'))
           + QStringLiteral(").KVR");
}

CopyResult BackUpDatabase(const QString &destination, const BetweenChunks &betweenChunks)
{
    const QString live = LiveDatabasePath();
    if (!QFileInfo(live).isFile())
        return {false, QStringLiteral("The database file %1 does not exist.").arg(QDir::toNativeSeparators(live))};
    WriteLock lock(live);
    if (!lock.held())
        return {false, lock.error()};
    return copyInto(live, destination, betweenChunks);
}

QString RestoreRefusal(const QString &candidate) { return DatabaseFile::Refusal(candidate); }

RestoreResult RestoreDatabase(const QString &backupFile, const BetweenChunks &betweenChunks)
{
    RestoreResult result;
    const QString refusal = RestoreRefusal(backupFile);
    if (!refusal.isEmpty()) {
        result.refused = true;
        result.error = refusal;
        return result;
    }

    const QString live = LiveDatabasePath();
    DatabaseFile::CloseAllDataControls();

    if (QFileInfo(live).isFile()) {
        const QString safety = uniqueIn(QDir(BackupFolder()), SafetyCopyName(QDateTime::currentDateTime()));
        const CopyResult kept = BackUpDatabase(safety, betweenChunks);
        if (!kept.ok) {
            DatabaseFile::ReopenAllDataControls();
            result.error = kept.error;
            return result;
        }
        result.safetyCopy = safety;
    }

    // The old database's journal files must not outlive it: SQLite would play
    // a leftover journal into the restored file.
    const auto dropJournals = [&live](QString *error) {
        for (const char *suffix : {"-journal", "-wal", "-shm"}) {
            const QString journal = live + QLatin1String(suffix);
            if (QFile::exists(journal) && !QFile::remove(journal)) {
                *error = QStringLiteral("Cannot remove %1.").arg(QDir::toNativeSeparators(journal));
                return false;
            }
        }
        return true;
    };
    const CopyResult copied = copyInto(backupFile, live, betweenChunks, dropJournals);
    DatabaseFile::ReopenAllDataControls();
    result.ok = copied.ok;
    result.error = copied.error;
    return result;
}

} // namespace Backup
