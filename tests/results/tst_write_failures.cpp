// The export workbook and the profile PDF when the file cannot be written: a
// failure at any step, or a real full disk, is reported, and the file that
// was there before stays byte for byte, with nothing left beside it.
#include "common/SafeFile.h"
#include "results/ExcelExport.h"
#include "results/ProfileReport.h"
#include "results/ReportRenderer.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/FillDisk.h"
#include "tests/support/FullDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A good file of the kind the writer makes, from an earlier run.
QByteArray earlierFile(const QString &writer)
{
    QByteArray bytes = writer == QLatin1String("export") ? QByteArray("\xD0\xCF\x11\xE0 earlier workbook")
                                                         : QByteArray("%PDF-1.4 earlier profile");
    bytes += QByteArray(3000, 'k');
    return bytes;
}

ProfileInputs someInputs()
{
    ProfileInputs in;
    in.summaryLine = ProfileSummaryLine(QStringLiteral("مريم احمدي"), QStringLiteral("34"), QStringLiteral("زن"),
                                        QStringLiteral("متاهل"), QStringLiteral("کارشناسي"));
    for (int r = 0; r < 8; ++r) {
        in.rawScores[r] = QString::number(10 + r);
        in.stens[r] = QString::number(r + 2);
    }
    in.clinicName = QStringLiteral("کلينيک");
    return in;
}

} // namespace

class TestWriteFailures : public QObject
{
    Q_OBJECT

    StoreFixture *m_store = nullptr;
    QTemporaryDir m_smallFolder;
    QString m_small; // a database of three examinees

    // Runs one writer onto target; on failure *error and *reason say why.
    bool write(const QString &writer, const QString &target, QString *error, QString *reason)
    {
        if (writer == QLatin1String("export")) {
            const ExcelExport::Outcome out = ExcelExport::Write(target);
            *error = out.error;
            *reason = out.reason;
            return out.ok;
        }
        return WriteReportPdf(FillProfileReport(someInputs()), target, error, reason);
    }
    static QString targetName(const QString &writer)
    {
        return writer == QLatin1String("export") ? QStringLiteral("data.xls") : QStringLiteral("profile.pdf");
    }

private slots:
    void initTestCase()
    {
        m_store = new StoreFixture;
        QVERIFY2(m_store->ok(), qPrintable(m_store->error()));
        QVERIFY(QFile::copy(QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVR.fr3")),
                            ProgramFile(QStringLiteral("KVR.fr3"))));
        // Enough examinees that the workbook (about 2 MB) is written in
        // several pieces before it is complete.
        QString columns, marks;
        for (int i = 1; i <= 40; ++i) {
            columns += QStringLiteral(", \"%1\"").arg(i);
            marks += QStringLiteral(", ?");
        }
        const QString answers = QStringLiteral("INSERT INTO Answer1 (Code%1) VALUES (?%2)").arg(columns, marks);
        QVERIFY(m_store->Db().transaction());
        for (int i = 1; i <= 3000; ++i) {
            m_store->Exec(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht) VALUES (?, ?, '30', 'زن')"),
                          {QString::number(i), QStringLiteral("آزمودني شماره %1").arg(i)});
            QVariantList values{i};
            for (int k = 0; k < 40; ++k)
                values << QString::number((i + k) % 3);
            m_store->Exec(answers, values);
        }
        QVERIFY(m_store->Db().commit());

