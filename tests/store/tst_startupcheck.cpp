// The start-up check of the database file: one error box naming the file and
// its full path, and no empty database made in its place.
#include "StoreFixture.h"
#include "common/ui/Dialogs.h"
#include "store/ui/StartupCheck.h"

#include <QFile>
#include <QTest>

class TestStartupCheck : public QObject
{
    Q_OBJECT
private slots:
    void check_data();
    void check();
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

QTEST_MAIN(TestStartupCheck)
#include "tst_startupcheck.moc"
