#include "maintenance/Backup.h"

#include "common/ModuleDatum.h"
#include "common/ProgramFolder.h"
#include "common/SafeFile.h"
#include "maintenance/BackupTexts.h"
#include "maintenance/DatabaseFile.h"
#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/KvrDatabase.h"
#include "store/LiveDatabase.h"
#include "store/LiveServer.h"
#include "store/ServerDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <memory>
#include <vector>

#include <sqlite3.h>

namespace Backup {
namespace {

QString sourceUnreadable(const QFile &in)
{
    return MaintenanceText::SourceUnreadable() + QLatin1Char('\n') + in.fileName() + QStringLiteral(": ")
           + in.errorString();
}

// The copy itself, written through SafeFile: the destination changes only
// when the whole copy is on the disk. beforeCommit runs after the last
// chunk, just before the new file takes the destination's name; returning
// false abandons it.
CopyResult copyInto(const QString &source, const QString &destination,
                    const BetweenChunks &betweenChunks,
                    const std::function<bool(QString *)> &beforeCommit = {})
{
    // The file moves in chunks of 4048 bytes with the hook before each, but
    // the disk is asked for blocks of many chunks at a time: one read or
    // write call per chunk would cost far more than the copy itself.
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {false, sourceUnreadable(in)};
    SafeFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return {false, out.PersianReason()};

    constexpr qint64 chunksPerBlock = 1024;
    std::vector<char> block(size_t(ChunkSize * chunksPerBlock));
    const auto fail = [&out](const QString &error) {
        out.cancel();
        return CopyResult{false, error};
    };
    for (;;) {
        const qint64 n = in.read(block.data(), qint64(block.size()));
        if (n < 0)
            return fail(sourceUnreadable(in));
        // The hook runs before each chunk of the block, and once before the
        // read that finds the end.
        const qint64 chunks = n == 0 ? 1 : (n + ChunkSize - 1) / ChunkSize;
        for (qint64 c = 0; c < chunks; ++c)
            if (betweenChunks && !betweenChunks())
                return fail(MaintenanceText::CopyInterrupted() + QStringLiteral("\nThe copy was interrupted."));
        if (n == 0)
            break;
        if (out.write(block.data(), n) != n)
            return fail(out.PersianReason());
    }
    in.close();
    QString error;
    if (beforeCommit && !beforeCommit(&error))
        return fail(error);
    if (!out.commit())
        return {false, out.PersianReason()};
    return {true, QString()};
}

// A copy of a database still in write-ahead-log mode (another program keeps
// it open that way, so it could not be switched): its committed rows may be
// in the -wal file, so the pages are read through SQLite's online backup,
// which sees every committed row, into the temporary file of a SafeFile.
// The copy is marked as a rollback-journal file, as the program keeps its
// database.
CopyResult copyThroughSqlite(const QString &source, const QString &destination,
                             const BetweenChunks &betweenChunks)
{
    SafeFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return {false, out.PersianReason()};
    sqlite3 *src = nullptr;
    sqlite3 *dst = nullptr;
    QString error;
    if (sqlite3_open_v2(QFile::encodeName(source).constData(), &src, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        error = DatabaseError::Text(sqlite3_extended_errcode(src), QString::fromUtf8(sqlite3_errmsg(src)));
    } else if (sqlite3_open_v2(QFile::encodeName(out.temporaryName()).constData(), &dst, SQLITE_OPEN_READWRITE,
                               nullptr)
               != SQLITE_OK) {
        error = SafeFile::PersianReasonFor(sqlite3_system_errno(dst)) + QLatin1Char('\n')
                + QString::fromUtf8(sqlite3_errmsg(dst));
    } else {
        sqlite3_busy_timeout(src, KvrDatabase::BusyTimeoutMs);
        // The temporary file is thrown away on any failure, so it needs no
        // journal of its own; SafeFile syncs it before it takes the name.
        sqlite3_exec(dst, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        sqlite3_backup *backup = sqlite3_backup_init(dst, "main", src, "main");
        int rc = backup ? SQLITE_OK : sqlite3_errcode(dst);
        // The hook runs before every step of pages as large as a block of
        // the plain copy.
        constexpr int pagesPerStep = 1024;
        while (backup && rc == SQLITE_OK) {
            if (betweenChunks && !betweenChunks()) {
                error = MaintenanceText::CopyInterrupted() + QStringLiteral("\nThe copy was interrupted.");
                break;
            }
            rc = sqlite3_backup_step(backup, pagesPerStep);
        }
        if (backup && sqlite3_backup_finish(backup) != SQLITE_OK && rc == SQLITE_DONE)
            rc = sqlite3_errcode(dst);
        if (error.isEmpty() && rc != SQLITE_DONE) {
            const int systemError = sqlite3_system_errno(dst);
            error = (systemError != 0 ? SafeFile::PersianReasonFor(systemError)
                                      : DatabaseError::Text(rc, QString()))
                    + QLatin1Char('\n') + QString::fromUtf8(sqlite3_errstr(rc));
        }
    }
    sqlite3_close_v2(dst);
    sqlite3_close_v2(src);
    if (!error.isEmpty()) {
        out.cancel();
        return {false, error};
    }
    // Bytes 18 and 19 of the header: 1 is the rollback journal, 2 the WAL.
    if (!out.seek(18) || out.write("\x01\x01", 2) != 2 || !out.commit())
        return {false, out.PersianReason()};
    return {true, QString()};
}

// Holds the live database's write lock for as long as it lives: a write that
// is running is waited for, and none starts until the lock is let go. On the
// way the file is switched to rollback-journal mode when no other program
// keeps it in WAL mode.
class WriteLock
{
public:
    explicit WriteLock(const QString &path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            fail();
            return;
        }
        sqlite3_busy_timeout(m_db, KvrDatabase::BusyTimeoutMs);
        // Refused while another connection keeps the file in WAL mode; what
        // the file is in afterwards is asked separately.
        sqlite3_exec(m_db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
        sqlite3_stmt *mode = nullptr;
        if (sqlite3_prepare_v2(m_db, "PRAGMA journal_mode", -1, &mode, nullptr) == SQLITE_OK
            && sqlite3_step(mode) == SQLITE_ROW)
            m_wal = qstricmp(reinterpret_cast<const char *>(sqlite3_column_text(mode, 0)), "wal") == 0;
        sqlite3_finalize(mode);
        if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) {
            m_held = true;
            return;
        }
        const int immediate = sqlite3_extended_errcode(m_db);
        // A read-only database cannot take the write lock; a read lock still
        // keeps writers from committing while the file is copied.
        if ((immediate & 0xFF) == SQLITE_READONLY
            && sqlite3_exec(m_db, "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK) {
            m_held = true;
            return;
        }
        fail();
    }
    ~WriteLock()
    {
        if (m_db && m_held)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
    WriteLock(const WriteLock &) = delete;
    WriteLock &operator=(const WriteLock &) = delete;
    bool held() const { return m_held; }
    // The file is still in WAL mode: its committed rows need not all be in it.
    bool wal() const { return m_wal; }
    QString error() const { return m_error; }

private:
    void fail()
    {
        m_error = DatabaseError::Text(m_db ? sqlite3_extended_errcode(m_db) : SQLITE_CANTOPEN,
                                      QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "out of memory"));
    }
    sqlite3 *m_db = nullptr;
    QString m_error;
    bool m_held = false;
    bool m_wal = false;
};

// A backup of the server's data: the same SQLite file a backup of the file
// is, written by SQLite into the temporary file of a SafeFile from one
// snapshot of the server.
CopyResult snapshotOfServer(const QString &destination, const BetweenChunks &betweenChunks)
{
    QString why;
    int code = 0;
    if (!LiveServer::HoldShared(&why, &code))
        return {false, DatabaseError::Text(code, why)};
    SafeFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return {false, out.PersianReason()};
    const ServerDatabase::Outcome made = ServerDatabase::WriteSnapshot(out.temporaryName(), betweenChunks);
    if (!made.ok) {
        out.cancel();
        return {false, made.error == QLatin1String("The copy was interrupted.")
                           ? MaintenanceText::CopyInterrupted() + QLatin1Char('\n') + made.error
                           : DatabaseError::Text(made.code, made.error)};
    }
    if (!out.commit())
        return {false, out.PersianReason()};
    return {true, QString()};
}

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

namespace {

// A restore on a server: no other computer may be connected, the server's
// data as it was goes to a safety copy, then the backup's rows replace it in
// one transaction.
RestoreResult restoreOnServer(const QString &backupFile, const BetweenChunks &betweenChunks)
{
    RestoreResult result;
    const LiveServer::ExclusiveLock exclusive;
    if (exclusive.State() != LiveDatabase::Exclusive::Taken) {
        result.refused = true;
        result.otherProgram = exclusive.State() == LiveDatabase::Exclusive::OtherProgram;
        result.error = result.otherProgram ? MaintenanceText::OtherWindowsOpen()
                                           : DatabaseError::Text(DatabaseError::ServerUnreachable, exclusive.Error());
        return result;
    }
    DatabaseFile::CloseAllDataControls();
    const QString safety = uniqueIn(QDir(BackupFolder()), SafetyCopyName(QDateTime::currentDateTime()));
    const CopyResult kept = snapshotOfServer(safety, betweenChunks);
    if (!kept.ok) {
        DatabaseFile::ReopenAllDataControls();
        result.error = kept.error;
        return result;
    }
    result.safetyCopy = safety;
    const ServerDatabase::Outcome replaced = ServerDatabase::Replace(backupFile, betweenChunks);
    DatabaseFile::ReopenAllDataControls();
    result.ok = replaced.ok;
    if (!replaced.ok)
        result.error = DatabaseError::Text(replaced.code, replaced.error);
    return result;
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
    if (DatabaseLocation::OnServer()) {
        // The database file of this computer is not the records' place now,
        // but it stays out of reach all the same.
        if (LiveDatabase::IsDatabaseOrCompanion(destination, live))
            return {false, MaintenanceText::TargetIsLive()};
        return snapshotOfServer(destination, betweenChunks);
    }
    if (!QFileInfo(live).isFile())
        return {false, DatabaseError::Text(DatabaseError::FileMissing,
                                           QStringLiteral("The database file %1 does not exist.")
                                               .arg(QDir::toNativeSeparators(live)))};
    if (LiveDatabase::IsDatabaseOrCompanion(destination, live))
        return {false, MaintenanceText::TargetIsLive()};
    QString why;
    if (!LiveDatabase::HoldShared(live, &why))
        return {false, DatabaseError::Text(DatabaseError::RestoreElsewhere, why)};
    WriteLock lock(live);
    if (!lock.held())
        return {false, lock.error()};
    // In rollback-journal mode every committed row is in the file, and while
    // the lock is held nothing changes it.
    if (lock.wal())
        return copyThroughSqlite(live, destination, betweenChunks);
    return copyInto(live, destination, betweenChunks);
}

QString RestoreRefusal(const QString &candidate)
{
    // On a server the file of this computer is a database file like any other.
    if (!DatabaseLocation::OnServer() && LiveDatabase::IsDatabaseOrCompanion(candidate, LiveDatabasePath()))
        return MaintenanceText::SourceIsLive();
    return DatabaseFile::Refusal(candidate);
}

RestoreResult RestoreDatabase(const QString &backupFile, const BetweenChunks &betweenChunks)
{
    RestoreResult result;
    const QString refusal = RestoreRefusal(backupFile);
    if (!refusal.isEmpty()) {
        result.refused = true;
        result.error = refusal;
        return result;
    }

    if (DatabaseLocation::OnServer())
        return restoreOnServer(backupFile, betweenChunks);
    const QString live = LiveDatabasePath();
    // No other program may have the file open while it is replaced: its
    // writes would land in neither the restored file nor the safety copy.
    const LiveDatabase::ExclusiveLock exclusive(live);
    if (exclusive.State() != LiveDatabase::Exclusive::Taken) {
        result.refused = true;
        result.otherProgram = exclusive.State() == LiveDatabase::Exclusive::OtherProgram;
        result.error = result.otherProgram
            ? MaintenanceText::OtherWindowsOpen()
            : SafeFile::PersianReasonFor(EACCES) + QLatin1Char('\n') + exclusive.Error();
        return result;
    }
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
    // a leftover journal into the restored file. The safety copy has already
    // rolled back any journal a crash left behind.
    const auto dropJournals = [&live](QString *error) {
        for (const char *suffix : {"-journal", "-wal", "-shm"}) {
            const QString journal = live + QLatin1String(suffix);
            if (QFile::exists(journal) && !QFile::remove(journal)) {
                *error = SafeFile::PersianReasonFor(EACCES) + QLatin1Char('\n')
                         + QStringLiteral("Cannot remove %1.").arg(QDir::toNativeSeparators(journal));
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
