#pragma once
#include <QDateTime>
#include <QString>
#include <functional>

// The file copy behind the backup screen: the live database to a backup file
// and a backup file back over the live database.
//
// A copy reads the source in chunks of 4048 bytes and calls the between-chunks
// hook before every chunk (the screen lets the interface process its pending
// events there; a hook that returns false stops the copy). The destination is
// written through SafeFile: to a temporary file beside it, checked at every
// step and put in place only when the copy is complete, so an existing file of
// that name is never left half-written and no temporary file stays behind.
// Failures are described in Persian, the system's words on a second line.
namespace Backup {

constexpr qint64 ChunkSize = 4048;

using BetweenChunks = std::function<bool()>;

// The hook the backup screen uses: lets the interface repaint and run its
// timers before each chunk while user input waits for the end of the copy.
BetweenChunks ProcessEventsBetweenChunks();

struct CopyResult {
    bool ok = false;
    QString error; // a Persian reason, the system's description on a second line
};

// Copies source to destination, replacing the destination whole.
CopyResult CopyFile(const QString &source, const QString &destination,
                    const BetweenChunks &betweenChunks = {});

// The live database file: program folder + "KVRDB.mdb".
QString LiveDatabasePath();
// The backups folder: program folder + "KVR"; created when missing.
QString BackupFolder(bool create = true);

// "KVR" + "در تاريخ" + date + " ساعت)" + time + ")" + ".KVR", from the
// screen's date caption (layout 4) and clock caption ("h.mm").
QString DefaultBackupName(const QString &dateText, const QString &timeText);
// The clock caption: hour without a leading zero, ".", two-digit minutes.
QString ClockText(const QTime &time);

// Copies the live database to a backup file holding every committed row.
// When the records live on a server, the backup is the same kind of SQLite
// file, made from one snapshot of the server's data.
// The copy holds the database's write lock (waiting for a running write to
// end). A file another program keeps in write-ahead-log mode, whose committed
// rows may still be in its -wal file, is read through SQLite's online backup;
// otherwise (the program keeps its file in rollback-journal mode) the file is
// copied as it is. Refused when the destination is the live database or one
// of its companion files, however the path is spelt.
CopyResult BackUpDatabase(const QString &destination, const BetweenChunks &betweenChunks = {});

// Why a file cannot be restored, or empty when it can: the live database or
// one of its companion files; not a sound KVR database; a database holding
// triggers or a QueryMe other than ours.
QString RestoreRefusal(const QString &candidate);

struct RestoreResult {
    bool ok = false;
    bool refused = false;      // nothing was touched (see error)
    bool otherProgram = false; // refused because another kvr or kvr-cli has the database open
    QString error;             // the Persian reason, the system's words on a second line
    QString safetyCopy;        // where the database was kept before it was replaced
};

// Replaces the live database with a backup file that RestoreRefusal()
// accepts. (On a server: refused while another computer's program is
// connected; a safety copy of the server's data is made the same way, and
// the backup's rows replace the server's in one transaction.) The database lock is taken exclusively first: while another
// program window or kvr-cli has the database open the restore is refused
// and nothing changes. Then every open data control is closed, a safety copy
// of the current database goes to the backups folder, the backup is copied to
// a temporary file beside the live one, and only a complete copy replaces it
// (the old database's journal files are removed with it). On any failure the
// live database stays as it was. The data controls are opened again at the end
// either way.
RestoreResult RestoreDatabase(const QString &backupFile, const BetweenChunks &betweenChunks = {});

// Name of the safety copy taken before a restore at the given moment.
QString SafetyCopyName(const QDateTime &when);

} // namespace Backup
