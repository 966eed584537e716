// Where the records live: the choice kept in the user's settings file (never
// a password), connection strings as kvr-cli takes them, and the server's
// lock every running program holds, as the file's lock is held.
#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/DataControl.h"
#include "store/LiveServer.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/OtherProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestServerLocation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void connectionStrings_data();
    void connectionStrings();
    void choiceIsKeptPerComputerWithoutPassword();
    void exclusiveOnlyWithoutOtherPrograms();
    void programsWaitForARestoreElsewhere();
    void passwordFromTheProgram_data();
    void passwordFromTheProgram();

private:
    QTemporaryDir m_config;
};

void TestServerLocation::initTestCase()
{
    // The settings file of the test's own.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
}

void TestServerLocation::cleanup()
{
    LiveServer::Release();
    DatabaseLocation::UseFile();
}

void TestServerLocation::connectionStrings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("describe"); // or the error's start
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("options");
    QTest::newRow("plain") << "host=db.clinic dbname=kvr user=reception" << true << "reception@db.clinic/kvr" << false
                           << "" << "";
    QTest::newRow("port, blanks around =") << "host = db port= 6543 dbname =kvr" << true << "db:6543/kvr" << false << ""
                                           << "";
    QTest::newRow("quoted values") << "dbname='my kvr' user='o\\'brien' password='a b\\\\c'" << true
                                   << "o'brien@localhost/my kvr" << false << "a b\\c" << "";
    QTest::newRow("TLS asked for") << "dbname=kvr sslmode=require" << true << "localhost/kvr" << true << "" << "";
    QTest::newRow("TLS with the certificate checked") << "dbname=kvr sslmode=verify-full" << true << "localhost/kvr"
                                                      << true << "" << "sslmode=verify-full";
    QTest::newRow("other keywords kept") << "dbname=kvr connect_timeout=3" << true << "localhost/kvr" << false << ""
                                         << "connect_timeout=3";
    QTest::newRow("no database") << "host=db user=x" << false << "The connection string names no database" << false
                                 << "" << "";
    QTest::newRow("not keyword=value") << "db.clinic" << false << "\"db.clinic\" is not of the form" << false << ""
                                       << "";
    QTest::newRow("open quote") << "dbname='kvr" << false << "The value of dbname has no closing quote" << false << ""
                                << "";
    QTest::newRow("bad port") << "dbname=kvr port=http" << false << "The port \"http\"" << false << "" << "";
    QTest::newRow("empty") << "  " << false << "The connection string is empty" << false << "" << "";
}

void TestServerLocation::connectionStrings()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, describe);
    QFETCH(bool, tls);
    QFETCH(QString, password);
    QFETCH(QString, options);
    DatabaseLocation::Server s;
    QString pass, error;
    QCOMPARE(DatabaseLocation::ParseConnectionString(text, &s, &pass, &error), ok);
    if (!ok) {
        QVERIFY2(error.startsWith(describe), qPrintable(error));
        return;
    }
    QCOMPARE(s.Describe(), describe);
    QCOMPARE(s.tls, tls);
    QCOMPARE(pass, password);
    QCOMPARE(s.options, options);
    // What the program hands libpq reads back as the same server.
    DatabaseLocation::Server again;
    QVERIFY(DatabaseLocation::ParseConnectionString(s.ConnectionString(), &again, nullptr, nullptr));
    QCOMPARE(again.Describe(), s.Describe());
    QCOMPARE(again.tls, s.tls);
    QVERIFY(!s.ConnectionString().contains(QLatin1String("password")));
}

