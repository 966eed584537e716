#pragma once
// The live database file shared by every running kvr and kvr-cli.
//
// Each program that uses the database holds a shared lock on a lock file
// beside it (".KVRDB.mdb.lock") for as long as it runs; the data controls
// take it when they first open the file, so the program, kvr-cli and the
// tests all hold it without asking. Replacing the file (a restore) needs the
// lock exclusively: the process's own lock is turned into an exclusive one,
// which succeeds only when no other program holds the database. The process's
// own connections never stand in the way of its own restore.
//
// The locks are open-file-description locks on the lock file: they belong to
// the one descriptor this module keeps, are released by the system when the
// process ends however it ends, and are not inherited by programs it starts.
#include <QString>
#include <QStringList>

namespace LiveDatabase {

// The lock file that belongs to a database file.
QString LockFilePath(const QString &databasePath);

// The files that belong to the database: the file itself, SQLite's
// "-journal", "-wal" and "-shm" beside it, and the lock file.
QStringList CompanionPaths(const QString &databasePath);

// True when path names the database file or one of its companions, however
// it is spelt: relative, through symbolic links, or as another hard link of
// the same file.
bool IsDatabaseOrCompanion(const QString &path, const QString &databasePath);

// Holds this process's shared lock on the database (taking it the first
// time; a lock held on another database file is let go). While another
// program restores the database (holds it exclusively) this waits up to
// waitMs; false then, with the reason in *error. A lock file that cannot be
// made (a read-only folder, where nothing can be written anyway) is not an
// error: the process then works without the lock.
bool HoldShared(const QString &databasePath, QString *error = nullptr, int waitMs = 5000);

enum class Exclusive {
    Taken,        // no other program holds the database
    OtherProgram, // another kvr or kvr-cli has it open; the shared lock is kept
    Failed,       // no lock file could be used; *error says why
};
// Turns this process's lock on the database into an exclusive one, at once
// or not at all.
Exclusive TakeExclusive(const QString &databasePath, QString *error = nullptr);
// Turns an exclusive lock back into the shared one.
void ReleaseExclusive();

// Holds the exclusive lock for as long as it lives.
class ExclusiveLock
{
public:
    explicit ExclusiveLock(const QString &databasePath) : m_state(TakeExclusive(databasePath, &m_error)) {}
    ~ExclusiveLock()
    {
        if (m_state == Exclusive::Taken)
            ReleaseExclusive();
    }
    ExclusiveLock(const ExclusiveLock &) = delete;
    ExclusiveLock &operator=(const ExclusiveLock &) = delete;
    Exclusive State() const { return m_state; }
    QString Error() const { return m_error; }

private:
    QString m_error;
    Exclusive m_state;
};

} // namespace LiveDatabase
