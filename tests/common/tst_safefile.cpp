#include "common/SafeFile.h"
#include "tests/support/FullDisk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray pattern(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char('a' + i % 23);
    return data;
}

} // namespace

class TestSafeFile : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { SafeFile::ClearFaultForTests(); }

    void replacesTheTargetWhole()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("out.xls");
        writeFile(target, pattern(900000));
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0640) == 0);

        const QByteArray data = pattern(300001);
        SafeFile out(target);
        QVERIFY(out.open(QIODevice::WriteOnly));
        // Small and large writes, as the writers and QPdfWriter make them.
        QCOMPARE(out.write(data.left(10)), qint64(10));
        QCOMPARE(out.write(data.mid(10)), qint64(data.size() - 10));
        QVERIFY2(out.commit(), qPrintable(out.errorString()));
        QCOMPARE(readAll(target), data);
        QCOMPARE(entries(dir.path()), QStringList{"out.xls"});
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
    }

    void seekingBackOverwritesInPlace()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("a.bin");
        SafeFile out(target);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("0123456789");
        QVERIFY(out.seek(2));
        out.write("ab");
        QVERIFY(out.seek(out.size()));
        out.write("Z");
        QVERIFY(out.commit());
        QCOMPARE(readAll(target), QByteArray("01ab456789Z"));
    }

    // A failure at any step leaves the old file byte for byte and no
    // temporary file beside it.
    void failureAtEveryStepKeepsTheOldFile_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("error");
        QTest::addColumn<qint64>("afterBytes");
        QTest::newRow("open") << int(SafeFile::Step::Open) << EACCES << qint64(0);
        QTest::newRow("first write") << int(SafeFile::Step::Write) << ENOSPC << qint64(0);
        QTest::newRow("write half way") << int(SafeFile::Step::Write) << ENOSPC << qint64(400000);
        QTest::newRow("flush") << int(SafeFile::Step::Flush) << ENOSPC << qint64(0);
        QTest::newRow("sync") << int(SafeFile::Step::Sync) << EIO << qint64(0);
        QTest::newRow("close") << int(SafeFile::Step::Close) << EIO << qint64(0);
        QTest::newRow("rename") << int(SafeFile::Step::Rename) << EXDEV << qint64(0);
    }
    void failureAtEveryStepKeepsTheOldFile()
    {
        QFETCH(int, step);
        QFETCH(int, error);
        QFETCH(qint64, afterBytes);
        QTemporaryDir dir;
        const QString target = dir.filePath("report.pdf");
        const QByteArray old = pattern(5000);
        writeFile(target, old);

        SafeFile::FailNextForTests(SafeFile::Step(step), error, afterBytes);
        SafeFile out(target);
        bool ok = out.open(QIODevice::WriteOnly);
        if (ok) {
            out.write(pattern(1000000));
            ok = out.commit();
        }
        QVERIFY(!ok);
        QCOMPARE(int(out.FailedStep()), step);
        QCOMPARE(out.SystemError(), error);
        QVERIFY(!out.errorString().isEmpty());
        QVERIFY(!out.PersianReason().isEmpty());
        QCOMPARE(readAll(target), old);
        QCOMPARE(entries(dir.path()), QStringList{"report.pdf"});
    }

    // commitAsNew writes a file only where none is: one that is there before,
    // or appears while the new one is written, stays as it was.
    void commitAsNewNeverReplaces_data()
    {
        QTest::addColumn<bool>("before");
        QTest::addColumn<bool>("meanwhile");
        QTest::newRow("no file") << false << false;
        QTest::newRow("a file before") << true << false;
        QTest::newRow("a file appears meanwhile") << false << true;
    }
    void commitAsNewNeverReplaces()
    {
        QFETCH(bool, before);
        QFETCH(bool, meanwhile);
        QTemporaryDir dir;
        const QString target = dir.filePath("KVRDB.mdb");
        if (before)
            writeFile(target, "records");
        SafeFile out(target);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(pattern(70000));
        if (meanwhile)
            writeFile(target, "records");
        const bool committed = out.commitAsNew();
        QCOMPARE(committed, !before && !meanwhile);
        QCOMPARE(readAll(target), committed ? pattern(70000) : QByteArray("records"));
        if (!committed) {
            QCOMPARE(out.FailedStep(), SafeFile::Step::Rename);
            QCOMPARE(out.SystemError(), EEXIST);
        }
        QCOMPARE(entries(dir.path()), QStringList{"KVRDB.mdb"});
    }

    void writesAfterAFailureFailToo()
    {
        QTemporaryDir dir;
        SafeFile::FailNextForTests(SafeFile::Step::Write, ENOSPC, 0);
        SafeFile out(dir.filePath("x"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(pattern(300000)), qint64(-1));
        QCOMPARE(out.write("abc"), qint64(-1));
        QVERIFY(!out.commit());
        QCOMPARE(out.FailedStep(), SafeFile::Step::Write);
        QVERIFY(entries(dir.path()).isEmpty());
    }

    void notCommittedLeavesNothing()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("keep.KVR");
        writeFile(target, "old");
        {
            SafeFile out(target);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(pattern(1000));
            QCOMPARE(entries(dir.path()).size(), 2);
        }
        QCOMPARE(readAll(target), QByteArray("old"));
        QCOMPARE(entries(dir.path()), QStringList{"keep.KVR"});
    }

    void refusesAFolderOrAMissingFolder()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        SafeFile folder(dir.filePath("sub"));
        QVERIFY(!folder.open(QIODevice::WriteOnly));
        QCOMPARE(folder.SystemError(), EISDIR);
        SafeFile missing(dir.filePath("nowhere/x.pdf"));
        QVERIFY(!missing.open(QIODevice::WriteOnly));
        QCOMPARE(missing.SystemError(), ENOENT);
        QVERIFY(!missing.commit());
    }

    // Real system refusals, not the seam: a file-size limit (everywhere) and
    // a 2 MB tmpfs (where the test may mount one).
    void fileSizeLimitIsReported()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("big.xls");
        writeFile(target, "good");
        {
            FileSizeLimit limit(64 * 1024);
            QString error;
            QVERIFY(!SafeFile::WriteAll(target, pattern(1 << 20), &error));
            QVERIFY2(error.contains(SafeFile::PersianReasonFor(EFBIG)), qPrintable(error));
        }
        QCOMPARE(readAll(target), QByteArray("good"));
        QCOMPARE(entries(dir.path()), QStringList{"big.xls"});
    }

    void fullTmpfsIsReported()
    {
        SmallTmpfs disk(QStringLiteral("2M"));
        if (!disk.IsMounted())
            QSKIP("this process may not mount a tmpfs");
        const QString target = disk.FilePath("export.xls");
        writeFile(target, pattern(600000));
        QString error;
        QVERIFY(!SafeFile::WriteAll(target, pattern(3 << 20), &error));
        QVERIFY2(error.contains(SafeFile::PersianReasonFor(ENOSPC)), qPrintable(error));
        QCOMPARE(readAll(target), pattern(600000));
        QCOMPARE(entries(disk.Path()), QStringList{"export.xls"});
        // With the space back, the same write works.
        QVERIFY(SafeFile::WriteAll(target, pattern(1 << 20), &error));
        QCOMPARE(readAll(target), pattern(1 << 20));
    }
};

QTEST_GUILESS_MAIN(TestSafeFile)
#include "tst_safefile.moc"
