// kvr-cli's batch commands end to end: a copy of the program in a scratch
// program folder with its database, run from another folder as a script
// would run it.
#include "tests/app/CliRun.h"
#include "tests/results/ReadBack.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/FullDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kMale = QString::fromUtf8("مرد");
const QString kFemale = QString::fromUtf8("زن");

} // namespace

class TestKvrCliBatch : public QObject
{
    Q_OBJECT

    std::unique_ptr<StoreFixture> m_db;
    QTemporaryDir m_caller; // the folder kvr-cli is started from

    void add(const QString &code, const QString &name, const QString &gender, const QStringList &answers)
    {
        m_db->Exec(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht) VALUES (?, ?, '30', ?)"),
                   {code, name, gender});
        QString cols, marks;
        QVariantList values{code.toLongLong()};
        for (int i = 1; i <= 40; ++i) {
            cols += QStringLiteral(", \"%1\"").arg(i);
            marks += QStringLiteral(", ?");
            values << answers.value(i - 1);
        }
        m_db->Exec(QStringLiteral("INSERT INTO Answer1 (Code%1) VALUES (?%2)").arg(cols, marks), values);
    }

    QStringList storedAnswers(const QString &code)
    {
        QSqlQuery q(m_db->Db());
        q.prepare(m_db->Sql(QStringLiteral("SELECT * FROM Answer1 WHERE Code = ?")));
        q.addBindValue(code.toLongLong());
        QStringList out;
        if (q.exec() && q.next())
            for (int i = 1; i <= 40; ++i)
                out << q.value(QString::number(i)).toString();
        return out;
    }

    Run cli(const QStringList &args)
    {
        QProcess p;
        p.setWorkingDirectory(m_caller.path());
        // On the server the program is told where the records live.
        const QStringList where = m_db->OnServer() ? QStringList{QStringLiteral("--server"), m_db->ConnectionString()}
                                                   : QStringList();
        return RunToEnd(p, QDir(m_db->Folder()).filePath(QStringLiteral("kvr-cli")), where + args);
    }

    QString caller(const QString &name) const { return QDir(m_caller.path()).filePath(name); }

    static QString Fixture(const QString &name)
    {
        return QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("tests/fixtures/") + name);
    }