        // The small database: the delivered one with the first three examinees.
        m_small = m_smallFolder.filePath(QStringLiteral("small.mdb"));
        QVERIFY(QFile::copy(m_store->DbPath(), m_small));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("small"));
            db.setDatabaseName(m_small);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("DELETE FROM IDE WHERE CAST(Code AS INTEGER) > 3")));
            QVERIFY(q.exec(QStringLiteral("DELETE FROM Answer1 WHERE Code > 3")));
            QVERIFY(q.exec(QStringLiteral("VACUUM")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("small"));
    }
    void cleanupTestCase() { delete m_store; }
    void cleanup() { SafeFile::ClearFaultForTests(); }

    void failureAtAnyStepKeepsTheEarlierFile_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("error");
        QTest::addColumn<qint64>("afterBytes");
        struct Step {
            const char *name;
            SafeFile::Step step;
            int error;
            qint64 afterBytes;
        };
        const Step steps[] = {
            {"open", SafeFile::Step::Open, EACCES, 0},
            {"first write", SafeFile::Step::Write, ENOSPC, 0},
            {"write part way", SafeFile::Step::Write, ENOSPC, 40000}, // the workbook: after its first 100 KB
            {"flush", SafeFile::Step::Flush, ENOSPC, 0},
            {"sync", SafeFile::Step::Sync, EIO, 0},
            {"close", SafeFile::Step::Close, EIO, 0},
            {"rename", SafeFile::Step::Rename, EXDEV, 0},
        };
        for (const char *writer : {"export", "report"})
            for (const Step &s : steps)
                QTest::addRow("%s, %s", writer, s.name)
                    << QString::fromLatin1(writer) << int(s.step) << s.error
                    << (s.afterBytes && qstrcmp(writer, "export") == 0 ? qint64(100000) : s.afterBytes);
    }
    void failureAtAnyStepKeepsTheEarlierFile()
    {
        QFETCH(QString, writer);
        QFETCH(int, step);
        QFETCH(int, error);
        QFETCH(qint64, afterBytes);
        QTemporaryDir out;
        const QString target = out.filePath(targetName(writer));
        QVERIFY(SafeFile::WriteAll(target, earlierFile(writer)));

        SafeFile::FailNextForTests(SafeFile::Step(step), error, afterBytes);
        QString why, reason;
        QVERIFY(!write(writer, target, &why, &reason));
        QVERIFY2(why.contains(target), qPrintable(why));
        QCOMPARE(reason, SafeFile::PersianReasonFor(error));
        QCOMPARE(readAll(target), earlierFile(writer));
        QCOMPARE(entries(out.path()), QStringList{targetName(writer)});

        // Nothing sticks: the next write goes through.
        QVERIFY2(write(writer, target, &why, &reason), qPrintable(why));
        QVERIFY(readAll(target) != earlierFile(writer));
        QCOMPARE(entries(out.path()), QStringList{targetName(writer)});
    }

    // Real refusals of the system rather than the seam: a file-size limit,
    // or a full 2 MB file system. Either nothing fits, or all but the last
    // bytes do - the piece a writer sends on its final flush.
    void fullDiskKeepsTheEarlierFile_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<bool>("small"); // the export of three examinees, not of 3,000
        QTest::addColumn<bool>("tmpfs"); // false: a file-size limit
        QTest::addColumn<bool>("allButTheEnd");
        for (bool tmpfs : {false, true}) {
            for (bool end : {false, true}) {
                const char *how = tmpfs ? "full file system" : "file-size limit";
                const char *fits = end ? "all but the end fits" : "nothing fits";
                QTest::addRow("export of 3, %s, %s", how, fits) << "export" << true << tmpfs << end;
                QTest::addRow("report, %s, %s", how, fits) << "report" << false << tmpfs << end;
            }
        }
        QTest::newRow("export of 3000, file-size limit, all but the end fits")
            << "export" << false << false << true;
    }
    void fullDiskKeepsTheEarlierFile()
    {
        QFETCH(QString, writer);
        QFETCH(bool, small);
        QFETCH(bool, tmpfs);
        QFETCH(bool, allButTheEnd);
        QTemporaryDir plain;
        SmallTmpfs disk;
        if (tmpfs && !disk.IsMounted())
            QSKIP("this process may not mount a tmpfs");
        const QString folder = tmpfs ? disk.Path() : plain.path();
        const QString target = QDir(folder).filePath(targetName(writer));
        auto run = [&](const QString &to, QString *why, QString *reason) {
            if (!small)
                return write(writer, to, why, reason);
            const ExcelExport::Outcome out = ExcelExport::Write(to, m_small);
            *why = out.error;
            *reason = out.reason;
            return out.ok;
        };
        QString why, reason;
        // How big the file is when it can be written.
        qint64 size = 0;
        {
            QTemporaryDir scratch;
            const QString measured = scratch.filePath(targetName(writer));
            QVERIFY2(run(measured, &why, &reason), qPrintable(why));
            size = QFileInfo(measured).size();
        }
        const qint64 room = allButTheEnd ? size - 512 : 0;

        QVERIFY(SafeFile::WriteAll(target, earlierFile(writer)));
        if (tmpfs)
            QVERIFY(LeaveFree(folder, room));
        const QStringList before = entries(folder);
        bool ok;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (!tmpfs)
                limit = std::make_unique<FileSizeLimit>(rlim_t(room));
            ok = run(target, &why, &reason);
        }
        QVERIFY(!ok);
        QCOMPARE(reason, SafeFile::PersianReasonFor(tmpfs ? ENOSPC : EFBIG));
        QVERIFY2(why.contains(target), qPrintable(why));
        QCOMPARE(readAll(target), earlierFile(writer));
        QCOMPARE(entries(folder), before);
    }
};

QTEST_MAIN(TestWriteFailures)
#include "tst_write_failures.moc"
