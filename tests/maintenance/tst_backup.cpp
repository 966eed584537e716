#include "common/ProgramFolder.h"
#include "common/SafeFile.h"
#include "maintenance/Backup.h"
#include "maintenance/BackupTexts.h"
#include "store/DataControl.h"
#include "store/KvrDatabase.h"
#include "tests/support/FullDisk.h"
#include "tests/support/OtherProgram.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sqlite3.h>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A KVR database made from the delivered SQL text, with examinees whose
// names tell the files apart. padRows makes the file larger.
bool makeDatabase(const QString &path, const QString &name, int padRows = 0)
{
    QFile::remove(path);
    const QString sql = QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVRDB.sql"));
    QString error;
    if (!KvrDatabase::CreateFromSql(sql, path, &error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    const QString conn = QStringLiteral("fixture-") + path;
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conn);
        db.setDatabaseName(path);
        ok = db.open() && db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO IDE (FullName, Code) VALUES (?, ?)"));
        for (int i = 0; i <= padRows && ok; ++i) {
            q.addBindValue(i == 0 ? name : name + QString(200, QLatin1Char('x')));
            q.addBindValue(QString::number(i + 1));
            ok = q.exec();
        }
        q.finish();
        ok = db.commit() && ok;
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
    return ok;
}

QString firstName(DataControl &dc)
{
    dc.Filter(QStringLiteral("Code='1'"));
    return dc.Value(QStringLiteral("FullName"));
}

// A plain SQLite connection, as another program would hold one.
struct Connection {
    sqlite3 *db = nullptr;
    explicit Connection(const QString &path) { sqlite3_open(QFile::encodeName(path).constData(), &db); }
    ~Connection() { sqlite3_close(db); }
    bool exec(const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    int count(const char *sql)
    {
        sqlite3_stmt *s = nullptr;
        int n = -1;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            n = sqlite3_column_int(s, 0);
        sqlite3_finalize(s);
        return n;
    }
};

bool exec(const QString &path, const char *sql)
{
    Connection c(path);
    return c.exec(sql);
}

int count(const QString &path, const char *sql)
{
    Connection c(path);
    return c.count(sql);
}

// Files a failed write may have left behind, in the folder and below it.
QStringList temporaries(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, {QStringLiteral("*.part")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}
} // namespace

class TestBackup : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void defaultNameAndClock_data();
    void defaultNameAndClock();
    void copyIsByteIdenticalAndReplacesWhole();
    void copyGoesInChunksAndCanBeInterrupted();
    void copyFailureLeavesDestination();
    void backupOfTheLiveDatabase();
    void refusesWhatIsNoKvrDatabase_data();
    void refusesWhatIsNoKvrDatabase();
    void restoreReplacesLiveAndKeepsSafetyCopy();
    void refusedRestoreChangesNothing_data();
    void refusedRestoreChangesNothing();
    void interruptedRestoreLeavesLiveIntact();
    void backupHoldsEveryCommittedRow_data();
    void backupHoldsEveryCommittedRow();
    void backupOntoTheDatabaseIsRefused_data();
    void backupOntoTheDatabaseIsRefused();
    void restoreWaitsForOtherProgramsToClose();
    void failedWritesLeaveEveryFileAsItWas_data();
    void failedWritesLeaveEveryFileAsItWas();

private:
    QTemporaryDir *m_dir = nullptr;
    QString live() const { return Backup::LiveDatabasePath(); }
};

void TestBackup::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    SetProgramFolder(m_dir->path());
}

void TestBackup::cleanup()
{
    QDir::setCurrent(QDir::tempPath());
    SetProgramFolder(QString());
    delete m_dir;
    m_dir = nullptr;
}

void TestBackup::defaultNameAndClock_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("clock");
    QTest::newRow("five past nine") << QTime(9, 5) << QStringLiteral("9.05");
    QTest::newRow("half past two pm") << QTime(14, 30) << QStringLiteral("14.30");
    QTest::newRow("midnight") << QTime(0, 0) << QStringLiteral("0.00");
}

