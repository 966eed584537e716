// The program's start when the records live on a server: the password is
// asked for when the server wants one (again when it was refused), may be
// kept in the desktop's keyring, and a server that cannot be reached is
// said, with the way to this computer's file for this time.
#include "common/PluginModule.h"
#include "common/ProgramFolder.h"
#include "common/ui/Dialogs.h"
#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/KvrDatabase.h"
#include "store/LiveServer.h"
#include "store/ui/Keyring.h"
#include "store/ui/ServerTexts.h"
#include "store/ui/StartupCheck.h"
#include "tests/store/StoreFixture.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestServerLogin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void trustedUserNeedsNoPassword();
    void passwordAskedUntilAccepted_data();
    void passwordAskedUntilAccepted();
    void passwordKeptInTheKeyring_data();
    void passwordKeptInTheKeyring();
    void keptPasswordRefusedIsAskedFor();
    void unreachableServer_data();
    void unreachableServer();
    void databaseNotPrepared();

private:
    // Starts as the program does with this computer's choice.
    bool start()
    {
        LiveServer::Release();
        DatabaseLocation::UseSaved();
        return DatabaseReadyAtStart();
    }
    void choose(const DatabaseLocation::Server &server, bool remember = false)
    {
        DatabaseLocation::Choice c;
        c.kind = DatabaseLocation::Kind::Server;
        c.server = server;
        c.rememberPassword = remember;
        QVERIFY(DatabaseLocation::SaveChoice(c));
    }
    DatabaseLocation::Server passwordUser() const
    {
        return TestServer::Instance().For(m_f->DatabaseName(), QLatin1String(TestServer::kPasswordUser));
    }

    QTemporaryDir m_config;
    std::unique_ptr<StoreFixture> m_f;
};

void TestServerLogin::initTestCase()
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    qunsetenv("PGPASSWORD");
}

void TestServerLogin::init()
{
    m_f = std::make_unique<StoreFixture>(StoreFixture::Where::Server);
    QVERIFY2(m_f->ok(), qPrintable(m_f->error()));
    Dialogs::Test::Install();
    Keyring::Test::UseMemory(true);
}

void TestServerLogin::cleanup()
{
    Dialogs::Test::Uninstall();
    Keyring::Test::UseDesktop();
    PluginModule::SetFolderForTests(QString());
    LiveServer::Release();
    DatabaseLocation::SaveChoice({});
    m_f.reset();
}

void TestServerLogin::trustedUserNeedsNoPassword()
{
    choose(TestServer::Instance().For(m_f->DatabaseName()));
    QVERIFY(start());
    QVERIFY(DatabaseLocation::OnServer());
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
    QVERIFY(Dialogs::Test::PasswordRequests().isEmpty());
}

void TestServerLogin::passwordAskedUntilAccepted_data()
{
    QTest::addColumn<QStringList>("typed"); // "" cancels
    QTest::addColumn<bool>("ready");
    QTest::newRow("right at once") << QStringList{"secret"} << true;
    QTest::newRow("wrong, then right") << QStringList{"wrong", "secret"} << true;
    QTest::newRow("cancelled") << QStringList{} << false;
    QTest::newRow("wrong, then cancelled") << QStringList{"wrong"} << false;
}

void TestServerLogin::passwordAskedUntilAccepted()
{
    QFETCH(QStringList, typed);
    QFETCH(bool, ready);
    choose(passwordUser());
    for (const QString &p : typed)
        Dialogs::Test::QueuePassword(p);
    QCOMPARE(start(), ready);
    const auto asked = Dialogs::Test::PasswordRequests();
    QCOMPARE(asked.size(), ready ? typed.size() : typed.size() + 1);
    QCOMPARE(asked[0].caption, ServerText::LoginCaption());
    QVERIFY2(asked[0].text.contains(QLatin1String(TestServer::kPasswordUser)) && asked[0].text.contains(m_f->DatabaseName()),
             qPrintable(asked[0].text));
    QVERIFY(!asked[0].text.startsWith(ServerText::PasswordRefused()));
    for (int i = 1; i < asked.size(); ++i)
        QVERIFY(asked[i].text.startsWith(ServerText::PasswordRefused()));
    QCOMPARE(asked[0].keepText, ServerText::KeepPassword());
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
    // Nothing of it reaches the settings file.
    QVERIFY(!DatabaseLocation::SavedChoice().rememberPassword);
}

void TestServerLogin::passwordKeptInTheKeyring_data()
{
    QTest::addColumn<bool>("keyring"); // a keyring service is there
    QTest::addColumn<bool>("plugin");  // the program's keyring part loads
    QTest::newRow("keyring") << true << true;
    QTest::newRow("no keyring service") << false << true;
    QTest::newRow("the keyring part of the program missing") << false << false;
}

