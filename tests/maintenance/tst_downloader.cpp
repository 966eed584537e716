#include "../support/FullDisk.h"
#include "TestHttpServer.h"
#include "common/SafeFile.h"
#include "maintenance/DownloadTexts.h"
#include "maintenance/FileDownloader.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

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

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

const QByteArray Older = "older installer";

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
    void cleanup() { SafeFile::ClearFaultForTests(); }
    void downloadsWholeFile_data();
    void downloadsWholeFile();
    void refusedStatus_data();
    void refusedStatus();
    void connectionRefused();
    void hostileReply_data();
    void hostileReply();
    void followsRedirectsOnItsOwnServer_data();
    void followsRedirectsOnItsOwnServer();
    void https_data();
    void https();
    void bodyWithoutLengthIsKept();
    void cancelWhileWaiting();
    void cancelWhileWriting();
    void destinationFolderCreatedOneLevel();
    void freeSpace_data();
    void freeSpace();
    void writeFailure_data();
    void writeFailure();
    void fileSizeLimit();
    void fullSmallDisk_data();
    void fullSmallDisk();
    void fetchBytes_data();
    void fetchBytes();
    void secondCallWhileRunningIsRefused();

private:
    // No file of that name, and no temporary file, left in the folder.
    void expectNoPartialFile(const QString &folder, const QStringList &allowed = {});
    // A refused download: one error starting with `message`, nothing
    // completed, the older file as it was and nothing else in its folder.
    void expectRefused(bool result, const Events &ev, const QString &message, const QString &dest);

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

void TestDownloader::expectRefused(bool result, const Events &ev, const QString &message, const QString &dest)
{
    QVERIFY(!result);
    QCOMPARE(ev.errors.size(), 1);
    QVERIFY2(ev.errors.first().startsWith(message), qPrintable(ev.errors.first()));
    QCOMPARE(ev.completed, 0);
    QCOMPARE(readAll(dest), Older);
    expectNoPartialFile(QFileInfo(dest).absolutePath(), {QFileInfo(dest).fileName()});
}

void TestDownloader::hostileReply_data()
{
    // Each reply is sent byte for byte; {port} is the server's own port.
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("redirects"); // instead of a reply: a chain of redirects on the server
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("requests");  // requests the downloader made
    const QByteArray ok = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    const QByteArray partial = "HTTP/1.1 206 Partial Content\r\nConnection: close\r\n";
    const QByteArray body1000 = QByteArray(1000, 'b');
    const auto redirect = [](const QByteArray &to) {
        return QByteArray("HTTP/1.1 302 Found\r\nLocation: " + to + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    };
    QTest::newRow("length 0") << QByteArray(ok + "Content-Length: 0\r\n\r\n") << 0 << DownloadText::BadLength() << 1;
    QTest::newRow("negative length") << QByteArray(ok + "Content-Length: -5\r\n\r\n" + body1000) << 0
                                     << DownloadText::BadLength() << 1;
    QTest::newRow("length not a number") << QByteArray(ok + "Content-Length: 1e3\r\n\r\n" + body1000) << 0
                                         << DownloadText::BadLength() << 1;
    QTest::newRow("two lengths") << QByteArray(ok + "Content-Length: 1000\r\nContent-Length: 8\r\n\r\n" + body1000)
                                 << 0 << DownloadText::BadLength() << 1;
    QTest::newRow("206, last bytes only")
        << QByteArray(partial + "Content-Range: bytes 992-999/1000\r\nContent-Length: 8\r\n\r\nbbbbbbbb") << 0
        << DownloadText::PartialRange() << 1;
    QTest::newRow("206, first half only")
        << QByteArray(partial + "Content-Range: bytes 0-499/1000\r\nContent-Length: 500\r\n\r\n" + body1000.left(500))
        << 0 << DownloadText::PartialRange() << 1;
    QTest::newRow("206 without a range") << QByteArray(partial + "Content-Length: 1000\r\n\r\n" + body1000) << 0
                                         << DownloadText::PartialRange() << 1;
    QTest::newRow("206 of unknown total")
        << QByteArray(partial + "Content-Range: bytes 0-999/*\r\nContent-Length: 1000\r\n\r\n" + body1000) << 0
        << DownloadText::PartialRange() << 1;
    QTest::newRow("206 whose length disagrees")
        << QByteArray(partial + "Content-Range: bytes 0-999/1000\r\nContent-Length: 500\r\n\r\n" + body1000.left(500))
        << 0 << DownloadText::PartialRange() << 1;
    QTest::newRow("body shorter than declared")
        << QByteArray(ok + "Content-Length: 50000\r\n\r\n" + QByteArray(30000, 'b')) << 0
        << QStringLiteral("The connection with the server was reset.") << 1;
    // A chunked body runs past the declared length.
    QTest::newRow("body longer than declared")
        << QByteArray(ok + "Content-Length: 1000\r\nTransfer-Encoding: chunked\r\n\r\n5dc\r\n" + QByteArray(1500, 'b')
                      + "\r\n0\r\n\r\n")
        << 0 << DownloadText::BodyTooLong() << 1;
    // localhost is this same server under another name: refused all the same.
    QTest::newRow("redirect to another host") << redirect("http://localhost:{port}/real.exe") << 0
                                              << DownloadText::RedirectElsewhere() << 1;
    QTest::newRow("redirect to another scheme") << redirect("https://127.0.0.1:{port}/real.exe") << 0
                                                << DownloadText::RedirectElsewhere() << 1;
    QTest::newRow("redirect to another port") << redirect("http://127.0.0.1:1/real.exe") << 0
                                              << DownloadText::RedirectElsewhere() << 1;
    QTest::newRow("six redirects") << QByteArray() << 6 << DownloadText::TooManyRedirects() << 6;
}

void TestDownloader::hostileReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, redirects);
    QFETCH(QString, message);
    QFETCH(int, requests);
    TestHttpServer server;
    TestRoute good;
    good.body = pattern(1000);
    server.route(QStringLiteral("/real.exe"), good);
    if (redirects > 0) {
        server.redirects(QStringLiteral("/f.exe"), redirects, QStringLiteral("/real.exe"));
    } else {
        TestRoute r;
        r.raw = reply.replace("{port}", QByteArray::number(server.port()));
        server.route(QStringLiteral("/f.exe"), r);
    }
    QVERIFY(writeFile(m_dest, Older));
    FileDownloader d;
    Events ev(d);
    const bool res = d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest);
    expectRefused(res, ev, message, m_dest);
    QCOMPARE(server.heads.size(), requests);
}

