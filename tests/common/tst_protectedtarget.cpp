#include "common/ProgramFolder.h"
#include "common/ProtectedTarget.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// A program folder "bin" with the database, the template and a style, and a
// folder "work" of the user's beside it.
class TestProtectedTarget : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_bin;
    QString m_work;
    QString m_startDir;

    static void touch(const QString &path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    static void link(const QString &to, const QString &at)
    {
        QVERIFY2(::symlink(QFile::encodeName(to).constData(), QFile::encodeName(at).constData()) == 0,
                 qPrintable(at));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_startDir = QDir::currentPath();
        const QDir root(m_root.path());
        QVERIFY(root.mkpath(QStringLiteral("bin/Styles/Le5")));
        QVERIFY(root.mkpath(QStringLiteral("work/sub")));
        m_bin = root.filePath(QStringLiteral("bin"));
        m_work = root.filePath(QStringLiteral("work"));
        touch(m_bin + QStringLiteral("/KVRDB.mdb"));
        touch(m_bin + QStringLiteral("/KVR.fr3"));
        touch(m_bin + QStringLiteral("/Styles/Le5/Blue.ini"));
        touch(m_work + QStringLiteral("/logo.bmp"));
        // The user's links: to the database, to the program folder, to a
        // journal file that does not exist yet, and a hard link.
        link(m_bin + QStringLiteral("/KVRDB.mdb"), m_work + QStringLiteral("/db-link.xls"));
        link(m_bin, m_work + QStringLiteral("/prog"));
        link(QStringLiteral("../bin/KVRDB.mdb-wal"), m_work + QStringLiteral("/wal.pdf"));
        link(QStringLiteral("../../bin"), m_work + QStringLiteral("/sub/up"));
        QVERIFY(::link(QFile::encodeName(m_bin + QStringLiteral("/KVR.fr3")).constData(),
                       QFile::encodeName(m_work + QStringLiteral("/hard.pdf")).constData()) == 0);
        // The program's logo is a link to a picture kept elsewhere.
        link(m_work + QStringLiteral("/logo.bmp"), m_bin + QStringLiteral("/LogoKVR.jpg"));
        SetProgramFolder(m_bin);
    }
    void cleanupTestCase()
    {
        SetProgramFolder(QString());
        QDir::setCurrent(m_startDir);
    }

    void targets_data()
    {
        QTest::addColumn<QString>("target"); // "B/" is the program folder, "W/" the user's
        QTest::addColumn<QString>("cwd");    // "B" or "W"
        QTest::addColumn<QString>("hits");   // the program file hit, or "" when the write is allowed

        QTest::newRow("the database") << "B/KVRDB.mdb" << "W" << "KVRDB.mdb";
        QTest::newRow("the database, relative, from the program folder") << "KVRDB.mdb" << "B" << "KVRDB.mdb";
        QTest::newRow("through ..") << "../bin/KVRDB.mdb" << "W" << "KVRDB.mdb";
        QTest::newRow("through a folder and ..") << "W/sub/../../bin/./KVRDB.mdb" << "B" << "KVRDB.mdb";
        QTest::newRow("doubled slashes") << "B//KVRDB.mdb" << "W" << "KVRDB.mdb";
        QTest::newRow("link to the database") << "db-link.xls" << "W" << "KVRDB.mdb";
        QTest::newRow("link to the program folder") << "prog/KVRDB.mdb" << "W" << "KVRDB.mdb";
        QTest::newRow(".. after a link goes where the link points") << "sub/up/../bin/KVRDB.mdb" << "W"
                                                                     << "KVRDB.mdb";
        QTest::newRow("-wal not there yet") << "B/KVRDB.mdb-wal" << "W" << "KVRDB.mdb-wal";
        QTest::newRow("-journal not there yet") << "prog/KVRDB.mdb-journal" << "W" << "KVRDB.mdb-journal";
        QTest::newRow("-shm not there yet") << "B/KVRDB.mdb-shm" << "W" << "KVRDB.mdb-shm";
        QTest::newRow("the lock file of running programs") << "B/.KVRDB.mdb.lock" << "W" << ".KVRDB.mdb.lock";
        QTest::newRow("link to a -wal not there yet") << "wal.pdf" << "W" << "KVRDB.mdb-wal";
        QTest::newRow("hard link to the template") << "hard.pdf" << "W" << "KVR.fr3";
        QTest::newRow("the template") << "B/KVR.fr3" << "W" << "KVR.fr3";
        QTest::newRow("a delivered file not there") << "B/icon3.ico" << "W" << "icon3.ico";
        QTest::newRow("the executable") << "B/kvr-cli" << "W" << "kvr-cli";
        QTest::newRow("a style") << "B/Styles/Le5/Blue.ini" << "W" << "Styles";
        QTest::newRow("a new file among the styles") << "prog/Styles/new.ini" << "W" << "Styles";
        QTest::newRow("the logo's name, a link") << "B/LogoKVR.jpg" << "W" << "LogoKVR.jpg";
        QTest::newRow("the picture the logo points to") << "W/logo.bmp" << "B" << "LogoKVR.jpg";

        QTest::newRow("a new file in the program folder") << "B/out.pdf" << "W" << "";
        QTest::newRow("the database's name with .xls") << "B/KVRDB.mdb.xls" << "W" << "";
        QTest::newRow("the database's name elsewhere") << "KVRDB.mdb" << "W" << "";
        QTest::newRow("a name that starts like the styles") << "B/Styles2" << "W" << "";
        QTest::newRow("a file of the user") << "out.xls" << "W" << "";
    }
    void targets()
    {
        QFETCH(QString, target);
        QFETCH(QString, cwd);
        QFETCH(QString, hits);
        QVERIFY(QDir::setCurrent(cwd == QLatin1String("B") ? m_bin : m_work));
        if (target.startsWith(QLatin1String("B/")))
            target = m_bin + target.mid(1);
        else if (target.startsWith(QLatin1String("W/")))
            target = m_work + target.mid(1);

        QString hit;
        QCOMPARE(IsProtectedTarget(target, &hit), !hits.isEmpty());
        if (!hits.isEmpty())
            QCOMPARE(hit, QDir(m_bin).filePath(hits));
    }

    void emptyTargetIsNotProtected() { QVERIFY(!IsProtectedTarget(QString())); }
};

QTEST_GUILESS_MAIN(TestProtectedTarget)
#include "tst_protectedtarget.moc"
