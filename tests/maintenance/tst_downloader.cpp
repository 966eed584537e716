#include "TestHttpServer.h"
#include "maintenance/FileDownloader.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {
QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + i / 251) & 0xff);
    return b;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Everything a download told its host.
struct Events {
    explicit Events(FileDownloader &d)
    {
        QObject::connect(&d, &FileDownloader::DownloadErrors, [this](const QString &e) { errors << e; });
        QObject::connect(&d, &FileDownloader::DownloadEvents, [this](const QString &e) { events << e; });
        QObject::connect(&d, &FileDownloader::DowloadComplete, [this] { ++completed; });
        QObject::connect(&d, &FileDownloader::DownloadProgress, [this](const QString &p) { progress << p; });
    }
    QStringList errors, events, progress;
    int completed = 0;
};
} // namespace

class TestDownloader : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void downloadsWholeFile_data();
    void downloadsWholeFile();
    void refusedStatus_data();
    void refusedStatus();
    void connectionRefused();
    void bodyCutShort();
    void zeroLengthCompletesWithoutFile();
    void bodyWithoutLengthIsKept();
    void cancelWhileWaiting();
    void cancelWhileWriting();
    void destinationFolderCreatedOneLevel();
    void notEnoughFreeSpace();
    void secondCallWhileRunningIsRefused();

private:
    // No file of that name, and no temporary file, left in the folder.
    void expectNoPartialFile(const QString &folder, const QStringList &allowed = {});

    QTemporaryDir m_dir;
    QString m_dest;
};

void TestDownloader::init()
{
    QVERIFY(m_dir.isValid());
    for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFileInfo fi(m_dir.filePath(name));
        if (fi.isDir())
            QDir(fi.filePath()).removeRecursively();
        else
            QFile::remove(fi.filePath());
    }
    m_dest = m_dir.filePath(QStringLiteral("setup-kvr.exe"));
}

void TestDownloader::expectNoPartialFile(const QString &folder, const QStringList &allowed)
{
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &name : left)
        QVERIFY2(allowed.contains(name), qPrintable(QStringLiteral("left behind: ") + name));
}

void TestDownloader::downloadsWholeFile_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("honourRange");
    QTest::newRow("200, odd length") << 5000 << false;
    QTest::newRow("206, odd length") << 5000 << true;
    QTest::newRow("multiple of 1024") << 8 * 1024 << false;
    QTest::newRow("smaller than a chunk") << 10 << true;
    QTest::newRow("large, 206") << 3 * 1024 * 1024 + 17 << true;
}

void TestDownloader::downloadsWholeFile()
{
    QFETCH(int, size);
    QFETCH(bool, honourRange);
    TestHttpServer server;
    TestRoute r;
    r.body = pattern(size);
    r.honourRange = honourRange;
    server.route(QStringLiteral("/Soft/kvr/setup-kvr.exe"), r);
    // An earlier file of that name is replaced whole.
    {
        QFile old(m_dest);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(size + 5000, 'x'));
    }

    FileDownloader d;
    Events ev(d);
    QVERIFY(d.DownloadFile(server.url(QStringLiteral("/Soft/kvr/setup-kvr.exe")), m_dest));
    QCOMPARE(ev.errors, QStringList());
    QCOMPARE(ev.events, QStringList{QStringLiteral("Getting file information")});
    QCOMPARE(ev.completed, 1);
    QVERIFY(readAll(m_dest) == r.body);
    QVERIFY(server.heads.value(0).contains("\r\nRange: bytes=0-"));
    // One progress value per chunk of at most 1024 bytes (a chunk may be
    // shorter when less has arrived), ending at 100.
    QVERIFY(ev.progress.size() >= (size + 1023) / 1024);
    QCOMPARE(ev.progress.last(), QStringLiteral("100"));
    expectNoPartialFile(m_dir.path(), {QStringLiteral("setup-kvr.exe")});
}

