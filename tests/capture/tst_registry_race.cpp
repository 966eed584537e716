// Two program windows register examinees on one database at the same moment,
// many times: every examinee gets a code of its own and an answer row of its
// own, and each window learns the code that was stored. The windows are two
// processes (this executable started again) running the registry's steps: a
// new row, the next code as the timer gives it, a short pause standing for
// the typing, then the save.
#include "capture/CaptureTexts.h"
#include "capture/Registry.h"
#include "common/ProgramFolder.h"
#include "store/DataControl.h"
#include "store/Examinees.h"
#include "tests/store/StoreFixture.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <QThread>

#include <cstdio>

namespace {

const QString kListSource = QStringLiteral(
    "select id,FullName,Alter,Geschlecht,Heirat,Datum1,Bildung,TelNummer1,Tester,Code  from IDE order by id desc ");
constexpr int kPerWindow = 40;

// One window: registers kPerWindow examinees, printing "name shown stored"
// for each.
int RunWindow()
{
    SetProgramFolder(qEnvironmentVariable("KVR_RACE_FOLDER"));
    StoreFixture::AdoptInChild();
    const QString window = qEnvironmentVariable("KVR_RACE_WINDOW");
    // Both windows start together.
    const qint64 start = qEnvironmentVariable("KVR_RACE_START").toLongLong();
    while (QDateTime::currentMSecsSinceEpoch() < start)
        QThread::msleep(1);
    DataControl rows, scratch;
    for (int i = 0; i < kPerWindow; ++i) {
        if (!rows.Open(kListSource) || !rows.AddNew()) {
            std::fprintf(stderr, "open: %s\n", qPrintable(rows.LastError()));
            return 1;
        }
        const QString shown = Examinees::NextCode(scratch);
        QThread::msleep(i % 7);
        Registry::Entry e;
        e.code = shown;
        e.fullName = QStringLiteral("%1-%2").arg(window).arg(i);
        e.age = QStringLiteral("30");
        e.gender = CaptureText::Male();
        QString why, stored;
        if (!Registry::Save(rows, scratch, e, &why, &stored)) {
            std::fprintf(stderr, "save %d: %s\n", i, qPrintable(why));
            return 1;
        }
        std::printf("%s %s %s\n", qPrintable(e.fullName), qPrintable(shown), qPrintable(stored));
    }
    return 0;
}

} // namespace

class TestRegistryRace : public QObject
{
    Q_OBJECT
private slots:
    void twoWindowsSaveAtOnce();
};

void TestRegistryRace::twoWindowsSaveAtOnce()
{
    StoreFixture f;
    QVERIFY2(f.ok(), qPrintable(f.error()));
    f.AddExaminees({"1", "2"});
    f.Db().close();

    QProcess windows[2];
    const qint64 start = QDateTime::currentMSecsSinceEpoch() + 700;
    for (int w = 0; w < 2; ++w) {
        QProcessEnvironment env = f.ChildEnvironment();
        env.insert("KVR_RACE_FOLDER", f.Folder());
        env.insert("KVR_RACE_WINDOW", w == 0 ? "a" : "b");
        env.insert("KVR_RACE_START", QString::number(start));
        windows[w].setProcessEnvironment(env);
        windows[w].start(QCoreApplication::applicationFilePath(), {});
    }
    QMap<QString, QString> storedFor; // name -> the code the window was told
    int renumbered = 0;
    for (QProcess &p : windows) {
        QVERIFY(p.waitForFinished(120000));
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, p.readAllStandardError().constData());
        for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() != 3)
                continue;
            storedFor.insert(QString::fromUtf8(parts[0]), QString::fromUtf8(parts[2]));
            renumbered += parts[1] != parts[2];
        }
    }
    QCOMPARE(storedFor.size(), 2 * kPerWindow);
    qInfo("%d of %d examinees got another code than first shown", renumbered, 2 * kPerWindow);

    // Every examinee has its own code and its own answer row, and the code
    // each window was told is the one stored.
    const int total = 2 * kPerWindow + 2;
    QCOMPARE(f.Count("SELECT count(*) FROM IDE"), total);
    QCOMPARE(f.Count("SELECT count(DISTINCT Code) FROM IDE"), total);
    QCOMPARE(f.Count("SELECT count(*) FROM Answer1"), total);
    QCOMPARE(f.Count("SELECT count(*) FROM IDE JOIN Answer1 ON CAST(Answer1.Code AS TEXT) = IDE.Code"), total);
    for (auto it = storedFor.cbegin(); it != storedFor.cend(); ++it)
        QCOMPARE(f.Exec("SELECT Code FROM IDE WHERE FullName = ?", {it.key()}).toString(), it.value());
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("KVR_RACE_WINDOW")) {
        QCoreApplication app(argc, argv);
        return RunWindow();
    }
    QCoreApplication app(argc, argv);
    TestRegistryRace test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registry_race.moc"