void TestBackup::defaultNameAndClock()
{
    QFETCH(QTime, time);
    QFETCH(QString, clock);
    QCOMPARE(Backup::ClockText(time), clock);
    QCOMPARE(Backup::DefaultBackupName(QStringLiteral("1405.9.18"), clock),
             QString::fromUtf8("KVRدر تاريخ1405.9.18 ساعت)") + clock + QStringLiteral(").KVR"));
}

void TestBackup::copyIsByteIdenticalAndReplacesWhole()
{
    QByteArray data(3 * 4048 + 100, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 31);
    const QString src = m_dir->filePath(QStringLiteral("src.bin"));
    const QString dst = m_dir->filePath(QStringLiteral("dst.KVR"));
    QVERIFY(writeFile(src, data));
    QVERIFY(writeFile(dst, QByteArray(100000, 'z'))); // longer than the source
    QVERIFY(Backup::CopyFile(src, dst).ok);
    QVERIFY(readAll(dst) == data);

    // An empty source gives an empty file.
    QVERIFY(writeFile(src, QByteArray()));
    QVERIFY(Backup::CopyFile(src, dst).ok);
    QCOMPARE(QFileInfo(dst).size(), 0);
}

void TestBackup::copyGoesInChunksAndCanBeInterrupted()
{
    const QString src = m_dir->filePath(QStringLiteral("src.bin"));
    const QString dst = m_dir->filePath(QStringLiteral("dst.KVR"));
    QVERIFY(writeFile(src, QByteArray(4048 * 5 + 1, 'a')));
    int calls = 0;
    QVERIFY(Backup::CopyFile(src, dst, [&calls] { ++calls; return true; }).ok);
    QCOMPARE(calls, 7); // before each of six chunks, and before the final empty read

    QVERIFY(writeFile(dst, "earlier backup"));
    calls = 0;
    const Backup::CopyResult r = Backup::CopyFile(src, dst, [&calls] { return ++calls < 3; });
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(readAll(dst), QByteArray("earlier backup"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2); // no temporary left
}

void TestBackup::copyFailureLeavesDestination()
{
    const QString dst = m_dir->filePath(QStringLiteral("dst.KVR"));
    QVERIFY(writeFile(dst, "earlier backup"));
    Backup::CopyResult r = Backup::CopyFile(m_dir->filePath(QStringLiteral("missing.mdb")), dst);
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(readAll(dst), QByteArray("earlier backup"));

    r = Backup::CopyFile(dst, m_dir->filePath(QStringLiteral("no/such/folder/x.KVR")));
    QVERIFY(!r.ok);
}

void TestBackup::backupOfTheLiveDatabase()
{
    QVERIFY(makeDatabase(live(), QStringLiteral("live"), 50));
    DataControl dc;
    QVERIFY(dc.Open(QStringLiteral("SELECT * FROM IDE ")));
    const QString dst = QDir(Backup::BackupFolder()).filePath(QStringLiteral("b.KVR"));
    QVERIFY(QFileInfo(Backup::BackupFolder()).isDir());
    const Backup::CopyResult r = Backup::BackUpDatabase(dst);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(readAll(dst) == readAll(live()));
    // The screens' controls still work afterwards.
    QVERIFY(dc.Refresh());
    QCOMPARE(firstName(dc), QStringLiteral("live"));

    QVERIFY(QFile::remove(live()));
    QVERIFY(!Backup::BackUpDatabase(dst).ok);
    QVERIFY(!QFile::exists(live())); // never created by trying
}

void TestBackup::refusesWhatIsNoKvrDatabase_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("text file") << QStringLiteral("text");
    QTest::newRow("empty file") << QStringLiteral("empty");
    QTest::newRow("missing file") << QStringLiteral("missing");
    QTest::newRow("truncated database") << QStringLiteral("truncated");
    QTest::newRow("other SQLite database") << QStringLiteral("other");
    QTest::newRow("damaged page") << QStringLiteral("damaged");
}