private slots:
    void init()
    {
        const QString built = QDir(qEnvironmentVariable("KVR_PROGRAM_DIR")).filePath(QStringLiteral("kvr-cli"));
        QVERIFY2(QFileInfo::exists(built), "kvr-cli is not built");
        m_db = std::make_unique<StoreFixture>();
        QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
        QVERIFY(QFile::copy(built, QDir(m_db->Folder()).filePath(QStringLiteral("kvr-cli"))));
        // The .xlsx reader lies beside the program, as in the build.
        QVERIFY(QFile::copy(QDir(qEnvironmentVariable("KVR_PROGRAM_DIR")).filePath(QStringLiteral("kvr-zip.so")),
                            QDir(m_db->Folder()).filePath(QStringLiteral("kvr-zip.so"))));
        QVERIFY(QFile::copy(QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVR.fr3")),
                            QDir(m_db->Folder()).filePath(QStringLiteral("KVR.fr3"))));
        QDir(m_caller.path()).removeRecursively();
        QDir().mkpath(m_caller.path());
    }
    void cleanup() { m_db.reset(); }

    // The extension names the format; a name with none of the four gets
    // ".xls". Paths are taken from the folder kvr-cli was started in.
    void exportByExtension_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<int>("columns"); // -1: not a CSV file
        const QByteArray cfb("\xD0\xCF\x11\xE0", 4);
        const QByteArray bom("\xEF\xBB\xBF");
        QTest::newRow(".xls") << QStringList{"export", "out.xls"} << "out.xls" << cfb << -1;
        QTest::newRow("no extension") << QStringList{"export", "out"} << "out.xls" << cfb << -1;
        QTest::newRow("another extension") << QStringList{"export", "out.txt"} << "out.txt.xls" << cfb << -1;
        QTest::newRow(".xlsx, upper case") << QStringList{"export", "OUT.XLSX"} << "OUT.XLSX" << QByteArray("PK\x03\x04") << -1;
        QTest::newRow(".sav with scores") << QStringList{"export", "--scores", "out.sav"} << "out.sav" << QByteArray("$FL2") << -1;
        QTest::newRow(".csv") << QStringList{"export", "out.csv"} << "out.csv" << bom << 46;
        QTest::newRow(".csv, scores last") << QStringList{"export", "out.csv", "--scores"} << "out.csv" << bom << 63;
        QTest::newRow("in a subfolder") << QStringList{"export", "sub/out.csv"} << "sub/out.csv" << bom << 46;
    }
    void exportByExtension()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, written);
        QFETCH(QByteArray, start);
        QFETCH(int, columns);
        add(QStringLiteral("1"), QStringLiteral("Reza"), kMale, QStringList(40, QStringLiteral("1")));
        QDir(m_caller.path()).mkdir(QStringLiteral("sub"));
        const Run r = cli(args);
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(caller(written)) && r.out.contains(QStringLiteral("1 examinee")), qPrintable(r.out));
        QFile f(caller(written));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(start.size()) == start);
        if (columns > 0)
            QCOMPARE(f.readLine().count(',') + 1, columns);
        QVERIFY(!QFileInfo::exists(QDir(m_db->Folder()).filePath(written)));
    }

    void exportRefusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("no file") << QStringList{"export"} << 2 << "usage";
        QTest::newRow("scores only") << QStringList{"export", "--scores"} << 2 << "usage";
        QTest::newRow("folder missing") << QStringList{"export", "missing/out.csv"} << 1 << "missing/out.csv";
        QTest::newRow("database missing") << QStringList{"export", "out.sav", "none.mdb"} << 1 << "none.mdb";
    }
    void exportRefusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, mentions);
        const Run r = cli(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(mentions), qPrintable(r.err));
        QVERIFY(QDir(m_caller.path()).isEmpty());
    }

    // import CODE FILE: the import screen's rules and messages; exit status
    // 0 only when the answers were stored.
    void import_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QStringList>("stored"); // the examinee's answers afterwards
        QTest::addColumn<bool>("zipReader");     // the .xlsx reader is installed
        QStringList all;
        for (int n = 1; n <= 40; ++n)
            all << QString::number(n % 3);
        QStringList mixed(40, QString());
        mixed[0] = QStringLiteral("1");
        mixed[1] = QStringLiteral("2"); // 3 leaves the stored answer
        mixed[2] = QStringLiteral("2"); // "x" leaves it
        mixed[3] = QStringLiteral("2"); // 1.5 leaves it
        mixed[4] = QStringLiteral("2");
        const QStringList before(40, QStringLiteral("2"));
        const QString success = QString::fromUtf8("داده ها با موفقيت وارد سيستم شدند");
        QTest::newRow("every answer") << "4" << Fixture("import-all.xls") << 0 << success << all << true;
        QTest::newRow("odd cells leave answers") << "4" << Fixture("import-mixed.xls") << 0 << success << mixed << true;
        QTest::newRow("relative to the caller") << "4" << "copy.xlsx" << 0 << success << all << true;
        QTest::newRow("wrong marker") << "4" << Fixture("import-lowercase.xls") << 1 << "Error A1" << before << true;
        QTest::newRow("no marker sheet") << "4" << Fixture("import-nosheet.xls") << 1 << "Error A4" << before << true;
        QTest::newRow("no such file") << "4" << "none.xlsx" << 1 << "Error A4" << before << true;
        QTest::newRow("no such examinee") << "99" << Fixture("import-all.xls") << 1 << "Error A4" << before << true;
        QTest::newRow("saved as .xlsx") << "4" << Fixture("import-mixed-lo.xlsx") << 0 << success << mixed << true;
        // Without the reader an .xlsx is refused in so many words, and nothing is stored.
        const QString missing = QString::fromUtf8("فايلهاي xlsx خوانده نمي شوند");
        QTest::newRow("no .xlsx reader") << "4" << Fixture("import-mixed-lo.xlsx") << 1 << missing << before << false;
        QTest::newRow("no .xlsx reader, .xls") << "4" << Fixture("import-all.xls") << 0 << success << all << false;
    }
    void import()
    {
        QFETCH(QString, code);
        QFETCH(QString, file);
        QFETCH(int, status);
        QFETCH(QString, says);
        QFETCH(QStringList, stored);
        QFETCH(bool, zipReader);
        if (!zipReader)
            QVERIFY(QFile::remove(QDir(m_db->Folder()).filePath(QStringLiteral("kvr-zip.so"))));
        add(QStringLiteral("4"), QStringLiteral("Sara"), kFemale, QStringList(40, QStringLiteral("2")));
        // A filled template kept beside the caller's script.
        if (file == QLatin1String("copy.xlsx"))
            QVERIFY(QFile::copy(Fixture(QStringLiteral("import-all.xls")), caller(file)));

        const Run r = cli({QStringLiteral("import"), code, file});
        QCOMPARE(r.status, status);
        QVERIFY2((status == 0 ? r.out : r.err).contains(says), qPrintable(r.out + r.err));
        QCOMPARE(storedAnswers(QStringLiteral("4")), stored);
    }

    void importUsage()
    {
        QCOMPARE(cli({QStringLiteral("import"), QStringLiteral("4")}).status, 2);
    }

    // report --all DIR: a profile for each examinee with a known gender,
    // named by code, and a summary line.
    void reportAll()
    {
        add(QStringLiteral("3"), QStringLiteral("Reza Ahmadi"), kMale, QStringList(40, QStringLiteral("1")));
        add(QStringLiteral("4"), QStringLiteral("Sara Karimi"), kFemale, QStringList(40, QStringLiteral("2")));
        add(QStringLiteral("5"), QStringLiteral("No Gender"), QString(), QStringList(40, QStringLiteral("0")));
        const Run r = cli({QStringLiteral("report"), QStringLiteral("--all"), QStringLiteral("profiles")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("2 profile(s) written, 1 examinee(s) without a known gender left out, 0 failed")),
                 qPrintable(r.out));
        QCOMPARE(QDir(caller(QStringLiteral("profiles"))).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"3.pdf", "4.pdf"}));
        // Each profile is that examinee's: name and raw scores in the text.
        const struct { const char *file; const char *name; const char *raw; } want[] = {
            {"3.pdf", "Reza Ahmadi", "40"}, {"4.pdf", "Sara Karimi", "34"}};
        for (const auto &w : want) {
            QByteArray text;
            QString error;
            QVERIFY2(ReadBack::Run(QStringLiteral("pdftotext"),
                                   {caller(QStringLiteral("profiles/")) + QLatin1String(w.file), QStringLiteral("-")},
                                   &text, &error),
                     qPrintable(error));
            QVERIFY2(text.contains(w.name) && text.contains(w.raw), text.constData());
        }
    }

    void reportAllFailures_data()
    {
        // 0 no template, 1 DIR is a file, 2 a code that cannot name a file,
        // 3 a code twice, 4 the disk is full
        QTest::addColumn<int>("how");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("no template") << 0 << QStringList{} << "KVR.fr3";
        QTest::newRow("folder is a file") << 1 << QStringList{} << "profiles";
        QTest::newRow("code with a slash") << 2 << QStringList{"3.pdf"} << "1/2";
        QTest::newRow("code twice") << 3 << QStringList{"3.pdf"} << "more than one";
        QTest::newRow("disk full: the earlier file stays") << 4 << QStringList{"3.pdf"} << "3.pdf";
    }
    void reportAllFailures()
    {
        QFETCH(int, how);
        QFETCH(QStringList, written);
        QFETCH(QString, mentions);
        add(QStringLiteral("3"), QStringLiteral("Reza"), kMale, QStringList(40, QStringLiteral("1")));
        if (how == 0)
            QVERIFY(QFile::remove(QDir(m_db->Folder()).filePath(QStringLiteral("KVR.fr3"))));
        if (how == 1) {
            QFile f(caller(QStringLiteral("profiles")));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        if (how == 2)
            m_db->Exec(QStringLiteral("INSERT INTO IDE (Code, FullName, Geschlecht) VALUES ('1/2', 'Slash', ?)"), {kMale});
        if (how == 3) {
            if (m_db->OnServer())
                QSKIP("The server's codes are unique from the start: no database there holds a code twice.");
            // A database from before codes were kept unique.
            m_db->Exec(QStringLiteral("DROP INDEX IF EXISTS IDE_Code"));
            m_db->Exec(QStringLiteral("DROP INDEX IF EXISTS Answer1_Code"));
            add(QStringLiteral("3"), QStringLiteral("Again"), kFemale, QStringList(40, QStringLiteral("0")));
        }
        if (how == 4) {
            QVERIFY(QDir(m_caller.path()).mkdir(QStringLiteral("profiles")));
            QFile f(caller(QStringLiteral("profiles/3.pdf")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("an earlier profile");
        }
        Run r;
        {
            // kvr-cli inherits the limit: no file it writes may pass 4 KB.
            std::unique_ptr<FileSizeLimit> full(how == 4 ? new FileSizeLimit(4096) : nullptr);
            r = cli({QStringLiteral("report"), QStringLiteral("--all"), QStringLiteral("profiles")});
        }
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(mentions), qPrintable(r.err));
        if (how != 1)
            QCOMPARE(QDir(caller(QStringLiteral("profiles"))).entryList(QDir::Files | QDir::Hidden), written);
        if (how == 4) {
            QFile f(caller(QStringLiteral("profiles/3.pdf")));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("an earlier profile"));
        }
    }
};

QTEST_GUILESS_MAIN(TestKvrCliBatch)
#include "tst_kvrcli_batch.moc"