void TestDownloader::followsRedirectsOnItsOwnServer_data()
{
    QTest::addColumn<QString>("location"); // {port}: the server's port
    QTest::addColumn<int>("redirects");
    QTest::newRow("relative") << QStringLiteral("/real.exe") << 1;
    QTest::newRow("absolute, same server") << QStringLiteral("http://127.0.0.1:{port}/real.exe") << 1;
    QTest::newRow("five redirects") << QString() << 5;
}

void TestDownloader::followsRedirectsOnItsOwnServer()
{
    QFETCH(QString, location);
    QFETCH(int, redirects);
    TestHttpServer server;
    TestRoute good;
    good.body = pattern(5000);
    good.honourRange = true;
    server.route(QStringLiteral("/real.exe"), good);
    if (location.isEmpty()) {
        server.redirects(QStringLiteral("/f.exe"), redirects, QStringLiteral("/real.exe"));
    } else {
        TestRoute r;
        r.status = 301;
        r.reason = "Moved Permanently";
        r.headers = "Location: " + location.replace(QStringLiteral("{port}"), QString::number(server.port())).toLatin1()
                    + "\r\n";
        server.route(QStringLiteral("/f.exe"), r);
    }
    FileDownloader d;
    Events ev(d);
    QVERIFY(d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest));
    QCOMPARE(ev.errors, QStringList());
    QVERIFY(readAll(m_dest) == good.body);
    QCOMPARE(server.heads.size(), redirects + 1);
    // The range goes with every request.
    for (const QByteArray &head : server.heads)
        QVERIFY(head.contains("\r\nRange: bytes=0-"));
}

void TestDownloader::https_data()
{
    QTest::addColumn<QString>("names"); // the certificate's subjectAltName
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("trusted certificate") << QStringLiteral("IP:127.0.0.1") << true << true;
    QTest::newRow("unknown issuer") << QStringLiteral("IP:127.0.0.1") << false << false;
    QTest::newRow("certificate for another host") << QStringLiteral("DNS:www.kvr.example") << true << false;
}

