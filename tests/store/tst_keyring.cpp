// The desktop's keyring as the program reaches it, through its plugin: with
// no keyring service, or without a plugin that loads, nothing is kept and
// every call says why; never a crash, never a password reported kept.
#include "common/PluginModule.h"
#include "store/DatabaseLocation.h"
#include "store/ui/Keyring.h"
#include "store/ui/ServerTexts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestKeyring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // No secret service can be reached: the test never writes into the
        // keyring of whoever runs it, and sees the same on every computer.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kvr-test-bus");
        Keyring::Test::UseDesktop();
    }
    void cleanup() { PluginModule::SetFolderForTests(QString()); }

    void nothingKeptWithoutAKeyring_data()
    {
        QTest::addColumn<QByteArray>("plugin"); // what the folder holds as kvr-keyring.so; "built": as built
        QTest::addColumn<bool>("loads");
        QTest::newRow("the plugin, no keyring service") << QByteArray("built") << true;
        QTest::newRow("no plugin") << QByteArray() << false;
        QTest::newRow("a damaged plugin") << QByteArray("\x7f" "ELF not really") << false;
    }
    void nothingKeptWithoutAKeyring()
    {
        QFETCH(QByteArray, plugin);
        QFETCH(bool, loads);
        QTemporaryDir folder;
        if (plugin != "built") {
            if (!plugin.isEmpty()) {
                QFile file(folder.filePath(QStringLiteral("kvr-keyring.so")));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(plugin);
            }
            PluginModule::SetFolderForTests(folder.path());
        }
        DatabaseLocation::Server server;
        server.host = QStringLiteral("db.clinic");
        server.database = QStringLiteral("kvr");
        server.user = QStringLiteral("reception");

        // Persian first; the loader's detail, naming the file, on a line of its own.
        const auto checkWhy = [&](const QString &why) {
            QVERIFY2(!why.isEmpty(), "no reason given");
            QCOMPARE(why.startsWith(ServerText::KeyringNotLoaded() + QLatin1Char('\n')), !loads);
            if (!loads)
                QVERIFY2(why.section(QLatin1Char('\n'), 1).contains(QLatin1String("kvr-keyring.so")), qPrintable(why));
        };
        QString why;
        QVERIFY(!Keyring::Write(server, QStringLiteral("secret"), &why));
        checkWhy(why);
        if (QTest::currentTestFailed())
            return;
        why.clear();
        QCOMPARE(Keyring::Read(server, &why), QString());
        checkWhy(why);
        Keyring::Forget(server);
        // Callers that want no reason are served as well.
        QVERIFY(!Keyring::Write(server, QStringLiteral("secret")));
        QCOMPARE(Keyring::Read(server), QString());
    }
};

QTEST_MAIN(TestKeyring)
#include "tst_keyring.moc"
