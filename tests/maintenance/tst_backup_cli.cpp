// kvr-cli backup and restore end to end, as a clinic's nightly scheduler runs
// them: a copy of kvr-cli in a scratch program folder with its database,
// started from another folder.
#include "common/SafeFile.h"
#include "maintenance/BackupTexts.h"
#include "store/KvrDatabase.h"
#include "tests/support/FullDisk.h"
#include "tests/support/OtherProgram.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sqlite3.h>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

bool exec(const QString &path, const QString &sql)
{
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK
                    && sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// A KVR database whose one examinee's name tells the files apart.
bool makeDatabase(const QString &path, const QString &name, int padRows = 0)
{
    const QString sql = QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVRDB.sql"));
    if (!KvrDatabase::CreateFromSql(sql, path))
        return false;
    return exec(path, QStringLiteral("INSERT INTO IDE (Code, FullName) VALUES ('1', '%1')").arg(name))
           && exec(path, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                        "INSERT INTO IDE (Code, FullName) SELECT i, hex(zeroblob(100)) FROM n")
                             .arg(padRows + 1));
}

struct Run {
    int status = -1;
    QString err;
};
} // namespace

class TestBackupCli : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void backupGoesWhereTheCallerSaid();
    void backupOntoTheDatabaseIsRefused_data();
    void backupOntoTheDatabaseIsRefused();
    void backupOntoAFullDisk();
    void restore_data();
    void restore();
    void codesHeldTwiceAreWarnedAbout();

private:
    Run kvrCli(const QStringList &args);
    QString live() const { return m_program.filePath(QStringLiteral("KVRDB.mdb")); }

    QTemporaryDir *m_dir = nullptr;
    QDir m_program; // the program folder: kvr-cli and its database
    QDir m_caller;  // the folder kvr-cli is started from
};

void TestBackupCli::init()
{
    const QString built = QDir(qEnvironmentVariable("KVR_PROGRAM_DIR")).filePath(QStringLiteral("kvr-cli"));
    if (!QFileInfo::exists(built))
        QSKIP("kvr-cli is not built");
    m_dir = new QTemporaryDir;
    QDir(m_dir->path()).mkpath(QStringLiteral("program"));
    QDir(m_dir->path()).mkpath(QStringLiteral("caller"));
    m_program.setPath(m_dir->filePath(QStringLiteral("program")));
    m_caller.setPath(m_dir->filePath(QStringLiteral("caller")));
    QVERIFY(QFile::copy(built, m_program.filePath(QStringLiteral("kvr-cli"))));
    QVERIFY(makeDatabase(live(), QStringLiteral("live"), 40));
}

void TestBackupCli::cleanup()
{
    delete m_dir;
    m_dir = nullptr;
}

Run TestBackupCli::kvrCli(const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(m_caller.path());
    p.start(m_program.filePath(QStringLiteral("kvr-cli")), args);
    Run r;
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
        r.status = p.exitCode();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void TestBackupCli::backupGoesWhereTheCallerSaid()
{
    const Run r = kvrCli({"backup", "nightly.KVR"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY(r.err.contains(MaintenanceText::BackupMade()));
    QVERIFY(readAll(m_caller.filePath("nightly.KVR")) == readAll(live()));
    QVERIFY(!m_program.exists("nightly.KVR"));
    QCOMPARE(kvrCli({"backup"}).status, 2);
}

void TestBackupCli::backupOntoTheDatabaseIsRefused_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("relative to the caller") << "../program/KVRDB.mdb";
    QTest::newRow("its journal") << "../program/KVRDB.mdb-journal";
    QTest::newRow("through a link") << "link.mdb";
}

void TestBackupCli::backupOntoTheDatabaseIsRefused()
{
    QFETCH(QString, target);
    QVERIFY(QFile::link(live(), m_caller.filePath("link.mdb")));
    const QByteArray before = readAll(live());
    const Run r = kvrCli({"backup", target});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(MaintenanceText::TargetIsLive()), qPrintable(r.err));
    QVERIFY(readAll(live()) == before);
    QVERIFY(!QFile::exists(live() + "-journal"));
}

void TestBackupCli::backupOntoAFullDisk()
{
    const QString older = m_caller.filePath("nightly.KVR");
    QVERIFY(writeFile(older, "last night's backup"));
    Run r;
    {
        const FileSizeLimit limit(8192); // kvr-cli inherits it
        r = kvrCli({"backup", "nightly.KVR"});
    }
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(MaintenanceText::CopyFailed() + '\n' + SafeFile::PersianReasonFor(EFBIG)),
             qPrintable(r.err));
    QCOMPARE(readAll(older), QByteArray("last night's backup"));
    QCOMPARE(m_caller.entryList(QDir::Files | QDir::Hidden), QStringList{"nightly.KVR"});
}

void TestBackupCli::restore_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("restored") << "good" << 0 << MaintenanceText::Restored();
    QTest::newRow("a KVR window is open") << "window" << 1 << MaintenanceText::OtherWindowsOpen();
    QTest::newRow("backup with a trigger") << "trigger" << 1 << QString::fromUtf8("trigger");
    QTest::newRow("the database itself") << "live" << 1 << MaintenanceText::SourceIsLive();
}

void TestBackupCli::restore()
{
    QFETCH(QString, kind);
    QFETCH(int, status);
    QFETCH(QString, says);
    const QString backup = m_caller.filePath("backup.KVR");
    QVERIFY(makeDatabase(backup, QStringLiteral("from backup")));
    if (kind == "trigger")
        QVERIFY(exec(backup, "CREATE TRIGGER wipe AFTER INSERT ON IDE BEGIN DELETE FROM IDE; END"));
    OtherProgram window;
    if (kind == "window")
        QVERIFY(window.Start(live()));
    const QByteArray before = readAll(live());

    const Run r = kvrCli({"restore", kind == "live" ? "../program/KVRDB.mdb" : "backup.KVR"});
    QCOMPARE(r.status, status);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    if (status == 0) {
        QVERIFY(readAll(live()) == readAll(backup));
        const QStringList kept = QDir(m_program.filePath("KVR")).entryList(QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(readAll(m_program.filePath("KVR/" + kept.first())) == before);
    } else {
        QVERIFY(readAll(live()) == before);
        QVERIFY(!m_program.exists("KVR"));
    }
}

// A database from before codes were unique: the codes held twice are named
// once on standard error, and the backup is made all the same.
void TestBackupCli::codesHeldTwiceAreWarnedAbout()
{
    QVERIFY(exec(live(), "DROP INDEX IDE_Code"));
    QVERIFY(exec(live(), "INSERT INTO IDE (Code, FullName) VALUES ('7', 'again')"));
    const Run r = kvrCli({"backup", "b.KVR"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(r.err.count(QString::fromUtf8("کد آزمودني هاي تکراري: 7")), 1);
    QCOMPARE(r.err.count("warning"), 1);
}

int main(int argc, char *argv[])
{
    if (OtherProgram::IsChild())
        return OtherProgram::RunChild();
    QCoreApplication app(argc, argv);
    TestBackupCli test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_backup_cli.moc"