void TestServerLogin::passwordKeptInTheKeyring()
{
    QFETCH(bool, keyring);
    QFETCH(bool, plugin);
    QTemporaryDir noPlugins;
    if (plugin) {
        Keyring::Test::UseMemory(keyring);
    } else {
        // The desktop's keyring, but its plugin is not beside the program.
        Keyring::Test::UseDesktop();
        PluginModule::SetFolderForTests(noPlugins.path());
    }
    choose(passwordUser());
    Dialogs::Test::QueuePassword(QStringLiteral("secret"), true);
    QVERIFY(start());
    QCOMPARE(DatabaseLocation::SavedChoice().rememberPassword, keyring);
    QCOMPARE(Keyring::Read(passwordUser()), keyring ? QStringLiteral("secret") : QString());
    // Without a keyring the user is told, and asked again next time.
    QCOMPARE(Dialogs::Test::Boxes().size(), keyring ? 0 : 1);
    if (!keyring)
        QVERIFY(Dialogs::Test::Boxes()[0].text.startsWith(ServerText::NotKept()));
    if (!plugin)
        QCOMPARE(Dialogs::Test::Boxes()[0].text.section(QLatin1Char('\n'), 1, 1), ServerText::KeyringNotLoaded());

    Dialogs::Test::Clear();
    DatabaseLocation::SetPassword(QString());
    Dialogs::Test::QueuePassword(QStringLiteral("secret"));
    QVERIFY(start());
    QCOMPARE(Dialogs::Test::PasswordRequests().size(), keyring ? 0 : 1);
}

void TestServerLogin::keptPasswordRefusedIsAskedFor()
{
    choose(passwordUser(), true);
    QVERIFY(Keyring::Write(passwordUser(), QStringLiteral("changed since")));
    Dialogs::Test::QueuePassword(QStringLiteral("secret"), false);
    QVERIFY(start());
    const auto asked = Dialogs::Test::PasswordRequests();
    QCOMPARE(asked.size(), 1);
    QVERIFY(asked[0].text.startsWith(ServerText::PasswordRefused()));
    // Not ticked this time: the keyring forgets it.
    QCOMPARE(Keyring::Read(passwordUser()), QString());
    QVERIFY(!DatabaseLocation::SavedChoice().rememberPassword);
}

void TestServerLogin::unreachableServer_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<bool>("ready");
    QTest::addColumn<bool>("onFile");
    QTest::newRow("the file this time") << QList<int>{QMessageBox::Cancel, QMessageBox::Yes} << true << true;
    QTest::newRow("not the file: the program ends") << QList<int>{QMessageBox::Cancel, QMessageBox::No} << false
                                                    << false;
}

void TestServerLogin::unreachableServer()
{
    QFETCH(QList<int>, answers);
    QFETCH(bool, ready);
    QFETCH(bool, onFile);
    QVERIFY(KvrDatabase::CreateFromSql(QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVRDB.sql")),
                                       ProgramFile(QStringLiteral("KVRDB.mdb"))));
    DatabaseLocation::Server nowhere = TestServer::Instance().For(m_f->DatabaseName());
    nowhere.host = m_f->Folder() + QStringLiteral("/no-server");
    choose(nowhere);
    for (int a : answers)
        Dialogs::Test::QueueAnswer(QMessageBox::StandardButton(a));
    QCOMPARE(start(), ready);
    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[0].text.section(QLatin1Char('\n'), 0, 0), DatabaseError::Text(DatabaseError::ServerUnreachable, QString()));
    QCOMPARE(boxes[0].buttons, QMessageBox::Retry | QMessageBox::Cancel);
    QCOMPARE(boxes[1].text, ServerText::UseFileThisTime());
    QCOMPARE(DatabaseLocation::OnServer(), !onFile);
    // This time only: the computer's choice stays the server.
    QCOMPARE(DatabaseLocation::SavedChoice().kind, DatabaseLocation::Kind::Server);
}

void TestServerLogin::databaseNotPrepared()
{
    const QString empty = QStringLiteral("kvr_login_empty");
    TestServer::Instance().DropDatabase(empty);
    QVERIFY(TestServer::Instance().CreateDatabase(empty));
    choose(TestServer::Instance().For(empty));
    QVERIFY(!start());
    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, QStringLiteral("خطا"));
    QVERIFY(boxes[0].text.startsWith(DatabaseError::Text(DatabaseError::NotPrepared, QString())));
    LiveServer::Release();
    TestServer::Instance().DropDatabase(empty);
}

QTEST_MAIN(TestServerLogin)
#include "tst_serverlogin.moc"