void TestDownloader::https()
{
    QFETCH(QString, names);
    QFETCH(bool, trusted);
    QFETCH(bool, accepted);
    TestTlsIdentity identity(names);
    QVERIFY2(identity.isValid(), qPrintable(identity.error()));
    std::unique_ptr<TrustCertificate> trust;
    if (trusted)
        trust = std::make_unique<TrustCertificate>(identity.certificate);
    TestHttpServer server(&identity);
    TestRoute r;
    r.body = pattern(300000);
    r.honourRange = true;
    server.route(QStringLiteral("/Soft/kvr/setup-kvr.exe"), r);
    const QString url = server.url(QStringLiteral("/Soft/kvr/setup-kvr.exe"));
    QVERIFY(url.startsWith(QStringLiteral("https://")));
    QVERIFY(writeFile(m_dest, Older));

    FileDownloader d;
    Events ev(d);
    const bool result = d.DownloadFile(url, m_dest);
    if (accepted) {
        QVERIFY(result);
        QCOMPARE(ev.errors, QStringList());
        QVERIFY(readAll(m_dest) == r.body);
    } else {
        expectRefused(result, ev, DownloadText::CertificateRefused(), m_dest);
        QVERIFY(server.heads.isEmpty()); // no request went out
        // The message names the problem in the system's words too.
        QVERIFY(ev.errors.first().contains(QLatin1Char('\n')));
    }
}

void TestDownloader::freeSpace_data()
{
    QTest::addColumn<qint64>("free"); // what the probe reports; -1: cannot be told
    QTest::addColumn<bool>("accepted");
    QTest::newRow("cannot be told") << qint64(-1) << true;
    QTest::newRow("exactly enough") << qint64(20000) << true;
    QTest::newRow("one byte short") << qint64(19999) << false;
    QTest::newRow("none") << qint64(0) << false;
}

void TestDownloader::freeSpace()
{
    QFETCH(qint64, free);
    QFETCH(bool, accepted);
    TestHttpServer server;
    TestRoute r;
    r.body = pattern(20000);
    server.route(QStringLiteral("/f.exe"), r);
    QVERIFY(writeFile(m_dest, Older));
    FileDownloader d;
    QString asked;
    d.SetFreeSpaceProbe([&](const QString &folder) {
        asked = folder;
        return free;
    });
    Events ev(d);
    const bool result = d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest);
    QCOMPARE(QDir(asked), QDir(m_dir.path()));
    if (accepted) {
        QVERIFY(result);
        QVERIFY(readAll(m_dest) == r.body);
    } else {
        expectRefused(result, ev, QStringLiteral("There is not enough free space on disk for this file."), m_dest);
        QVERIFY(ev.progress.isEmpty());
    }
}

void TestDownloader::writeFailure_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("error");
    QTest::addColumn<qint64>("afterBytes");
    QTest::addColumn<int>("number");
    using S = SafeFile::Step;
    QTest::newRow("open") << int(S::Open) << EACCES << qint64(0) << 75;
    QTest::newRow("first write") << int(S::Write) << ENOSPC << qint64(0) << 61;
    QTest::newRow("write in the middle") << int(S::Write) << ENOSPC << qint64(1500000) << 61;
    QTest::newRow("flush") << int(S::Flush) << EIO << qint64(0) << 61;
    QTest::newRow("sync") << int(S::Sync) << EIO << qint64(0) << 61;
    QTest::newRow("close") << int(S::Close) << EDQUOT << qint64(0) << 61;
    QTest::newRow("rename") << int(S::Rename) << EACCES << qint64(0) << 61;
}

void TestDownloader::writeFailure()
{
    QFETCH(int, step);
    QFETCH(int, error);
    QFETCH(qint64, afterBytes);
    QFETCH(int, number);
    TestHttpServer server;
    TestRoute r;
    r.body = pattern(3 * 1024 * 1024);
    server.route(QStringLiteral("/f.exe"), r);
    QVERIFY(writeFile(m_dest, Older));
    SafeFile::FailNextForTests(SafeFile::Step(step), error, afterBytes);
    FileDownloader d;
    Events ev(d);
    expectRefused(d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest), ev,
                  QStringLiteral("Cannot write file to disk.\r\rError %1: ").arg(number), m_dest);
    QVERIFY2(ev.errors.first().contains(SafeFile::PersianReasonFor(error)), qPrintable(ev.errors.first()));
}