void TestServerLocation::choiceIsKeptPerComputerWithoutPassword()
{
    QCOMPARE(DatabaseLocation::SavedChoice().kind, DatabaseLocation::Kind::File);
    DatabaseLocation::Choice c;
    c.kind = DatabaseLocation::Kind::Server;
    c.server.host = QStringLiteral("db.clinic");
    c.server.port = 6543;
    c.server.database = QStringLiteral("kvr");
    c.server.user = QStringLiteral("reception");
    c.server.tls = true;
    c.rememberPassword = true;
    DatabaseLocation::UseServer(c.server);
    DatabaseLocation::SetPassword(QStringLiteral("very secret"));
    QVERIFY(DatabaseLocation::SaveChoice(c));

    const DatabaseLocation::Choice back = DatabaseLocation::SavedChoice();
    QCOMPARE(back.kind, DatabaseLocation::Kind::Server);
    QVERIFY(back.server == c.server);
    QVERIFY(back.rememberPassword);
    const QString file = QDir(m_config.path()).filePath(QStringLiteral("KVR/KVR.ini"));
    QFile f(file);
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(file));
    QVERIFY(!f.readAll().contains("very secret"));

    DatabaseLocation::UseFile();
    DatabaseLocation::UseSaved();
    QVERIFY(DatabaseLocation::OnServer());
    QVERIFY(DatabaseLocation::CurrentServer() == c.server);
    QVERIFY(DatabaseLocation::Password().isEmpty());
    // Back to the file; a server without a database name is no server.
    c.kind = DatabaseLocation::Kind::File;
    QVERIFY(DatabaseLocation::SaveChoice(c));
    QCOMPARE(DatabaseLocation::SavedChoice().kind, DatabaseLocation::Kind::File);
    c.kind = DatabaseLocation::Kind::Server;
    c.server.database.clear();
    QVERIFY(DatabaseLocation::SaveChoice(c));
    QCOMPARE(DatabaseLocation::SavedChoice().kind, DatabaseLocation::Kind::File);
}

void TestServerLocation::exclusiveOnlyWithoutOtherPrograms()
{
    StoreFixture f(StoreFixture::Where::Server);
    QVERIFY2(f.ok(), qPrintable(f.error()));
    QVERIFY(LiveServer::HoldShared());
    OtherProgram window;
    QVERIFY(window.Start(f.ConnectionString()));
    QString why;
    QCOMPARE(LiveServer::TakeExclusive(&why), LiveDatabase::Exclusive::OtherProgram);
    QVERIFY(!why.isEmpty());
    {
        // The refused attempt kept this program's shared lock.
        OtherProgram restorer;
        QVERIFY(!restorer.Start(f.ConnectionString(), OtherProgram::Lock::Exclusive));
    }
    window.Stop();
    {
        const LiveServer::ExclusiveLock lock;
        QCOMPARE(lock.State(), LiveDatabase::Exclusive::Taken);
    }
    // Back to shared: another window may open it again.
    QVERIFY(window.Start(f.ConnectionString()));
}

// While another program restores, a program that starts waits and then says
// so; a data control does not open meanwhile.
void TestServerLocation::programsWaitForARestoreElsewhere()
{
    StoreFixture f(StoreFixture::Where::Server);
    QVERIFY2(f.ok(), qPrintable(f.error()));
    OtherProgram restorer;
    QVERIFY(restorer.Start(f.ConnectionString(), OtherProgram::Lock::Exclusive));
    QString why;
    int code = 0;
    QVERIFY(!LiveServer::HoldShared(&why, &code, 200));
    QCOMPARE(code, int(DatabaseError::RestoreElsewhere));
    DataControl dc;
    QVERIFY(!dc.Open(QStringLiteral("SELECT * FROM IDE ")));
    QCOMPARE(dc.LastErrorCode(), int(DatabaseError::RestoreElsewhere));
    restorer.Stop();
    QVERIFY2(dc.Refresh(), qPrintable(dc.LastError()));
}

void TestServerLocation::passwordFromTheProgram_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("code");
    QTest::newRow("none") << "" << int(DatabaseError::LoginFailed);
    QTest::newRow("wrong") << "wrong" << int(DatabaseError::LoginFailed);
    QTest::newRow("right") << "secret" << 0;
}

void TestServerLocation::passwordFromTheProgram()
{
    QFETCH(QString, password);
    QFETCH(int, code);
    StoreFixture f(StoreFixture::Where::Server);
    QVERIFY2(f.ok(), qPrintable(f.error()));
    qunsetenv("PGPASSWORD");
    DatabaseLocation::UseServer(TestServer::Instance().For(f.DatabaseName(), QLatin1String(TestServer::kPasswordUser)));
    DatabaseLocation::SetPassword(password);
    DataControl dc;
    QCOMPARE(dc.Open(QStringLiteral("SELECT * FROM QUS ")), code == 0);
    QCOMPARE(dc.LastErrorCode(), code);
    if (code == 0)
        QCOMPARE(dc.RecordCount(), 40);
}

int main(int argc, char *argv[])
{
    if (OtherProgram::IsChild())
        return OtherProgram::RunChild();
    QCoreApplication app(argc, argv);
    TestServerLocation test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serverlocation.moc"
