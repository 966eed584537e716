// The lock that several programs on one database share, and the check that
// finds the database behind any spelling of a path.
#include "store/LiveDatabase.h"
#include "tests/support/OtherProgram.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestLiveDatabase : public QObject
{
    Q_OBJECT
private slots:
    void exclusiveOnlyWithoutOtherPrograms();
    void sharedWaitsForARestoreElsewhere();
    void companions_data();
    void companions();
};

namespace {
bool touch(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}
} // namespace

void TestLiveDatabase::exclusiveOnlyWithoutOtherPrograms()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("KVRDB.mdb"));
    QVERIFY(touch(db));
    QVERIFY(LiveDatabase::HoldShared(db));
    QVERIFY(QFileInfo::exists(LiveDatabase::LockFilePath(db)));

    // Another window opens the same database: both hold it, neither may
    // replace it.
    OtherProgram window;
    QVERIFY(window.Start(db));
    QString why;
    QCOMPARE(LiveDatabase::TakeExclusive(db, &why), LiveDatabase::Exclusive::OtherProgram);
    QVERIFY(!why.isEmpty());
    {
        // The refused attempt kept this process's shared lock.
        OtherProgram restorer;
        QVERIFY(!restorer.Start(db, OtherProgram::Lock::Exclusive));
    }

    window.Stop();
    {
        const LiveDatabase::ExclusiveLock lock(db);
        QCOMPARE(lock.State(), LiveDatabase::Exclusive::Taken);
    }
    // Back to shared: another window may open it again.
    QVERIFY(window.Start(db));
}

void TestLiveDatabase::sharedWaitsForARestoreElsewhere()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("KVRDB.mdb"));
    QVERIFY(touch(db));
    OtherProgram restorer;
    QVERIFY(restorer.Start(db, OtherProgram::Lock::Exclusive));
    QString why;
    QVERIFY(!LiveDatabase::HoldShared(db, &why, 200));
    QVERIFY(!why.isEmpty());
    restorer.Stop();
    QVERIFY(LiveDatabase::HoldShared(db, &why, 200));
}

void TestLiveDatabase::companions_data()
{
    QTest::addColumn<QString>("path"); // relative to the scratch folder
    QTest::addColumn<bool>("companion");
    QTest::newRow("the file") << "KVRDB.mdb" << true;
    QTest::newRow("dot segments") << "sub/../KVRDB.mdb" << true;
    QTest::newRow("symbolic link") << "link.mdb" << true;
    QTest::newRow("hard link") << "hard.mdb" << true;
    QTest::newRow("through a linked folder") << "linkdir/KVRDB.mdb" << true;
    QTest::newRow("journal") << "KVRDB.mdb-journal" << true;
    QTest::newRow("wal, not there") << "KVRDB.mdb-wal" << true;
    QTest::newRow("shm through a linked folder") << "linkdir/KVRDB.mdb-shm" << true;
    QTest::newRow("lock file") << ".KVRDB.mdb.lock" << true;
    QTest::newRow("a backup beside it") << "KVRDB.mdb.KVR" << false;
    QTest::newRow("another file") << "other.KVR" << false;
    QTest::newRow("same name elsewhere") << "sub/KVRDB.mdb" << false;
}

void TestLiveDatabase::companions()
{
    QFETCH(QString, path);
    QFETCH(bool, companion);
    QTemporaryDir dir;
    const QDir d(dir.path());
    const QString db = d.filePath(QStringLiteral("program/KVRDB.mdb"));
    QVERIFY(d.mkpath(QStringLiteral("program/sub")));
    QVERIFY(touch(db));
    QVERIFY(touch(db + QStringLiteral("-journal")));
    QVERIFY(touch(d.filePath(QStringLiteral("program/other.KVR"))));
    QVERIFY(touch(d.filePath(QStringLiteral("program/sub/KVRDB.mdb"))));
    QVERIFY(QFile::link(db, d.filePath(QStringLiteral("program/link.mdb"))));
    QVERIFY(::link(QFile::encodeName(db).constData(),
                   QFile::encodeName(d.filePath(QStringLiteral("program/hard.mdb"))).constData())
            == 0);
    QVERIFY(QFile::link(d.filePath(QStringLiteral("program")), d.filePath(QStringLiteral("program/linkdir"))));

    // Relative paths are taken from the current folder.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(d.filePath(QStringLiteral("program"))));
    const bool found = LiveDatabase::IsDatabaseOrCompanion(path, db);
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(found, companion);
    QCOMPARE(LiveDatabase::IsDatabaseOrCompanion(d.filePath(QStringLiteral("program/")) + path, db), companion);
}

int main(int argc, char *argv[])
{
    if (OtherProgram::IsChild())
        return OtherProgram::RunChild();
    QCoreApplication app(argc, argv);
    TestLiveDatabase test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_livedatabase.moc"
