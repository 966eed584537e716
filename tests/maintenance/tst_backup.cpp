#include "common/ProgramFolder.h"
#include "maintenance/Backup.h"
#include "store/DataControl.h"
#include "store/KvrDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

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
    QTest::addColumn<bool>("truncated");
    QTest::newRow("not a database") << false;
    QTest::newRow("truncated database") << true;
}

void TestBackup::refusedRestoreChangesNothing()
{
    QFETCH(bool, truncated);
    QVERIFY(makeDatabase(live(), QStringLiteral("live")));
    const QByteArray before = readAll(live());
    const QString bad = m_dir->filePath(QStringLiteral("bad.KVR"));
    if (truncated) {
        QVERIFY(makeDatabase(bad, QStringLiteral("cut"), 200));
        const QByteArray whole = readAll(bad);
        QVERIFY(writeFile(bad, whole.left(whole.size() * 2 / 3)));
    } else {
        QVERIFY(writeFile(bad, QByteArray(8192, 'q')));
    }
    DataControl dc;
    QVERIFY(dc.Open(QStringLiteral("SELECT * FROM IDE ")));
    const Backup::RestoreResult r = Backup::RestoreDatabase(bad);
    QVERIFY(!r.ok);
    QVERIFY(r.refused);
    QVERIFY(!r.error.isEmpty());
    QVERIFY(readAll(live()) == before);
    QVERIFY(r.safetyCopy.isEmpty());
    QVERIFY(!QFileInfo::exists(Backup::BackupFolder(false)));
    QVERIFY(dc.IsOpen());
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

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