void TestBackup::refusesWhatIsNoKvrDatabase()
{
    QFETCH(QString, kind);
    const QString path = m_dir->filePath(QStringLiteral("candidate.KVR"));
    if (kind == QLatin1String("text")) {
        QVERIFY(writeFile(path, "this is not a database\n"));
    } else if (kind == QLatin1String("empty")) {
        QVERIFY(writeFile(path, QByteArray()));
    } else if (kind == QLatin1String("truncated")) {
        QVERIFY(makeDatabase(path, QStringLiteral("t"), 200));
        QByteArray data = readAll(path);
        QVERIFY(writeFile(path, data.left(data.size() / 2)));
    } else if (kind == QLatin1String("other")) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE IDE (x TEXT)")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    } else if (kind == QLatin1String("damaged")) {
        QVERIFY(makeDatabase(path, QStringLiteral("d"), 200));
        QByteArray data = readAll(path);
        // Overwrite the middle of the file (table pages) with rubbish.
        for (int i = data.size() / 2; i < data.size() / 2 + 8192 && i < data.size(); ++i)
            data[i] = char(0xA5);
        QVERIFY(writeFile(path, data));
    }
    QVERIFY(!Backup::RestoreRefusal(path).isEmpty());

    QVERIFY(makeDatabase(m_dir->filePath(QStringLiteral("good.KVR")), QStringLiteral("good")));
    QCOMPARE(Backup::RestoreRefusal(m_dir->filePath(QStringLiteral("good.KVR"))), QString());
}

void TestBackup::restoreReplacesLiveAndKeepsSafetyCopy()
{
    QVERIFY(makeDatabase(live(), QStringLiteral("before restore"), 300));
    const QByteArray oldLive = readAll(live());
    const QString backup = m_dir->filePath(QStringLiteral("small.KVR"));
    QVERIFY(makeDatabase(backup, QStringLiteral("from backup")));
    QVERIFY(QFileInfo(backup).size() < oldLive.size());
    QVERIFY(writeFile(live() + QStringLiteral("-journal"), "stale journal"));

    DataControl dc; // a screen's control, open on the live file
    QVERIFY(dc.Open(QStringLiteral("SELECT * FROM IDE ")));
    QCOMPARE(firstName(dc), QStringLiteral("before restore"));

    const Backup::RestoreResult r = Backup::RestoreDatabase(backup);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(!r.refused);
    QVERIFY(readAll(live()) == readAll(backup)); // exactly as long as the backup
    QVERIFY(!QFile::exists(live() + QStringLiteral("-journal")));
    QVERIFY(r.safetyCopy.startsWith(Backup::BackupFolder()));
    QVERIFY(readAll(r.safetyCopy) == oldLive);
    // The open screens read the restored data.
    QVERIFY(dc.IsOpen());
    QCOMPARE(firstName(dc), QStringLiteral("from backup"));
}

void TestBackup::refusedRestoreChangesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("not a database") << "junk";
    QTest::newRow("truncated database") << "truncated";
    QTest::newRow("trigger deleting every examinee") << "trigger";
    QTest::newRow("QueryMe redefined") << "queryme";
    QTest::newRow("the live database itself") << "live";
    QTest::newRow("the live database through a link") << "link";
    QTest::newRow("the live database's journal") << "journal";
}

