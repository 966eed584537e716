// The server goes away while the program works: a save that was under way
// is reported as failed and leaves nothing half-written, and the work goes
// on once the server is back, on a connection made anew.
#include "CaptureScreens.h"
#include "capture/CaptureTexts.h"
#include "capture/ui/Frm_Azmoodani.h"
#include "capture/ui/Frm_Test.h"
#include "store/DataControl.h"
#include "store/DatabaseError.h"

#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QThread>

#include <thread>

class TestServerOutage : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void serverStoppedInTheMiddleOfASave();
    void serverDownWhenSaving();
    void controlsConnectAgainWhenTheServerIsBack();

private:
    void fillNew(const QString &name);
    QStringList boxLines() const
    {
        const auto boxes = Dialogs::Test::Boxes();
        return boxes.isEmpty() ? QStringList() : boxes.last().text.split(QLatin1Char('\n'));
    }
    int count(const QString &table) { return m_f->db.Count(QStringLiteral("SELECT count(*) FROM ") + table); }

    std::unique_ptr<ScreenFixture> m_f;
    QPointer<Frm_Azmoodani> m_w;
};

void TestServerOutage::init()
{
    qputenv("KVR_TEST_DATABASE", "server");
    m_f = std::make_unique<ScreenFixture>();
    QVERIFY2(m_f->db.ok(), qPrintable(m_f->db.error()));
    QVERIFY(m_f->db.OnServer());
}

void TestServerOutage::cleanup()
{
    delete m_w;
    TestServer::Instance().Start(); // should a test have ended with it stopped
    m_f.reset();
}

void TestServerOutage::fillNew(const QString &name)
{
    m_w->New();
    QVERIFY(Fire(m_w->Timer1()));
    m_w->TxtAnmeldung(0)->setText(name);
    m_w->TxtAnmeldung(1)->setText(QStringLiteral("25"));
    auto *gender = m_w->findChild<QComboBox *>(QStringLiteral("ComboBox1"));
    gender->setCurrentIndex(gender->findText(CaptureText::Male()));
    emit gender->textActivated(CaptureText::Male());
}

void TestServerOutage::serverStoppedInTheMiddleOfASave()
{
    // The examinee's row takes long to write: the answer row is written
    // already, in the same transaction, when the server stops.
    m_f->db.Exec(QStringLiteral("CREATE FUNCTION kvr_slow() RETURNS trigger LANGUAGE plpgsql AS "
                                "$$ BEGIN PERFORM pg_sleep(5); RETURN NEW; END $$"));
    m_f->db.Exec(QStringLiteral("CREATE TRIGGER slow BEFORE INSERT ON IDE FOR EACH ROW EXECUTE FUNCTION kvr_slow()"));
    m_f->db.Db().close();
    m_w = new Frm_Azmoodani();
    m_w->show();
    fillNew(QStringLiteral("Reza"));
    QCOMPARE(m_w->TxtAnmeldung(2)->text(), QStringLiteral("1"));

    std::thread stopper([] {
        QThread::msleep(800);
        TestServer::Instance().Stop();
    });
    const bool saved = m_w->Save();
    stopper.join();
    QVERIFY(!saved);
    const QStringList lines = boxLines();
    QVERIFY2(lines.size() >= 2, qPrintable(lines.join('|')));
    QCOMPARE(lines[0], CaptureText::SaveFailed());
    QCOMPARE(lines[1], DatabaseError::Text(DatabaseError::ConnectionLost, QString()));
    // Still being entered: the user can save again.
    QVERIFY(m_w->PushButton6(2)->isEnabled());

    QVERIFY(TestServer::Instance().Start());
    QCOMPARE(count(QStringLiteral("IDE")), 0);
    QCOMPARE(count(QStringLiteral("Answer1")), 0);
    m_f->db.Exec(QStringLiteral("DROP TRIGGER slow ON IDE"));
    m_f->db.Db().close();

    Dialogs::Test::Clear();
    QVERIFY(m_w->Save());
    QCOMPARE(count(QStringLiteral("IDE")), 1);
    QCOMPARE(count(QStringLiteral("Answer1")), 1);
    QCOMPARE(m_f->db.Exec(QStringLiteral("SELECT Code FROM IDE WHERE FullName = 'Reza'")).toString(), QStringLiteral("1"));
}

void TestServerOutage::serverDownWhenSaving()
{
    m_w = new Frm_Azmoodani();
    m_w->show();
    fillNew(QStringLiteral("Sara"));
    m_f->db.Db().close();
    QVERIFY(TestServer::Instance().Stop());
    QVERIFY(!m_w->Save());
    const QStringList lines = boxLines();
    QVERIFY2(lines.size() >= 2, qPrintable(lines.join('|')));
    QCOMPARE(lines[0], CaptureText::SaveFailed());
    QVERIFY2(lines[1] == DatabaseError::Text(DatabaseError::ConnectionLost, QString())
                 || lines[1] == DatabaseError::Text(DatabaseError::ServerUnreachable, QString()),
             qPrintable(lines[1]));

    QVERIFY(TestServer::Instance().Start());
    Dialogs::Test::Clear();
    QVERIFY(m_w->Save());
    QCOMPARE(count(QStringLiteral("IDE")), 1);
    QCOMPARE(count(QStringLiteral("Answer1")), 1);
}

// While the server is down every operation fails and says so; once it is
// back the controls work on a new connection.
void TestServerOutage::controlsConnectAgainWhenTheServerIsBack()
{
    m_f->db.AddExaminees({QStringLiteral("1")});
    m_f->db.Db().close();
    DataControl dc;
    QVERIFY(dc.Open(QStringLiteral("SELECT * FROM IDE ")));
    QVERIFY(TestServer::Instance().Stop());
    QVERIFY(!dc.Refresh());
    QCOMPARE(dc.LastErrorCode(), int(DatabaseError::ServerUnreachable));
    QVERIFY(TestServer::Instance().Start());
    QVERIFY2(dc.Refresh(), qPrintable(dc.LastError()));
    QCOMPARE(dc.Value(QStringLiteral("Code")), QStringLiteral("1"));

    // Read at once after a restart: read again on a new connection.
    QVERIFY(TestServer::Instance().Stop());
    QVERIFY(TestServer::Instance().Start());
    QVERIFY2(dc.Refresh(), qPrintable(dc.LastError()));
    // A write at once after a restart may have reached the server or not:
    // it is reported, never repeated, and the next one works.
    QVERIFY(TestServer::Instance().Stop());
    QVERIFY(TestServer::Instance().Start());
    QVERIFY(dc.SetValue(QStringLiteral("Tester"), QStringLiteral("t")));
    QVERIFY(!dc.Update());
    QCOMPARE(dc.LastErrorCode(), int(DatabaseError::ConnectionLost));
    QVERIFY2(dc.Update(), qPrintable(dc.LastError()));
    // Unused for a while: the connection is asked before it is used.
    QVERIFY(TestServer::Instance().Stop());
    QVERIFY(TestServer::Instance().Start());
    QThread::msleep(1100);
    QVERIFY(dc.SetValue(QStringLiteral("FullName"), QStringLiteral("renamed")) && dc.Update());
    QCOMPARE(m_f->db.Exec(QStringLiteral("SELECT FullName FROM IDE")).toString(), QStringLiteral("renamed"));
}

QTEST_MAIN(TestServerOutage)
#include "tst_server_outage.moc"