void TestDownloader::refusedStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<QString>("message"); // %1: the URL
    QTest::addColumn<QString>("user");
    const QChar cr = QLatin1Char('\r');
    QTest::newRow("204") << 204 << QByteArray("No Content") << QStringLiteral("Nothing to download!") << QString();
    QTest::newRow("401") << 401 << QByteArray("Unauthorized") << QStringLiteral("Authorization failed!") << QString();
    QTest::newRow("401, credentials refused")
        << 401 << QByteArray("Unauthorized") << QStringLiteral("Authorization failed!") << QStringLiteral("user");
    QTest::newRow("404") << 404 << QByteArray("Not Found") << QStringLiteral("The file, \"%1\" was not found!")
                         << QString();
    QTest::newRow("500") << 500 << QByteArray("Internal Server Error")
                         << QStringLiteral("The server returned the following response:") + cr + cr
                                + QStringLiteral("HTTP/1.1 500 Internal Server Error") + cr
                         << QString();
}

void TestDownloader::refusedStatus()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reason);
    QFETCH(QString, message);
    QFETCH(QString, user);
    TestHttpServer server;
    TestRoute r;
    r.status = status;
    r.reason = reason;
    r.body = "error page";
    server.route(QStringLiteral("/f.exe"), r);
    // A file that was there before the answer came is left as it was.
    {
        QFile old(m_dest);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older installer");
    }
    FileDownloader d;
    Events ev(d);
    const QString url = server.url(QStringLiteral("/f.exe"));
    QVERIFY(!d.DownloadFile(url, m_dest, user, user.isEmpty() ? QString() : QStringLiteral("secret")));
    QCOMPARE(ev.errors, QStringList{message.contains(QLatin1String("%1")) ? message.arg(url) : message});
    QCOMPARE(ev.completed, 0);
    QCOMPARE(readAll(m_dest), QByteArray("older installer"));
    expectNoPartialFile(m_dir.path(), {QStringLiteral("setup-kvr.exe")});
    if (!user.isEmpty()) // the credentials were offered before the refusal
        QVERIFY(server.heads.last().contains("\r\nAuthorization: Basic "));
}

void TestDownloader::connectionRefused()
{
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    FileDownloader d;
    Events ev(d);
    QVERIFY(!d.DownloadFile(QStringLiteral("http://127.0.0.1:%1/setup-kvr.exe").arg(port), m_dest));
    QCOMPARE(ev.errors, QStringList{QStringLiteral("Cannot establish connection.")});
    QCOMPARE(ev.completed, 0);
    expectNoPartialFile(m_dir.path());
}

void TestDownloader::bodyCutShort()
{
    TestHttpServer server;
    TestRoute r;
    r.body = pattern(50000);
    r.cutAfter = 30000;
    server.route(QStringLiteral("/f.exe"), r);
    {
        QFile old(m_dest);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older installer");
    }
    FileDownloader d;
    Events ev(d);
    QVERIFY(!d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest));
    QCOMPARE(ev.errors, QStringList{QStringLiteral("The connection with the server was reset.")});
    QCOMPARE(ev.completed, 0);
    QVERIFY(!ev.progress.isEmpty());
    // Once writing had begun, nothing of that name is left.
    QVERIFY(!QFile::exists(m_dest));
    expectNoPartialFile(m_dir.path());
}

void TestDownloader::zeroLengthCompletesWithoutFile()
{
    TestHttpServer server;
    server.route(QStringLiteral("/f.exe"), TestRoute{});
    FileDownloader d;
    Events ev(d);
    QVERIFY(d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest));
    QCOMPARE(ev.completed, 1);
    QCOMPARE(ev.errors, QStringList());
    QVERIFY(!QFile::exists(m_dest));
    expectNoPartialFile(m_dir.path());
}

void TestDownloader::bodyWithoutLengthIsKept()
{
    // Without a length the body is read to its end, so a completed download
    // always leaves the file it announces.
    TestHttpServer server;
    TestRoute r;
    r.body = pattern(7000);
    r.sendLength = false;
    server.route(QStringLiteral("/f.exe"), r);
    FileDownloader d;
    Events ev(d);
    QVERIFY(d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest));
    QCOMPARE(ev.completed, 1);
    QCOMPARE(ev.errors, QStringList());
    QVERIFY(readAll(m_dest) == r.body);
    QCOMPARE(ev.progress.value(ev.progress.size() - 1), QStringLiteral("100"));
}