void TestBackup::refusedRestoreChangesNothing()
{
    QFETCH(QString, kind);
    QVERIFY(makeDatabase(live(), QStringLiteral("live")));
    const QByteArray before = readAll(live());
    QString bad = m_dir->filePath(QStringLiteral("bad.KVR"));
    if (kind == "truncated") {
        QVERIFY(makeDatabase(bad, QStringLiteral("cut"), 200));
        const QByteArray whole = readAll(bad);
        QVERIFY(writeFile(bad, whole.left(whole.size() * 2 / 3)));
    } else if (kind == "junk") {
        QVERIFY(writeFile(bad, QByteArray(8192, 'q')));
    } else if (kind == "trigger") {
        QVERIFY(makeDatabase(bad, QStringLiteral("trap")));
        QVERIFY(exec(bad, "CREATE TRIGGER wipe AFTER INSERT ON IDE BEGIN DELETE FROM IDE; END"));
    } else if (kind == "queryme") {
        QVERIFY(makeDatabase(bad, QStringLiteral("trap")));
        QVERIFY(exec(bad, "DROP VIEW QueryMe"));
        QVERIFY(exec(bad, KvrDatabase::QueryMeDefinition().replace("ORDER BY", "WHERE 0 ORDER BY").toUtf8().constData()));
    } else if (kind == "live") {
        bad = QDir(m_dir->path()).relativeFilePath(live());
        QVERIFY(QDir::setCurrent(m_dir->path()));
    } else if (kind == "link") {
        QVERIFY(QFile::link(live(), bad));
    } else if (kind == "journal") {
        bad = live() + QStringLiteral("-journal");
        QVERIFY(writeFile(bad, readAll(live())));
    }
    DataControl dc;
    QVERIFY(dc.Open(QStringLiteral("SELECT * FROM IDE ")));
    const Backup::RestoreResult r = Backup::RestoreDatabase(bad);
    QVERIFY(!r.ok);
    QVERIFY(r.refused);
    QVERIFY(!r.otherProgram);
    QVERIFY(!r.error.isEmpty());
    if (kind == "live" || kind == "link" || kind == "journal")
        QCOMPARE(r.error, MaintenanceText::SourceIsLive());
    QVERIFY(readAll(live()) == before);
    QVERIFY(r.safetyCopy.isEmpty());
    QVERIFY(!QFileInfo::exists(Backup::BackupFolder(false)));
    QVERIFY(dc.IsOpen());
    QCOMPARE(firstName(dc), QStringLiteral("live"));
}

void TestBackup::interruptedRestoreLeavesLiveIntact()
{
    QVERIFY(makeDatabase(live(), QStringLiteral("live")));
    const QByteArray before = readAll(live());
    const QString backup = m_dir->filePath(QStringLiteral("big.KVR"));
    QVERIFY(makeDatabase(backup, QStringLiteral("from backup"), 400));
    DataControl dc;
    QVERIFY(dc.Open(QStringLiteral("SELECT * FROM IDE ")));

    // The safety copy goes through; the restore copy fails half-way.
    int chunks = 0;
    const int liveChunks = int(before.size() / Backup::ChunkSize) + 2;
    const Backup::RestoreResult r = Backup::RestoreDatabase(backup, [&] {
        return ++chunks < liveChunks + 5;
    });
    QVERIFY(!r.ok);
    QVERIFY(!r.refused);
    QVERIFY(readAll(live()) == before);
    QStringList left = QDir(m_dir->path()).entryList(QDir::Files);
    left.sort();
    QCOMPARE(left, (QStringList{QStringLiteral("KVRDB.mdb"), QStringLiteral("big.KVR")}));
    QVERIFY(dc.IsOpen());
    QCOMPARE(firstName(dc), QStringLiteral("live"));
}

// Another program left the file in write-ahead-log mode; with a reader
// holding an old snapshot, committed rows stay in the -wal file.
void TestBackup::backupHoldsEveryCommittedRow_data()
{
    QTest::addColumn<bool>("readerOpen");
    QTest::newRow("WAL file, an old reader open") << true;
    QTest::newRow("WAL file, nobody else on it") << false;
}

