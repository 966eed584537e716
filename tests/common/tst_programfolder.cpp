#include "common/PackageTexts.h"
#include "common/ProgramFolder.h"
#include "common/SafeFile.h"
#include "common/Vendor.h"
#include "tests/support/FullDisk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

int mode(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// A delivered database: any bytes do, the copy does not look inside.
QByteArray deliveredBytes()
{
    QByteArray data("SQLite format 3");
    data.append('\0');
    for (int i = 0; data.size() < 100000; ++i)
        data.append(char(i * 7));
    return data;
}

// An installed program's folders in a scratch folder: the delivered files in
// share/kvr, the user's data folder (not made yet) in home/.local/share/KVR.
struct Installation {
    QTemporaryDir root;
    QString shared() const { return root.filePath(QStringLiteral("usr/share/kvr")); }
    QString userData() const { return root.filePath(QStringLiteral("home/.local/share/KVR")); }
    QString userDatabase() const { return QDir(userData()).filePath(QStringLiteral("KVRDB.mdb")); }
    Installation()
    {
        writeFile(QDir(shared()).filePath(QStringLiteral("KVRDB.mdb")), deliveredBytes());
        SetProgramFolder(userData());
        SetDeliveredFolder(shared());
    }
    ~Installation()
    {
        SetProgramFolder(QString());
        SetDeliveredFolder(QString());
    }
};

} // namespace

