#include "results/ProfileSource.h"
#include "tests/store/StoreFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

class TestProfileSource : public QObject
{
    Q_OBJECT

    void addExaminee(StoreFixture &db, const QString &code, const QString &gender, const QStringList &answers)
    {
        db.Exec(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht, Heirat, Bildung) "
                               "VALUES (?, ?, '41', ?, ?, ?)"),
                {code, QStringLiteral("رضا محمدي"), gender, QStringLiteral("متاهل"), QStringLiteral("دکتري")});
        if (answers.isEmpty())
            return;
        QString cols, marks;
        QVariantList values{code.toLongLong()};
        for (int i = 1; i <= 40; ++i) {
            cols += QStringLiteral(", \"%1\"").arg(i);
            marks += QStringLiteral(", ?");
            values << answers.value(i - 1);
        }
        db.Exec(QStringLiteral("INSERT INTO Answer1 (Code%1) VALUES (?%2)").arg(cols, marks), values);
    }

    static QStringList cycling()
    {
        QStringList a;
        for (int i = 0; i < 40; ++i)
            a << QString::number(i % 3);
        return a;
    }

private slots:
    void scoresTheStoredAnswersWithTheSettings()
    {
        StoreFixture db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        addExaminee(db, QStringLiteral("3"), QStringLiteral("مرد"), QStringList(40, QStringLiteral("1")));
        addExaminee(db, QStringLiteral("4"), QStringLiteral("زن"), QStringList(40, QStringLiteral("1")));
        addExaminee(db, QStringLiteral("5"), QStringLiteral("مرد"), cycling());
        db.Exec(QStringLiteral("UPDATE Theme SET Name = ?, Adresse = ?, Mosch = ?, Logo = 1"),
                {QStringLiteral("clinic"), QStringLiteral("address"), QStringLiteral("a@b.ir\r\n")});

        const auto male = ProfileSource::ForExaminee(QStringLiteral("3"));
        QVERIFY2(male.ok, qPrintable(male.error));
        const auto female = ProfileSource::ForExaminee(QStringLiteral("4"));
        QVERIFY2(female.ok, qPrintable(female.error));
        const auto cyc = ProfileSource::ForExaminee(QStringLiteral("5"));
        QVERIFY2(cyc.ok, qPrintable(cyc.error));

        const QStringList raw{"8", "6", "4", "12", "10", "20", "20", "40"};
        const QStringList maleStens{"7", "5", "4", "5", "5", "5", "6", "5"};
        const QStringList femaleStens{"8", "5", "4", "5", "5", "5", "5", "5"};
        const QStringList cycRaw{"8", "8", "6", "6", "9", "23", "14", "37"};
        for (int r = 0; r < 8; ++r) {
            QCOMPARE(male.inputs.rawScores[r], raw[r]);
            QCOMPARE(female.inputs.rawScores[r], raw[r]);
            QCOMPARE(male.inputs.stens[r], maleStens[r]);
            QCOMPARE(female.inputs.stens[r], femaleStens[r]);
            QCOMPARE(cyc.inputs.rawScores[r], cycRaw[r]);
        }
        QCOMPARE(male.inputs.summaryLine,
                 QStringLiteral("رضا محمدي    سن: 41    جنسيت: مرد    وضعيت تاهل: متاهل    تحصيلات: دکتري"));
        QCOMPARE(male.inputs.clinicName, QStringLiteral("clinic"));
        QCOMPARE(male.inputs.clinicAddress, QStringLiteral("address"));
        QCOMPARE(male.inputs.contactBlock, QStringLiteral("a@b.ir\r\n"));
        QCOMPARE(male.inputs.printLogo, 1);
    }

    void examineeWithoutAnswerRowScoresAsUnanswered()
    {
        StoreFixture db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        addExaminee(db, QStringLiteral("8"), QStringLiteral("زن"), {});
        const auto out = ProfileSource::ForExaminee(QStringLiteral("8"));
        QVERIFY2(out.ok, qPrintable(out.error));
        for (int r = 0; r < 8; ++r) {
            QCOMPARE(out.inputs.rawScores[r], QStringLiteral("0"));
            QCOMPARE(out.inputs.stens[r], QStringLiteral("0"));
        }
        // the delivered settings row: logo not ticked
        QCOMPARE(out.inputs.printLogo, 0);
    }

    // kvr-cli report end to end: a copy of the program placed in a scratch
    // program folder with its database and template.
    void commandLineReport_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("withTemplate");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("profile written") << "3" << true << 0 << "";
        QTest::newRow("no such examinee") << "99" << true << 1 << "99";
        QTest::newRow("gender not given") << "6" << true << 1 << "neither";
        QTest::newRow("no template") << "3" << false << 1 << "KVR.fr3";
    }
    void commandLineReport()
    {
        QFETCH(QString, code);
        QFETCH(bool, withTemplate);
        QFETCH(int, status);
        QFETCH(QString, mentions);
        const QString built = QDir(qEnvironmentVariable("KVR_PROGRAM_DIR")).filePath(QStringLiteral("kvr-cli"));
        if (!QFileInfo::exists(built))
            QSKIP("kvr-cli is not built");
        StoreFixture db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        addExaminee(db, QStringLiteral("3"), QStringLiteral("مرد"), QStringList(40, QStringLiteral("2")));
        addExaminee(db, QStringLiteral("6"), QStringLiteral("?"), QStringList(40, QStringLiteral("2")));
        const QDir folder(db.Folder());
        QVERIFY(QFile::copy(built, folder.filePath(QStringLiteral("kvr-cli"))));
        if (withTemplate)
            QVERIFY(QFile::copy(QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVR.fr3")),
                                folder.filePath(QStringLiteral("KVR.fr3"))));

        const QString pdf = folder.filePath(QStringLiteral("out.pdf"));
        QProcess p;
        QStringList args{QStringLiteral("report"), code, pdf};
        if (db.OnServer())
            args = QStringList{QStringLiteral("--server"), db.ConnectionString()} + args;
        p.start(folder.filePath(QStringLiteral("kvr-cli")), args);
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == status, qPrintable(err));
        QCOMPARE(QFileInfo::exists(pdf), status == 0);
        if (status == 0) {
            QFile f(pdf);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(f.read(4) == "%PDF");
        } else {
            QVERIFY2(err.contains(mentions), qPrintable(err));
        }
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("gender");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("unknown code") << "99" << "مرد" << "99";
        QTest::newRow("not a number") << "7' or '1'='1" << "مرد" << "not an examinee code";
        QTest::newRow("empty code") << "" << "مرد" << "not an examinee code";
        QTest::newRow("gender empty") << "7" << "" << "neither";
        QTest::newRow("gender with a blank") << "7" << " مرد" << "neither";
    }
    void refusals()
    {
        QFETCH(QString, code);
        QFETCH(QString, gender);
        QFETCH(QString, mentions);
        StoreFixture db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        addExaminee(db, QStringLiteral("7"), gender, QStringList(40, QStringLiteral("1")));
        const auto out = ProfileSource::ForExaminee(code);
        QVERIFY(!out.ok);
        QVERIFY2(out.error.contains(mentions), qPrintable(out.error));
    }
};

QTEST_MAIN(TestProfileSource)
#include "tst_profile_source.moc"