void TestDownloader::cancelWhileWaiting()
{
    TestHttpServer server;
    TestRoute r;
    r.silent = true;
    server.route(QStringLiteral("/f.exe"), r);
    FileDownloader d;
    Events ev(d);
    server.onRequest = [&d](const QByteArray &) { d.Cancel(); };
    QVERIFY(!d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest));
    QCOMPARE(ev.errors, QStringList());
    QCOMPARE(ev.completed, 0);
    QVERIFY(ev.progress.isEmpty());
    expectNoPartialFile(m_dir.path());
    QVERIFY(!d.IsRunning());
}

void TestDownloader::cancelWhileWriting()
{
    TestHttpServer server;
    TestRoute r;
    r.body = pattern(200000);
    server.route(QStringLiteral("/f.exe"), r);
    FileDownloader d;
    Events ev(d);
    QObject::connect(&d, &FileDownloader::DownloadProgress, &d, [&d](const QString &) { d.Cancel(); });
    QVERIFY(!d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest));
    QCOMPARE(ev.errors, QStringList());
    QCOMPARE(ev.completed, 0);
    QCOMPARE(ev.progress.size(), 1);
    QVERIFY(!QFile::exists(m_dest));
    expectNoPartialFile(m_dir.path());

    // A new download after a cancel starts afresh.
    QObject::disconnect(&d, &FileDownloader::DownloadProgress, &d, nullptr);
    QVERIFY(d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest));
    QVERIFY(readAll(m_dest) == r.body);
}

void TestDownloader::destinationFolderCreatedOneLevel()
{
    TestHttpServer server;
    TestRoute r;
    r.body = pattern(3000);
    server.route(QStringLiteral("/f.exe"), r);
    FileDownloader d;
    Events ev(d);

    const QString oneLevel = m_dir.filePath(QStringLiteral("new/setup-kvr.exe"));
    QVERIFY(d.DownloadFile(server.url(QStringLiteral("/f.exe")), oneLevel));
    QVERIFY(readAll(oneLevel) == r.body);

    const QString twoLevels = m_dir.filePath(QStringLiteral("a/b/setup-kvr.exe"));
    QVERIFY(!d.DownloadFile(server.url(QStringLiteral("/f.exe")), twoLevels));
    QCOMPARE(ev.errors.size(), 1);
    QVERIFY2(ev.errors.first().startsWith(QStringLiteral("Cannot write file to disk.\r\rError 76: ")),
             qPrintable(ev.errors.first()));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("a"))));
}

void TestDownloader::notEnoughFreeSpace()
{
    const qint64 free = QStorageInfo(m_dir.path()).bytesAvailable();
    QVERIFY(free > 0);
    TestHttpServer server;
    TestRoute r;
    r.claimedLength = free + (qint64(1) << 40);
    r.body = pattern(1000);
    server.route(QStringLiteral("/f.exe"), r);
    FileDownloader d;
    Events ev(d);
    QVERIFY(!d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest));
    QCOMPARE(ev.errors, QStringList{QStringLiteral("There is not enough free space on disk for this file.")});
    QVERIFY(ev.progress.isEmpty());
    expectNoPartialFile(m_dir.path());
}

void TestDownloader::secondCallWhileRunningIsRefused()
{
    TestHttpServer server;
    TestRoute r;
    r.body = pattern(20000);
    server.route(QStringLiteral("/f.exe"), r);
    FileDownloader d;
    Events ev(d);
    bool inner = true;
    bool tried = false;
    QObject::connect(&d, &FileDownloader::DownloadProgress, &d, [&](const QString &) {
        if (!tried) {
            tried = true;
            inner = d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest + QStringLiteral(".2"));
        }
    });
    QVERIFY(d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest));
    QVERIFY(tried);
    QVERIFY(!inner);
    QCOMPARE(ev.completed, 1);
    QVERIFY(!QFile::exists(m_dest + QStringLiteral(".2")));
}

QTEST_MAIN(TestDownloader)
#include "tst_downloader.moc"