class TestProgramFolder : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        SafeFile::ClearFaultForTests();
        SetProgramFolder(QString());
        SetDeliveredFolder(QString());
    }

    // Which folder takes the written files and which the delivered ones, for
    // each kind of copy. Writability is given, as the system would answer it:
    // root is told "writable" for /usr/bin too, which is why an installation
    // is recognised by its shared data folder first.
    void choice_data()
    {
        QTest::addColumn<QString>("shared");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("delivered");
        QTest::newRow("build folder") << "" << true << "bin" << "bin";
        QTest::newRow("installed") << "database" << false << "user" << "shared";
        QTest::newRow("installed, run by root") << "database" << true << "user" << "shared";
        QTest::newRow("read-only portable copy") << "" << false << "user" << "bin";
        QTest::newRow("shared folder without the database") << "empty" << true << "bin" << "bin";
    }
    void choice()
    {
        QFETCH(QString, shared);
        QFETCH(bool, writable);
        QFETCH(QString, program);
        QFETCH(QString, delivered);
        QTemporaryDir root;
        const QString bin = root.filePath(QStringLiteral("prefix/bin"));
        const QString share = root.filePath(QStringLiteral("prefix/share/kvr"));
        const QString user = root.filePath(QStringLiteral("home/.local/share/KVR"));
        QVERIFY(QDir().mkpath(bin));
        if (shared == QLatin1String("empty"))
            QVERIFY(QDir().mkpath(share));
        if (shared == QLatin1String("database"))
            QVERIFY(writeFile(QDir(share).filePath(QStringLiteral("KVRDB.mdb")), deliveredBytes()));
        const QHash<QString, QString> folders{{"bin", bin}, {"user", user}, {"shared", share}};

        const ProgramFolders::Choice c = ProgramFolders::Choose(bin, writable, user);
        QCOMPARE(c.program, folders[program]);
        QCOMPARE(c.delivered, folders[delivered]);
    }

    void userDataFolderIsInTheUsersHome()
    {
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qunsetenv("XDG_DATA_HOME");
        const QString byHome = ProgramFolders::UserDataFolder();
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
        const QString byXdg = ProgramFolders::UserDataFolder();
        qputenv("HOME", oldHome);
        if (oldData.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", oldData);
        QCOMPARE(byHome, home.filePath(QStringLiteral(".local/share/KVR")));
        QCOMPARE(byXdg, home.filePath(QStringLiteral("data/KVR")));
    }

    // Root may write anywhere permissions say no; a read-only file system
    // says no to root too, and so must the check.
    void folderWritableAsksTheSystem()
    {
        QTemporaryDir dir;
        QVERIFY(ProgramFolders::FolderWritable(dir.path()));
        QVERIFY(!ProgramFolders::FolderWritable(dir.filePath(QStringLiteral("missing"))));
        QVERIFY(!ProgramFolders::FolderWritable(QString()));

        QTemporaryDir mountPoint;
        const QByteArray where = QFile::encodeName(mountPoint.path());
        if (::mount("tmpfs", where.constData(), "tmpfs", MS_RDONLY, "size=1M") != 0)
            QSKIP("this process may not mount a read-only tmpfs");
        const bool writable = ProgramFolders::FolderWritable(mountPoint.path());
        ::umount2(where.constData(), MNT_DETACH);
        QVERIFY(!writable);
    }

    void testsPointTheFoldersAtScratchFolders()
    {
        QTemporaryDir a, b;
        const QString exe = QCoreApplication::applicationDirPath();
        // The test executables' folder is writable and has no shared data
        // folder: a build folder, everything in one place.
        QCOMPARE(ProgramFolder(), exe);
        QCOMPARE(DeliveredFolder(), exe);
        QVERIFY(!IsInstalledProgram());

        SetProgramFolder(a.path());
        QCOMPARE(ProgramFile(QStringLiteral("LogoKVR.jpg")), a.filePath(QStringLiteral("LogoKVR.jpg")));
        QCOMPARE(DeliveredFile(QStringLiteral("KVR.fr3")), a.filePath(QStringLiteral("KVR.fr3")));
        QVERIFY(!IsInstalledProgram());

        SetDeliveredFolder(b.path());
        QCOMPARE(ProgramFolder(), a.path());
        QCOMPARE(DeliveredFile(QStringLiteral("Styles/Le5/Normalblue.ini")),
                 b.filePath(QStringLiteral("Styles/Le5/Normalblue.ini")));
        QVERIFY(IsInstalledProgram());

        SetProgramFolder(QString());
        SetDeliveredFolder(QString());
        QCOMPARE(ProgramFolder(), exe);
        QCOMPARE(DeliveredFolder(), exe);
    }

    void firstStartCopiesTheDeliveredDatabase()
    {
        Installation inst;
        QString error;
        QVERIFY2(PrepareProgramFolder(&error), qPrintable(error));
        QCOMPARE(readAll(inst.userDatabase()), deliveredBytes());
        QCOMPARE(entries(inst.userData()), QStringList{"KVRDB.mdb"});
        // The records are the user's: nobody else on the computer reads them.
        QCOMPARE(mode(inst.userData()), 0700);
        // The shared folder is only read.
        QCOMPARE(entries(inst.shared()), QStringList{"KVRDB.mdb"});
    }

    // Whatever is there under the database's name is the user's and stays.
    void existingDatabaseIsNeverTouched_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("database with records") << "records";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("folder") << "folder";
        QTest::newRow("link leading nowhere") << "dangling link";
    }
    void existingDatabaseIsNeverTouched()
    {
        QFETCH(QString, kind);
        Installation inst;
        QVERIFY(QDir().mkpath(inst.userData()));
        QVERIFY(::chmod(QFile::encodeName(inst.userData()).constData(), 0750) == 0);
        const QString db = inst.userDatabase();
        if (kind == QLatin1String("records"))
            QVERIFY(writeFile(db, "the clinic's records"));
        else if (kind == QLatin1String("empty"))
            QVERIFY(writeFile(db, QByteArray()));
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(db));
        else
            QVERIFY(QFile::link(inst.userData() + QStringLiteral("/elsewhere.mdb"), db));
        const QFileInfo before(db);

        QString error;
        QVERIFY2(PrepareProgramFolder(&error), qPrintable(error));
        QVERIFY2(PrepareProgramFolder(&error), qPrintable(error));

        const QFileInfo after(db);
        QCOMPARE(after.isSymLink(), before.isSymLink());
        QCOMPARE(after.isDir(), before.isDir());
        if (kind == QLatin1String("records"))
            QCOMPARE(readAll(db), QByteArray("the clinic's records"));
        if (kind == QLatin1String("empty"))
            QCOMPARE(after.size(), qint64(0));
        if (kind == QLatin1String("dangling link"))
            QVERIFY(!after.exists());
        QCOMPARE(entries(inst.userData()), QStringList{"KVRDB.mdb"});
        QCOMPARE(mode(inst.userData()), 0750);
    }

    // A copy that fails at any step leaves no database and no temporary file,
    // says why, and the next start tries again.
    void failedCopyLeavesNothing_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("error");
        QTest::newRow("open") << int(SafeFile::Step::Open) << EACCES;
        QTest::newRow("write") << int(SafeFile::Step::Write) << ENOSPC;
        QTest::newRow("sync") << int(SafeFile::Step::Sync) << EIO;
        QTest::newRow("rename") << int(SafeFile::Step::Rename) << EXDEV;
    }
    void failedCopyLeavesNothing()
    {
        QFETCH(int, step);
        QFETCH(int, error);
        Installation inst;
        SafeFile::FailNextForTests(SafeFile::Step(step), error, 1000);
        QString message;
        QVERIFY(!PrepareProgramFolder(&message));
        QVERIFY2(message.contains(SafeFile::PersianReasonFor(error)), qPrintable(message));
        QVERIFY(message.contains(inst.userDatabase()));
        QCOMPARE(entries(inst.userData()), QStringList());

        QVERIFY2(PrepareProgramFolder(&message), qPrintable(message));
        QCOMPARE(readAll(inst.userDatabase()), deliveredBytes());
    }

    void fullDiskIsReported()
    {
        Installation inst;
        QString message;
        {
            FileSizeLimit limit(16 * 1024);
            QVERIFY(!PrepareProgramFolder(&message));
        }
        QVERIFY2(message.contains(SafeFile::PersianReasonFor(EFBIG)), qPrintable(message));
        QCOMPARE(entries(inst.userData()), QStringList());
    }

    void missingDeliveredDatabaseOrFolderIsReported()
    {
        Installation inst;
        QVERIFY(QFile::remove(QDir(inst.shared()).filePath(QStringLiteral("KVRDB.mdb"))));
        QString message;
        QVERIFY(!PrepareProgramFolder(&message));
        const QString firstLine = PackageText::DeliveredDatabaseMissing(QString(), QString()).section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(message.startsWith(firstLine), qPrintable(message));
        QVERIFY(message.contains(inst.shared()));
        QVERIFY(!QFileInfo::exists(inst.userDatabase()));

        // The data folder's place is taken by a file.
        QTemporaryDir other;
        QVERIFY(writeFile(other.filePath(QStringLiteral("blocked")), "x"));
        SetProgramFolder(other.filePath(QStringLiteral("blocked/KVR")));
        QVERIFY(!PrepareProgramFolder(&message));
        QVERIFY2(message.contains(other.filePath(QStringLiteral("blocked/KVR"))), qPrintable(message));
    }

    // The new texts write ي and ک as the program's other texts do, and the
    // update notice says where a new package comes from.
    void textsFollowTheProgramsStyle()
    {
        const QString notice = PackageText::UpdateComesAsPackage();
        QVERIFY(notice.contains(Vendor::WebSiteUrl()));
        const QStringList texts{notice, PackageText::DataFolderNotMade(QString(), QString()),
                                PackageText::DeliveredDatabaseMissing(QString(), QString()),
                                PackageText::DatabaseNotCopied(QString(), QString())};
        for (const QString &text : texts) {
            QVERIFY2(!text.contains(QChar(0x06CC)), qPrintable(text)); // Persian ی
            QVERIFY2(!text.contains(QChar(0x0643)), qPrintable(text)); // Arabic ك
        }
    }

    // A build folder or a portable copy keeps its files as it always has:
    // nothing is made, not even when its database is missing.
    void portableCopyMakesNothing()
    {
        QTemporaryDir dir;
        SetProgramFolder(dir.path());
        QString error;
        QVERIFY(PrepareProgramFolder(&error));
        QCOMPARE(entries(dir.path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
