// kvr-cli run as the user runs it: a copy of the program in its own folder
// ("bin", with its database and template) and the user in another folder
// ("work"). Paths count from the user's folder, nothing the user names may
// replace the database or a delivered file, and a write that fails - a full
// disk included - ends with exit status 1 and the earlier file as it was.
#include "tests/app/CliRun.h"
#include "common/SafeFile.h"
#include "store/KvrDatabase.h"
#include "tests/support/FillDisk.h"
#include "tests/support/FullDisk.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

namespace {

// Every file under a folder with a digest of its bytes.
QStringList snapshot(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        // The lock file every running program holds beside the database.
        if (info.fileName() == QLatin1String(".KVRDB.mdb.lock"))
            continue;
        out << QDir(folder).relativeFilePath(path) + QLatin1Char(' ')
                + (info.isSymLink() ? QStringLiteral("-> ") + info.symLinkTarget()
                                    : QString::fromLatin1(QCryptographicHash::hash(ReadAllOf(path),
                                                                                   QCryptographicHash::Sha256)
                                                              .toHex()));
    }
    out.sort();
    return out;
}

} // namespace

class TestKvrCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_bin;
    QString m_work;

    Run run(const QStringList &args, const QString &cwd)
    {
        QProcess p;
        p.setWorkingDirectory(cwd);
        return RunToEnd(p, QDir(m_bin).filePath(QStringLiteral("kvr-cli")), args, 60000);
    }
    QString inWork(const QString &name) const { return QDir(m_work).filePath(name); }
    QString inBin(const QString &name) const { return QDir(m_bin).filePath(name); }

    static bool exec(QSqlDatabase &db, const QString &sql, const QVariantList &values)
    {
        QSqlQuery q(db);
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec())
            qWarning("%s", qPrintable(q.lastError().text()));
        return q.isActive();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        const QDir root(m_root.path());
        QVERIFY(root.mkpath(QStringLiteral("bin")));
        QVERIFY(root.mkpath(QStringLiteral("work")));
        m_bin = root.filePath(QStringLiteral("bin"));
        m_work = root.filePath(QStringLiteral("work"));
        const QString built = QDir(qEnvironmentVariable("KVR_PROGRAM_DIR")).filePath(QStringLiteral("kvr-cli"));
        QVERIFY2(QFile::copy(built, inBin(QStringLiteral("kvr-cli"))), qPrintable(built));
        const QDir source(qEnvironmentVariable("KVR_SOURCE_DIR"));
        QVERIFY(QFile::copy(source.filePath(QStringLiteral("data/KVR.fr3")), inBin(QStringLiteral("KVR.fr3"))));
        QString error;
        QVERIFY2(KvrDatabase::CreateFromSql(source.filePath(QStringLiteral("data/KVRDB.sql")),
                                            inBin(QStringLiteral("KVRDB.mdb")), &error),
                 qPrintable(error));
        // 200 examinees with all their answers: a workbook of some 150 KB.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
            db.setDatabaseName(inBin(QStringLiteral("KVRDB.mdb")));
            QVERIFY(db.open());
            QVERIFY(db.transaction());
            QString columns, marks;
            for (int i = 1; i <= 40; ++i) {
                columns += QStringLiteral(", \"%1\"").arg(i);
                marks += QStringLiteral(", ?");
            }
            for (int code = 1; code <= 200; ++code) {
                QVERIFY(exec(db,
                             QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht) VALUES (?, ?, '30', ?)"),
                             {QString::number(code), QStringLiteral("آزمودني %1").arg(code),
                              code % 2 ? QStringLiteral("مرد") : QStringLiteral("زن")}));
                QVariantList values{code};
                for (int k = 0; k < 40; ++k)
                    values << QString::number((code + k) % 3);
                QVERIFY(exec(db, QStringLiteral("INSERT INTO Answer1 (Code%1) VALUES (?%2)").arg(columns, marks), values));
            }
            QVERIFY(db.commit());
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("setup"));

        // A database of the user's with three examinees.
        QVERIFY(QFile::copy(inBin(QStringLiteral("KVRDB.mdb")), inWork(QStringLiteral("small.mdb"))));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("small"));
            db.setDatabaseName(inWork(QStringLiteral("small.mdb")));
            QVERIFY(db.open());
            QVERIFY(exec(db, QStringLiteral("DELETE FROM IDE WHERE CAST(Code AS INTEGER) > 3"), {}));
            QVERIFY(exec(db, QStringLiteral("DELETE FROM Answer1 WHERE Code > 3"), {}));
            QVERIFY(exec(db, QStringLiteral("VACUUM"), {}));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("small"));

        // The user's links to the database, and a copy of it of their own.
        QVERIFY(QFile::link(inBin(QStringLiteral("KVRDB.mdb")), inWork(QStringLiteral("db-link.xls"))));
        QVERIFY(QFile::link(inBin(QStringLiteral("KVRDB.mdb")), inWork(QStringLiteral("db-link.pdf"))));
        QVERIFY(QFile::copy(inBin(QStringLiteral("KVRDB.mdb")), inWork(QStringLiteral("mine.xls"))));
        QVERIFY(::symlink("../bin", QFile::encodeName(inWork(QStringLiteral("prog"))).constData()) == 0);
    }

    void cleanup()
    {
        // Only the fixture stays in the user's folder between cases.
        for (const QString &name : QDir(m_work).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (!QStringList{"db-link.xls", "db-link.pdf", "mine.xls", "small.mdb", "prog"}.contains(name))
                QFile::remove(inWork(name));
        }
    }

    // Relative names count from the folder kvr-cli was started in, also for
    // the report, which makes the program folder current while it runs.
    void writesLandWhereTold_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("written"); // in the user's folder
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("report") << QStringList{"report", "1", "out.pdf"} << "out.pdf" << QByteArray("%PDF");
        QTest::newRow("report into a subfolder and back")
            << QStringList{"report", "2", "./prog/../work/p.pdf"} << "p.pdf" << QByteArray("%PDF");
        QTest::newRow("export, .xls added") << QStringList{"export", "all"} << "all.xls"
                                            << QByteArray("\xD0\xCF\x11\xE0");
        QTest::newRow("export of a database named relative")
            << QStringList{"export", "copy.xls", "mine.xls"} << "copy.xls" << QByteArray("\xD0\xCF\x11\xE0");
    }
    void writesLandWhereTold()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, written);
        QFETCH(QByteArray, magic);
        const QStringList programBefore = snapshot(m_bin);
        const Run r = run(args, m_work);
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(ReadAllOf(inWork(written)).startsWith(magic), qPrintable(written));
        QCOMPARE(snapshot(m_bin), programBefore);
    }

    void protectedTargetsAreRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("fromProgramFolder");
        QTest::newRow("report onto the database, from the program folder")
            << QStringList{"report", "1", "KVRDB.mdb"} << true;
        QTest::newRow("export onto ../bin/KVRDB.mdb") << QStringList{"export", "../bin/KVRDB.mdb"} << false;
        QTest::newRow("export onto a link to the database") << QStringList{"export", "db-link.xls"} << false;
        QTest::newRow("report onto a link to the database") << QStringList{"report", "1", "db-link.pdf"} << false;
        QTest::newRow("report onto the -wal file") << QStringList{"report", "1", "../bin/KVRDB.mdb-wal"} << false;
        QTest::newRow("export onto the -shm file through a linked folder")
            << QStringList{"export", "prog/KVRDB.mdb-shm"} << false;
        QTest::newRow("report onto the template") << QStringList{"report", "1", "prog/./KVR.fr3"} << false;
        QTest::newRow("report onto the program") << QStringList{"report", "1", "kvr-cli"} << true;
        QTest::newRow("export onto the database it reads") << QStringList{"export", "mine.xls", "mine.xls"} << false;
    }
    void protectedTargetsAreRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, fromProgramFolder);
        const QStringList programBefore = snapshot(m_bin);
        const QStringList workBefore = snapshot(m_work);
        const Run r = run(args, fromProgramFolder ? m_bin : m_work);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QLatin1String("refused")), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        QCOMPARE(snapshot(m_bin), programBefore);
        QCOMPARE(snapshot(m_work), workBefore);
    }

    // A write that fails: through a file-size limit the child inherits, or
    // on a full 2 MB file system. Either nothing fits, or all but the last
    // bytes do - the piece a writer sends on its final flush.
    void fullDiskEndsWithStatusOne_data()
    {
        QTest::addColumn<QStringList>("args"); // the target is added last
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("tmpfs");
        QTest::addColumn<bool>("allButTheEnd");
        const QStringList smallExport{"export", "DB:small.mdb"};
        for (bool tmpfs : {false, true}) {
            for (bool end : {false, true}) {
                const char *how = tmpfs ? "full file system" : "file-size limit";
                const char *fits = end ? "all but the end fits" : "nothing fits";
                QTest::addRow("export of 3, %s, %s", how, fits) << smallExport << "old.xls" << tmpfs << end;
                QTest::addRow("report, %s, %s", how, fits) << QStringList{"report", "3"} << "old.pdf" << tmpfs << end;
            }
        }
        QTest::newRow("export of 200, file-size limit, all but the end fits")
            << QStringList{"export"} << "old.xls" << false << true;
    }
    void fullDiskEndsWithStatusOne()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, target);
        QFETCH(bool, tmpfs);
        QFETCH(bool, allButTheEnd);
        SmallTmpfs disk;
        if (tmpfs && !disk.IsMounted())
            QSKIP("this process may not mount a tmpfs");
        const QString folder = tmpfs ? disk.Path() : m_work;
        // The export's optional database comes after its target.
        QString database;
        if (args.last().startsWith(QLatin1String("DB:")))
            database = args.takeLast().mid(3);
        auto command = [&](const QString &to) {
            QStringList a = args;
            a << to;
            if (!database.isEmpty())
                a << database;
            return a;
        };

        // How big the file is when it can be written.
        const Run measured = run(command(QStringLiteral("measured-") + target), m_work);
        QVERIFY2(measured.status == 0, qPrintable(measured.err));
        const qint64 size = QFileInfo(inWork(QStringLiteral("measured-") + target)).size();
        QVERIFY(QFile::remove(inWork(QStringLiteral("measured-") + target)));
        const qint64 room = allButTheEnd ? size - 512 : 0;

        const QByteArray earlier = QByteArray("an earlier good file ") + QByteArray(5000, 'g');
        QVERIFY(SafeFile::WriteAll(QDir(folder).filePath(target), earlier));
        if (tmpfs)
            QVERIFY(LeaveFree(folder, room));
        const QStringList before = snapshot(folder);
        const QStringList programBefore = snapshot(m_bin);

        Run r;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (!tmpfs)
                limit = std::make_unique<FileSizeLimit>(rlim_t(room));
            r = run(command(QDir(folder).filePath(target)), m_work);
        }
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QLatin1String("not written")), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        QCOMPARE(ReadAllOf(QDir(folder).filePath(target)), earlier);
        QCOMPARE(snapshot(folder), before);
        QCOMPARE(snapshot(m_bin), programBefore);
    }
};

QTEST_GUILESS_MAIN(TestKvrCli)
#include "tst_kvrcli.moc"