void TestBackup::backupHoldsEveryCommittedRow()
{
    QFETCH(bool, readerOpen);
    QVERIFY(makeDatabase(live(), QStringLiteral("live")));
    Connection writer(live());
    QVERIFY(writer.exec("PRAGMA journal_mode=WAL"));
    auto reader = std::make_unique<Connection>(live());
    QVERIFY(reader->exec("BEGIN"));
    QCOMPARE(reader->count("SELECT count(*) FROM IDE"), 1); // its snapshot: one examinee
    QVERIFY(writer.exec("WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                        "INSERT INTO IDE (Code, FullName) SELECT i, 'added ' || i FROM n"));
    if (!readerOpen) {
        reader.reset();
        QVERIFY(sqlite3_close(writer.db) == SQLITE_OK);
        writer.db = nullptr;
    }

    const QString dst = m_dir->filePath(QStringLiteral("b.KVR"));
    const Backup::CopyResult r = Backup::BackUpDatabase(dst);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(count(dst, "SELECT count(*) FROM IDE"), 300);
    QCOMPARE(readAll(dst).at(18), char(1)); // a rollback-journal file
    QCOMPARE(Backup::RestoreRefusal(dst), QString());
    if (!readerOpen) {
        // Nobody kept the file in WAL mode: it was switched, and copied as it is.
        QCOMPARE(readAll(live()).at(18), char(1));
        QVERIFY(readAll(dst) == readAll(live()));
    }
}

void TestBackup::backupOntoTheDatabaseIsRefused_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("the file") << "KVRDB.mdb";
    QTest::newRow("relative, with dot segments") << "KVR/../KVRDB.mdb";
    QTest::newRow("a link to it") << "link.KVR";
    QTest::newRow("its write-ahead log") << "KVRDB.mdb-wal";
    QTest::newRow("its journal") << "KVRDB.mdb-journal";
}

void TestBackup::backupOntoTheDatabaseIsRefused()
{
    QFETCH(QString, target);
    QVERIFY(makeDatabase(live(), QStringLiteral("live"), 20));
    QVERIFY(QFile::link(live(), m_dir->filePath(QStringLiteral("link.KVR"))));
    Backup::BackupFolder();
    const QByteArray before = readAll(live());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    const Backup::CopyResult r = Backup::BackUpDatabase(target);
    QVERIFY(!r.ok);
    QCOMPARE(r.error, MaintenanceText::TargetIsLive());
    QVERIFY(readAll(live()) == before);
    QVERIFY(!QFile::exists(live() + QStringLiteral("-wal")));
    QVERIFY(temporaries(m_dir->path()).isEmpty());
}

// Another program window, or kvr-cli, has the database open.
void TestBackup::restoreWaitsForOtherProgramsToClose()
{
    QVERIFY(makeDatabase(live(), QStringLiteral("live")));
    const QByteArray before = readAll(live());
    const QString backup = m_dir->filePath(QStringLiteral("b.KVR"));
    QVERIFY(makeDatabase(backup, QStringLiteral("from backup")));
    DataControl dc; // this program's own screens do not stand in the way
    QVERIFY(dc.Open(QStringLiteral("SELECT * FROM IDE ")));

    OtherProgram window;
    QVERIFY(window.Start(live()));
    Backup::RestoreResult r = Backup::RestoreDatabase(backup);
    QVERIFY(!r.ok);
    QVERIFY(r.refused);
    QVERIFY(r.otherProgram);
    QCOMPARE(r.error, MaintenanceText::OtherWindowsOpen());
    QVERIFY(readAll(live()) == before);
    QVERIFY(!QFileInfo::exists(Backup::BackupFolder(false)));
    QCOMPARE(firstName(dc), QStringLiteral("live"));

    window.Stop();
    r = Backup::RestoreDatabase(backup);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(dc.Refresh());
    QCOMPARE(firstName(dc), QStringLiteral("from backup"));
    // Restored, the file is this program's again: another window may open it.
    QVERIFY(window.Start(live()));
}

// A write that fails at any point - a full disk included - leaves the live
// database and any earlier file of the target's name exactly as they were,
// leaves no temporary file, and says why in Persian.
void TestBackup::failedWritesLeaveEveryFileAsItWas_data()
{
    QTest::addColumn<QString>("operation"); // backup / restore
    QTest::addColumn<QString>("failure");   // full / full-wal / a SafeFile step
    QTest::addColumn<int>("systemError");
    QTest::newRow("backup, disk full") << "backup" << "full" << EFBIG;
    QTest::newRow("backup of a WAL file, disk full") << "backup" << "full-wal" << EFBIG;
    QTest::newRow("backup, sync fails") << "backup" << "sync" << EIO;
    QTest::newRow("backup, rename fails") << "backup" << "rename" << EACCES;
    QTest::newRow("restore, safety copy fails") << "restore" << "sync" << ENOSPC;
    QTest::newRow("restore, disk full on the copy") << "restore" << "full" << EFBIG;
}

void TestBackup::failedWritesLeaveEveryFileAsItWas()
{
    QFETCH(QString, operation);
    QFETCH(QString, failure);
    QFETCH(int, systemError);
    QVERIFY(makeDatabase(live(), QStringLiteral("live"), 60));
    const QString earlier = QDir(Backup::BackupFolder()).filePath(QStringLiteral("earlier.KVR"));
    QVERIFY(writeFile(earlier, "an earlier backup"));
    const QString backup = m_dir->filePath(QStringLiteral("big.KVR"));
    QVERIFY(makeDatabase(backup, QStringLiteral("from backup"), 400));
    std::unique_ptr<Connection> reader;
    if (failure == "full-wal") {
        QVERIFY(exec(live(), "PRAGMA journal_mode=WAL"));
        reader = std::make_unique<Connection>(live());
        QVERIFY(reader->exec("BEGIN") && reader->count("SELECT count(*) FROM IDE") > 0);
    }
    const QByteArray liveBefore = readAll(live());
    DataControl dc;
    QVERIFY(dc.Open(QStringLiteral("SELECT * FROM IDE ")));

    const QMap<QString, SafeFile::Step> steps{{"sync", SafeFile::Step::Sync}, {"rename", SafeFile::Step::Rename}};
    if (steps.contains(failure))
        SafeFile::FailNextForTests(steps[failure], systemError);
    QString error;
    {
        // Room for the live database, not for the larger backup.
        std::unique_ptr<FileSizeLimit> limit;
        if (failure.startsWith("full"))
            limit = std::make_unique<FileSizeLimit>(operation == "backup" ? 8192 : liveBefore.size() + 4096);
        if (operation == "backup") {
            const Backup::CopyResult r = Backup::BackUpDatabase(earlier);
            QVERIFY(!r.ok);
            error = r.error;
        } else {
            const Backup::RestoreResult r = Backup::RestoreDatabase(backup);
            QVERIFY(!r.ok);
            QVERIFY(!r.refused);
            error = r.error;
        }
    }
    SafeFile::ClearFaultForTests();
    reader.reset();

    QVERIFY2(error.startsWith(SafeFile::PersianReasonFor(systemError)), qPrintable(error));
    QVERIFY(error.contains('\n')); // the system's words follow
    QCOMPARE(readAll(earlier), QByteArray("an earlier backup"));
    QVERIFY(readAll(live()) == liveBefore);
    QVERIFY2(temporaries(m_dir->path()).isEmpty(), qPrintable(temporaries(m_dir->path()).join(", ")));
    // Only a complete safety copy of the database as it still is may have
    // been added.
    for (const QString &name : QDir(Backup::BackupFolder()).entryList(QDir::Files))
        QVERIFY(name == "earlier.KVR" || readAll(QDir(Backup::BackupFolder()).filePath(name)) == liveBefore);
    QVERIFY(dc.IsOpen());
    QVERIFY(dc.Refresh());
    QCOMPARE(firstName(dc), QStringLiteral("live"));
}

int main(int argc, char *argv[])
{
    if (OtherProgram::IsChild())
        return OtherProgram::RunChild();
    QCoreApplication app(argc, argv);
    TestBackup test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_backup.moc"