void TestDownloader::fileSizeLimit()
{
    // The system refuses to let the file grow past 256 KiB, as a full disk does.
    TestHttpServer server;
    TestRoute r;
    r.body = pattern(3 * 1024 * 1024);
    server.route(QStringLiteral("/f.exe"), r);
    QVERIFY(writeFile(m_dest, Older));
    FileDownloader d;
    Events ev(d);
    bool result = true;
    {
        FileSizeLimit limit(256 * 1024);
        result = d.DownloadFile(server.url(QStringLiteral("/f.exe")), m_dest);
    }
    expectRefused(result, ev, QStringLiteral("Cannot write file to disk.\r\rError 61: "), m_dest);
    QVERIFY2(ev.errors.first().contains(SafeFile::PersianReasonFor(EFBIG)), qPrintable(ev.errors.first()));
}

void TestDownloader::fullSmallDisk_data()
{
    QTest::addColumn<bool>("sendLength");
    QTest::addColumn<QString>("message");
    // Told the length, the free-space test refuses before anything is written;
    // without it the disk fills up during the download.
    QTest::newRow("length told") << true << QStringLiteral("There is not enough free space on disk for this file.");
    QTest::newRow("no length") << false << QStringLiteral("Cannot write file to disk.\r\rError 61: ");
}

void TestDownloader::fullSmallDisk()
{
    QFETCH(bool, sendLength);
    QFETCH(QString, message);
    SmallTmpfs disk(QStringLiteral("2M"));
    if (!disk.IsMounted())
        QSKIP("this process may not mount a small file system here");
    const QString dest = disk.FilePath(QStringLiteral("setup-kvr.exe"));
    QVERIFY(writeFile(dest, Older));
    TestHttpServer server;
    TestRoute r;
    r.body = pattern(3 * 1024 * 1024);
    r.sendLength = sendLength;
    server.route(QStringLiteral("/f.exe"), r);
    FileDownloader d;
    Events ev(d);
    expectRefused(d.DownloadFile(server.url(QStringLiteral("/f.exe")), dest), ev, message, dest);
    if (!sendLength)
        QVERIFY2(ev.errors.first().contains(SafeFile::PersianReasonFor(ENOSPC)), qPrintable(ev.errors.first()));
}

void TestDownloader::fetchBytes_data()
{
    QTest::addColumn<QByteArray>("reply"); // sent byte for byte; empty: no such file
    QTest::addColumn<QString>("message");  // empty: fetched
    const QByteArray ok = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    QTest::newRow("small file") << QByteArray(ok + "Content-Length: 5\r\n\r\nhello") << QString();
    QTest::newRow("no length") << QByteArray(ok + "\r\nhello") << QString();
    QTest::newRow("missing") << QByteArray() << QStringLiteral("The file, \"");
    QTest::newRow("too large") << QByteArray(ok + "Content-Length: 20000\r\n\r\n" + QByteArray(20000, 's'))
                               << DownloadText::SignatureTooLarge();
    QTest::newRow("too large, no length") << QByteArray(ok + "\r\n" + QByteArray(20000, 's'))
                                          << DownloadText::SignatureTooLarge();
    QTest::newRow("cut short") << QByteArray(ok + "Content-Length: 500\r\n\r\nhello")
                               << QStringLiteral("The connection with the server was reset.");
    QTest::newRow("redirect to another host")
        << QByteArray("HTTP/1.1 302 Found\r\nLocation: http://localhost/x\r\nConnection: close\r\n\r\n")
        << DownloadText::RedirectElsewhere();
}

void TestDownloader::fetchBytes()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    TestHttpServer server;
    if (!reply.isEmpty()) {
        TestRoute r;
        r.raw = reply;
        server.route(QStringLiteral("/f.minisig"), r);
    }
    FileDownloader d;
    Events ev(d);
    QByteArray body = "stale";
    QString error;
    const bool ok = d.FetchBytes(server.url(QStringLiteral("/f.minisig")), &body, &error, 16 * 1024);
    QCOMPARE(ok, message.isEmpty());
    if (ok) {
        QCOMPARE(body, QByteArray("hello"));
        QVERIFY(error.isEmpty());
    } else {
        QVERIFY(body.isEmpty());
        QVERIFY2(error.startsWith(message), qPrintable(error));
    }
    // It tells the host nothing through the download's events.
    QVERIFY(ev.errors.isEmpty() && ev.events.isEmpty() && ev.progress.isEmpty() && ev.completed == 0);
    QVERIFY(!d.IsRunning());
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
