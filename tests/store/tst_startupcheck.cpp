// The start-up check of the database file: one error box naming the file and
// its full path, and no empty database made in its place.
#include "StoreFixture.h"
#include "common/ui/Dialogs.h"
#include "store/DataControl.h"
#include "store/ui/StartupCheck.h"
#include "tests/support/OtherProgram.h"

#include <QApplication>

#include <QFile>
#include <QTest>

class TestStartupCheck : public QObject
{
    Q_OBJECT
private slots:
    void check_data();
    void check();
    void codesHeldTwiceAreNamedOnce();
    void waitsForARestoreInAnotherWindow();
};

void TestStartupCheck::check_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("ready");
    QTest::addColumn<QString>("says");
    QTest::newRow("sound") << "sound" << true << "";
    QTest::newRow("missing") << "missing" << false << "پيدا نشد";
    QTest::newRow("damaged") << "damaged" << false << "آسيب ديده";
}

void TestStartupCheck::check()
{
    QFETCH(QString, state);
    QFETCH(bool, ready);
    QFETCH(QString, says);
    StoreFixture f;
    QVERIFY(f.ok());
    if (state == "missing") {
        QVERIFY(QFile::remove(f.DbPath()));
    } else if (state == "damaged") {
        QFile file(f.DbPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(4096, 'x'));
    }
    const QByteArray before = [&] {
        QFile file(f.DbPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    Dialogs::Test::Install();
    QCOMPARE(DatabaseReadyAtStart(), ready);
    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    Dialogs::Test::Uninstall();
    if (ready) {
        QVERIFY(boxes.isEmpty());
        return;
    }
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, QString("خطا"));
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QVERIFY(boxes[0].text.contains("KVRDB.mdb"));
    QVERIFY(boxes[0].text.contains(QDir::toNativeSeparators(f.DbPath())));
    QVERIFY(boxes[0].text.contains(says));
    QCOMPARE(QFile::exists(f.DbPath()), state != "missing");
    QFile file(f.DbPath());
    QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), before);
}

// A file from before codes were unique, with codes held twice: the program
// starts, names them in one box, and changes nothing.
void TestStartupCheck::codesHeldTwiceAreNamedOnce()
{
    StoreFixture f;
    QVERIFY(f.ok());
    f.Exec("DROP INDEX IDE_Code");
    f.AddExaminees({"4", "4", "8"}, false);
    f.Db().close();

    Dialogs::Test::Install();
    QVERIFY(DatabaseReadyAtStart());
    DataControl list; // the screens open the file afterwards and say nothing more
    QVERIFY(list.Open("SELECT * FROM IDE "));
    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    Dialogs::Test::Uninstall();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Warning);
    QVERIFY2(boxes[0].text.contains(QString::fromUtf8("کد آزمودني هاي تکراري: 4")), qPrintable(boxes[0].text));
    QVERIFY(!boxes[0].text.contains('8'));
    QCOMPARE(list.RecordCount(), 3);
}

void TestStartupCheck::waitsForARestoreInAnotherWindow()
{
    StoreFixture f;
    QVERIFY(f.ok());
    OtherProgram restoring;
    QVERIFY(restoring.Start(f.DbPath(), OtherProgram::Lock::Exclusive));
    Dialogs::Test::Install();
    QVERIFY(!DatabaseReadyAtStart());
    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    Dialogs::Test::Uninstall();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, QString("خطا"));
    QVERIFY2(boxes[0].text.startsWith(QString::fromUtf8("در پنجره ديگري از برنامه KVR اطلاعات از نسخه پشتيبان")),
             qPrintable(boxes[0].text));
}

int main(int argc, char *argv[])
{
    if (OtherProgram::IsChild())
        return OtherProgram::RunChild();
    QApplication app(argc, argv);
    TestStartupCheck test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_startupcheck.moc"
