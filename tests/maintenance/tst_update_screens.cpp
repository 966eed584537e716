#include "TestHttpServer.h"
#include "TestSigner.h"
#include "common/ProgramFolder.h"
#include "common/Vendor.h"
#include "common/ui/Dialogs.h"
#include "maintenance/DownloadTexts.h"
#include "maintenance/FileDownloader.h"
#include "maintenance/InstallerSignature.h"
#include "maintenance/InternetConnect.h"
#include "maintenance/UpdateCheck.h"
#include "common/PackageTexts.h"
#include "maintenance/ui/Frm_Progress.h"
#include "maintenance/ui/Frm_Update.h"
#include "maintenance/ui/MaintenanceTexts.h"
#include "maintenance/ui/PopupControl.h"
#include "maintenance/ui/frmPopup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
QByteArray installerBody()
{
    QByteArray b(70000, Qt::Uninitialized);
    for (int i = 0; i < b.size(); ++i)
        b[i] = char(i % 253);
    return b;
}
bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}
const QString InstallerPath = QStringLiteral("/Soft/kvr/setup-kvr.exe");
const QString SignaturePath = QStringLiteral("/Soft/kvr/setup-kvr.exe.minisig");
} // namespace

class TestUpdateScreens : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { InstallerSignature::SetTrustedPublicKeyForTests(QByteArray()); }
    void init();
    void cleanup();

    void versionCheck_data();
    void versionCheck();
    void fetchTimesOut();
    void startupCheckShowsNoticeAndNotification_data();
    void startupCheckShowsNoticeAndNotification();

    void updateScreenMessages_data();
    void updateScreenMessages();
    void updateScreenOpensDownloadWhenNewer();

    void notificationItems();
    void notificationClicks();
    void notificationWithoutImages();

    void downloadScreenLayout();
    void downloadCompletesStartsInstallerAndEnds_data();
    void downloadCompletesStartsInstallerAndEnds();
    void unverifiedInstallerIsRemoved_data();
    void unverifiedInstallerIsRemoved();
    void refusedReplyStartsNothing_data();
    void refusedReplyStartsNothing();
    void cancelWhileSignatureIsFetched();
    void downloadErrorReturnsToIdle();
    void installerThatCannotStartKeepsProgram();
    void cancelAndCloseWhileDownloading();
    void installedProgramPointsToThePackage();

private:
    // The installer and its signature on the server.
    void serve(TestHttpServer &server, const QByteArray &body, const QByteArray &signature, bool range = true);
    // Nothing of the installer's name, and no temporary file, in the program folder.
    void expectNoInstaller();

    TestSigner m_signer, m_other;
    QTemporaryDir *m_dir = nullptr;
    TestHttpServer *m_server = nullptr;
    QStringList m_shownDownload;
    QStringList m_started;
    QList<QByteArray> m_startedContent; // what the started file held
    int m_ended = 0;
    std::function<bool(const QString &, QString *)> m_defaultStart;
};

void TestUpdateScreens::initTestCase()
{
    m_defaultStart = Frm_Progress::StartInstaller();
    QVERIFY2(m_signer.isValid(), qPrintable(m_signer.error()));
    QVERIFY2(m_other.isValid(), qPrintable(m_other.error()));
    InstallerSignature::SetTrustedPublicKeyForTests(m_signer.publicKey());
}

void TestUpdateScreens::serve(TestHttpServer &server, const QByteArray &body, const QByteArray &signature, bool range)
{
    TestRoute r;
    r.body = body;
    r.honourRange = range;
    server.route(InstallerPath, r);
    if (!signature.isNull()) {
        TestRoute sig;
        sig.body = signature;
        server.route(SignaturePath, sig);
    }
}

void TestUpdateScreens::expectNoInstaller()
{
    const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : left)
        QVERIFY2(!name.startsWith(QStringLiteral("setup-kvr.exe")), qPrintable(name));
}

void TestUpdateScreens::init()
{
    m_dir = new QTemporaryDir;
    SetProgramFolder(m_dir->path());
    m_server = new TestHttpServer;
    Vendor::SetBase(m_server->url(QString()));
    InternetConnect::SetOverride(true);
    Dialogs::Test::Install();
    m_shownDownload.clear();
    m_started.clear();
    m_startedContent.clear();
    m_ended = 0;
    ShowDownloadScreen() = [this](QWidget *) { m_shownDownload << QStringLiteral("shown"); };
    Frm_Progress::StartInstaller() = [this](const QString &path, QString *) {
        m_started << path;
        m_startedContent << readAll(path);
        return true;
    };
    Frm_Progress::EndProgram() = [this] { ++m_ended; };
}

void TestUpdateScreens::cleanup()
{
    Dialogs::Test::Uninstall();
    InternetConnect::SetOverride(std::nullopt);
    Vendor::SetBase(QString());
    delete m_server;
    SetProgramFolder(QString());
    delete m_dir;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void TestUpdateScreens::versionCheck_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("published");
    QTest::addColumn<int>("outcome");
    using O = UpdateCheck::Outcome;
    QTest::newRow("older") << true << 200 << QByteArray("40") << int(O::UpToDate);
    QTest::newRow("same") << true << 200 << QByteArray("41") << int(O::UpToDate);
    QTest::newRow("newer") << true << 200 << QByteArray("42") << int(O::NewerVersion);
    QTest::newRow("blank, number, word") << true << 200 << QByteArray(" 42 (beta)") << int(O::NewerVersion);
    QTest::newRow("error page text") << true << 200 << QByteArray("<html>") << int(O::UpToDate);
    QTest::newRow("not found") << true << 404 << QByteArray("99") << int(O::Offline);
    QTest::newRow("offline") << false << 200 << QByteArray("99") << int(O::Offline);
}

void TestUpdateScreens::versionCheck()
{
    QFETCH(bool, online);
    QFETCH(int, status);
    QFETCH(QByteArray, published);
    QFETCH(int, outcome);
    InternetConnect::SetOverride(online);
    TestRoute r;
    r.status = status;
    r.body = published;
    m_server->route(QStringLiteral("/Soft/kvr/LastVersion.txt"), r);
    QCOMPARE(int(UpdateCheck::Check()), outcome);
    if (!online)
        QVERIFY(m_server->heads.isEmpty()); // nothing sent when offline
}

void TestUpdateScreens::fetchTimesOut()
{
    TestRoute r;
    r.silent = true;
    m_server->route(QStringLiteral("/Soft/kvr/LastVersion.txt"), r);
    QString text;
    QVERIFY(!UpdateCheck::FetchText(Vendor::VersionFileUrl(), &text, 300));
    QVERIFY(text.isEmpty());
    QCOMPARE(int(UpdateCheck::Check(300)), int(UpdateCheck::Outcome::Offline));

    // No server at all.
    Vendor::SetBase(QStringLiteral("http://127.0.0.1:1"));
    QCOMPARE(int(UpdateCheck::Check()), int(UpdateCheck::Outcome::Offline));
}

void TestUpdateScreens::startupCheckShowsNoticeAndNotification_data()
{
    QTest::addColumn<QByteArray>("published");
    QTest::addColumn<bool>("newer");
    QTest::newRow("newer") << QByteArray("42") << true;
    QTest::newRow("same") << QByteArray("41") << false;
}

void TestUpdateScreens::startupCheckShowsNoticeAndNotification()
{
    QFETCH(QByteArray, published);
    QFETCH(bool, newer);
    TestRoute r;
    r.body = published;
    m_server->route(QStringLiteral("/Soft/kvr/LastVersion.txt"), r);
    QWidget panel;
    panel.hide();
    PopupControl *popup = frmPopup::Instance()->Popup(0);
    popup->ClosePopup();
    QCOMPARE(RunStartupUpdateCheck(&panel), newer);
    QCOMPARE(!panel.isHidden(), newer);
    QCOMPARE(popup->isVisible(), newer);
    QVERIFY(!frmPopup::Instance()->isVisible());
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
    popup->ClosePopup();
}

void TestUpdateScreens::updateScreenMessages_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("offline") << false << 200 << MaintenanceText::NotConnected();
    QTest::newRow("fetch fails") << true << 500 << MaintenanceText::NotConnected();
    QTest::newRow("latest") << true << 200 << MaintenanceText::LatestVersion();
}

void TestUpdateScreens::updateScreenMessages()
{
    QFETCH(bool, online);
    QFETCH(int, status);
    QFETCH(QString, message);
    InternetConnect::SetOverride(online);
    TestRoute r;
    r.status = status;
    r.body = "41";
    m_server->route(QStringLiteral("/Soft/kvr/LastVersion.txt"), r);
    Frm_Update screen;
    QCOMPARE(screen.windowTitle(), QStringLiteral("KVR 4.1"));
    QCOMPARE(screen.Label1->text(), QStringLiteral("KVR 4.1"));
    screen.show();
    screen.PBCheck->click();
    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, message);
    QCOMPARE(boxes[0].caption, MaintenanceText::Message());
    QCOMPARE(boxes[0].icon, QMessageBox::Information);
    QCOMPARE(screen.windowTitle(), QStringLiteral("KVR 4.1"));
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(screen.isVisible());
    QVERIFY(m_shownDownload.isEmpty());
}

void TestUpdateScreens::updateScreenOpensDownloadWhenNewer()
{
    TestRoute r;
    r.body = "42";
    m_server->route(QStringLiteral("/Soft/kvr/LastVersion.txt"), r);
    Frm_Update screen;
    screen.show();
    bool busyWhileDownloading = false;
    bool checkClosed = false;
    ShowDownloadScreen() = [&](QWidget *) {
        busyWhileDownloading = QApplication::overrideCursor()
                               && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        checkClosed = !screen.isVisible();
        m_shownDownload << QStringLiteral("shown");
    };
    screen.PBCheck->click();
    QCOMPARE(m_shownDownload.size(), 1);
    QVERIFY(busyWhileDownloading);
    QVERIFY(checkClosed);
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
}

void TestUpdateScreens::notificationItems()
{
    const QString data = QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data"));
    for (const char *name : {"icon3.ico", "CloseMSN.bmp"})
        QVERIFY(QFile::copy(QDir(data).filePath(QLatin1String(name)), ProgramFile(QLatin1String(name))));

    frmPopup *host = frmPopup::Instance();
    PopupControl *popup = host->Popup(0);
    host->cmdShow->click();
    QVERIFY(popup->isVisible());
    QVERIFY(popup->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(popup->size(), QSize(170, 130));
    QCOMPARE(popup->AnimationDelay, 456);
    QCOMPARE(popup->DisplayTimer()->interval(), 30000);
    QVERIFY(popup->DisplayTimer()->isSingleShot());

    const auto items = popup->Items();
    QCOMPARE(items.size(), 7);
    QCOMPARE(items[0].rect, QRect(0, 0, 170, 130));
    QCOMPARE(items[0].background, QColor(30, 120, 30));
    QCOMPARE(items[1].rect, QRect(5, 25, 160, 100));
    QCOMPARE(items[1].border, QColor(255, 255, 0));
    QCOMPARE(items[2].text, QStringLiteral("more..."));
    QCOMPARE(items[2].id, 0);
    QCOMPARE(items[3].text, QStringLiteral("Click here to update"));
    QCOMPARE(items[3].id, 3);
    QCOMPARE(items[3].textColour, QColor(255, 255, 0));
    QVERIFY(items[3].rect.height() > 0 && items[3].rect.top() == 70);
    QCOMPARE(items[4].icon.size(), QSize(32, 32));
    QCOMPARE(items[5].text, QStringLiteral("KVR Software update"));
    QVERIFY(items[5].bold && !items[5].hyperlink);
    QCOMPARE(items[6].id, 2);
    QCOMPARE(items[6].buttonImages.size(), QSize(39, 13));
    QVERIFY(!popup->grab().isNull());

    // Shown again, it is built afresh, not added to.
    host->cmdShow->click();
    QCOMPARE(popup->Items().size(), 7);

    emit popup->DisplayTimer()->timeout({});
    QVERIFY(!popup->isVisible());
}

void TestUpdateScreens::notificationClicks()
{
    frmPopup *host = frmPopup::Instance();
    PopupControl *popup = host->Popup(0);

    host->cmdShow->click();
    popup->ClickItem(2); // "more..."
    popup->ClickItem(0); // background
    QVERIFY(popup->isVisible());
    QVERIFY(m_shownDownload.isEmpty());

    popup->ClickItem(6); // close button
    QVERIFY(!popup->isVisible());

    QWidget registry, settings, other;
    registry.setObjectName(QStringLiteral("Frm_Azmoodani"));
    settings.setObjectName(QStringLiteral("Frm_Setting"));
    other.setObjectName(QStringLiteral("Frm_Other"));
    for (QWidget *w : {&registry, &settings, &other})
        w->show();
    bool registryOpenDuringDownload = true, settingsOpenDuringDownload = false;
    ShowDownloadScreen() = [&](QWidget *) {
        registryOpenDuringDownload = registry.isVisible();
        settingsOpenDuringDownload = settings.isVisible();
        m_shownDownload << QStringLiteral("shown");
    };
    host->cmdShow->click();
    popup->ClickItem(3);
    QVERIFY(!popup->isVisible());
    QCOMPARE(m_shownDownload.size(), 1);
    QVERIFY(!registryOpenDuringDownload);
    QVERIFY(settingsOpenDuringDownload);
    QVERIFY(!settings.isVisible());
    QVERIFY(other.isVisible());
}

void TestUpdateScreens::notificationWithoutImages()
{
    QVERIFY(frmPopup::LoadIcon(QStringLiteral("icon3.ico"), 32, 32).isNull());
    QVERIFY(frmPopup::LoadBitmap(QStringLiteral("CloseMSN.bmp")).isNull());
    frmPopup *host = frmPopup::Instance();
    host->cmdShow->click();
    PopupControl *popup = host->Popup(0);
    QVERIFY(popup->Items()[4].icon.isNull());
    QVERIFY(!popup->grab().isNull());
    // The close item works without its picture.
    popup->ClickItem(popup->ItemAt(QPoint(157, 12)));
    QVERIFY(!popup->isVisible());
}

void TestUpdateScreens::downloadScreenLayout()
{
    Frm_Progress screen;
    screen.show();
    QCOMPARE(screen.windowTitle(), QStringLiteral("Downloading File ... "));
    QVERIFY(screen.Label1->isHidden());
    QVERIFY(screen.Text->isHidden());
    QCOMPARE(screen.Text->text(), Vendor::InstallerUrl());
    QCOMPARE(screen.PushButton2->text(), MaintenanceText::Download());
    QCOMPARE(screen.Label4->text(), QStringLiteral("0"));
    emit screen.Downloader->DownloadProgress(QStringLiteral("50"));
    QCOMPARE(screen.BarTwips(), 3350);
    QCOMPARE(screen.Label4->text(), QStringLiteral("50%"));
    QVERIFY(screen.I1->width() > 0 && screen.I1->width() < screen.Pic1->width());
}

void TestUpdateScreens::downloadCompletesStartsInstallerAndEnds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("secure");
    QTest::newRow("prehashed signature") << int(TestSigner::Kind::Prehashed) << false;
    QTest::newRow("legacy signature") << int(TestSigner::Kind::Legacy) << false;
    QTest::newRow("over https") << int(TestSigner::Kind::Prehashed) << true;
}

void TestUpdateScreens::downloadCompletesStartsInstallerAndEnds()
{
    QFETCH(int, kind);
    QFETCH(bool, secure);
    std::unique_ptr<TestTlsIdentity> identity;
    std::unique_ptr<TrustCertificate> trust;
    std::unique_ptr<TestHttpServer> tlsServer;
    TestHttpServer *server = m_server;
    if (secure) {
        identity = std::make_unique<TestTlsIdentity>();
        QVERIFY2(identity->isValid(), qPrintable(identity->error()));
        trust = std::make_unique<TrustCertificate>(identity->certificate);
        tlsServer = std::make_unique<TestHttpServer>(identity.get());
        server = tlsServer.get();
        Vendor::SetBase(server->url(QString()));
    }
    const QByteArray body = installerBody();
    serve(*server, body, m_signer.sign(body, TestSigner::Kind(kind)));
    // An older installer in the folder is replaced by the one downloaded.
    QVERIFY(writeFile(ProgramFile(QStringLiteral("setup-kvr.exe")), "older installer"));

    Frm_Progress screen;
    QCOMPARE(screen.Text->text(), server->url(InstallerPath));
    screen.show();
    QString captionWhileRunning;
    connect(screen.Downloader, &FileDownloader::DownloadProgress, &screen,
            [&] { captionWhileRunning = screen.PushButton2->text(); });
    screen.PushButton2->click();

    QCOMPARE(captionWhileRunning, MaintenanceText::CancelDownload());
    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, QStringLiteral("Success"));
    QCOMPARE(boxes[0].text, MaintenanceText::Downloaded());
    QCOMPARE(boxes[0].icon, QMessageBox::Information);
    QCOMPARE(m_started, QStringList{ProgramFile(QStringLiteral("setup-kvr.exe"))});
    QVERIFY(m_startedContent.value(0) == body);
    QCOMPARE(m_ended, 1);
    QVERIFY(server->heads.last().startsWith("GET " + SignaturePath.toLatin1() + " "));
    QCOMPARE(screen.BarTwips(), 6700);
    QCOMPARE(screen.Label4->text(), QStringLiteral("100%"));
    QCOMPARE(screen.PushButton2->text(), MaintenanceText::Download());
}

void TestUpdateScreens::unverifiedInstallerIsRemoved_data()
{
    QTest::addColumn<QString>("problem");
    QTest::newRow("a byte of the file flipped") << QStringLiteral("flipped");
    QTest::newRow("signed with another key") << QStringLiteral("other key");
    QTest::newRow("signature cut short") << QStringLiteral("truncated");
    QTest::newRow("no signature published") << QStringLiteral("missing");
}

void TestUpdateScreens::unverifiedInstallerIsRemoved()
{
    QFETCH(QString, problem);
    const QByteArray signedBody = installerBody();
    QByteArray served = signedBody;
    QByteArray signature = m_signer.sign(signedBody);
    if (problem == QLatin1String("flipped"))
        served[served.size() / 3] = char(served[served.size() / 3] ^ 0x20);
    else if (problem == QLatin1String("other key"))
        signature = m_other.sign(signedBody);
    else if (problem == QLatin1String("truncated"))
        signature.truncate(signature.size() - 40);
    else
        signature = QByteArray();
    serve(*m_server, served, signature);

    Frm_Progress screen;
    screen.show();
    screen.PushButton2->click();
    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, MaintenanceText::Error());
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(boxes[0].text.startsWith(DownloadText::NotVerified() + QLatin1Char('\n')), qPrintable(boxes[0].text));
    expectNoInstaller();
    QVERIFY(m_started.isEmpty());
    QCOMPARE(m_ended, 0);
    QCOMPARE(screen.PushButton2->text(), MaintenanceText::Download());
    QVERIFY(screen.isVisible());
}

void TestUpdateScreens::refusedReplyStartsNothing_data()
{
    QTest::addColumn<QByteArray>("reply"); // {port}: the server's port
    QTest::addColumn<QString>("message");
    const QByteArray ok = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    QTest::newRow("length 0") << QByteArray(ok + "Content-Length: 0\r\n\r\n") << DownloadText::BadLength();
    QTest::newRow("negative length") << QByteArray(ok + "Content-Length: -1\r\n\r\n") << DownloadText::BadLength();
    QTest::newRow("206 for the last bytes")
        << QByteArray("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 992-999/1000\r\nContent-Length: 8\r\n"
                      "Connection: close\r\n\r\n12345678")
        << DownloadText::PartialRange();
    QTest::newRow("redirect to another host")
        << QByteArray("HTTP/1.1 302 Found\r\nLocation: http://localhost:{port}/Soft/kvr/setup-kvr.exe\r\n"
                      "Content-Length: 0\r\nConnection: close\r\n\r\n")
        << DownloadText::RedirectElsewhere();
}

void TestUpdateScreens::refusedReplyStartsNothing()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    // A genuine older installer lies in the folder with its signature on the
    // server: it is still not started, since this download did not write it.
    const QByteArray older = installerBody().left(5000);
    const QString installer = ProgramFile(QStringLiteral("setup-kvr.exe"));
    QVERIFY(writeFile(installer, older));
    serve(*m_server, older, m_signer.sign(older));
    TestRoute r;
    r.raw = reply.replace("{port}", QByteArray::number(m_server->port()));
    m_server->route(InstallerPath, r);

    Frm_Progress screen;
    screen.show();
    screen.PushButton2->click();
    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, QStringLiteral("Error"));
    QVERIFY2(boxes[0].text.startsWith(message), qPrintable(boxes[0].text));
    QVERIFY(boxes[0].rightToLeft);
    QVERIFY(m_started.isEmpty());
    QCOMPARE(m_ended, 0);
    QVERIFY(readAll(installer) == older);
    for (const QByteArray &head : m_server->heads)
        QVERIFY(!head.contains(".minisig"));
    QCOMPARE(screen.PushButton2->text(), MaintenanceText::Download());
}

void TestUpdateScreens::cancelWhileSignatureIsFetched()
{
    const QByteArray body = installerBody();
    serve(*m_server, body, QByteArray());
    TestRoute silent;
    silent.silent = true;
    m_server->route(SignaturePath, silent);
    Frm_Progress screen;
    screen.show();
    bool pressed = false;
    m_server->onRequest = [&](const QByteArray &head) {
        if (head.contains(".minisig")) {
            QCOMPARE(screen.PushButton2->text(), MaintenanceText::CancelDownload());
            pressed = true;
            screen.PushButton2->click();
        }
    };
    screen.PushButton2->click();
    QVERIFY(pressed);
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
    expectNoInstaller();
    QVERIFY(m_started.isEmpty());
    QCOMPARE(screen.PushButton2->text(), MaintenanceText::Download());
}

void TestUpdateScreens::downloadErrorReturnsToIdle()
{
    Frm_Progress screen;
    screen.show();
    // A URL without a file name gives no destination file: a write error.
    screen.Text->setText(m_server->url(QStringLiteral("/Soft/kvr/setup")));
    TestRoute r;
    r.body = installerBody();
    m_server->route(QStringLiteral("/Soft/kvr/setup"), r);
    screen.PushButton2->click();
    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    QCOMPARE(Dialogs::Test::Boxes()[0].caption, QStringLiteral("Error"));
    QCOMPARE(Dialogs::Test::Boxes()[0].icon, QMessageBox::Critical);
    QVERIFY(Dialogs::Test::Boxes()[0].text.startsWith(QStringLiteral("Cannot write file to disk.")));
    QCOMPARE(screen.PushButton2->text(), MaintenanceText::Download());

    // Then a missing file; the button starts a new download after an error.
    Dialogs::Test::Clear();
    screen.Text->setText(m_server->url(QStringLiteral("/Soft/kvr/setup-kvr.exe")));
    screen.PushButton2->click();
    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    QCOMPARE(Dialogs::Test::Boxes()[0].text,
             QStringLiteral("The file, \"%1\" was not found!").arg(screen.Text->text()));
    QCOMPARE(screen.PushButton2->text(), MaintenanceText::Download());
    QCOMPARE(m_ended, 0);
    QVERIFY(m_started.isEmpty());
}

void TestUpdateScreens::installerThatCannotStartKeepsProgram()
{
    // Genuine, but no program this system can run: the program's own way of
    // starting it fails after the signature has been checked.
    const QByteArray body = installerBody();
    serve(*m_server, body, m_signer.sign(body), false);
    Frm_Progress::StartInstaller() = m_defaultStart;
    Frm_Progress screen;
    screen.show();
    screen.PushButton2->click();
    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[0].caption, QStringLiteral("Success"));
    QCOMPARE(boxes[1].caption, MaintenanceText::Error());
    QVERIFY(boxes[1].text.startsWith(DownloadText::InstallerNotStarted()));
    QVERIFY(boxes[1].text.contains(QStringLiteral("setup-kvr.exe")));
    QCOMPARE(m_ended, 0);
    QVERIFY(screen.isVisible());
}

void TestUpdateScreens::cancelAndCloseWhileDownloading()
{
    TestRoute r;
    r.body = installerBody();
    m_server->route(QStringLiteral("/Soft/kvr/setup-kvr.exe"), r);
    {
        Frm_Progress screen;
        screen.show();
        bool pressed = false;
        connect(screen.Downloader, &FileDownloader::DownloadProgress, &screen, [&] {
            if (!pressed) {
                pressed = true;
                screen.PushButton2->click(); // the same button cancels
            }
        });
        screen.PushButton2->click();
        QVERIFY(pressed);
        QCOMPARE(screen.PushButton2->text(), MaintenanceText::Download());
        QVERIFY(Dialogs::Test::Boxes().isEmpty());
        QVERIFY(!QFile::exists(ProgramFile(QStringLiteral("setup-kvr.exe"))));
    }
    {
        Frm_Progress screen;
        screen.show();
        bool pressed = false;
        connect(screen.Downloader, &FileDownloader::DownloadProgress, &screen, [&] {
            if (!pressed) {
                pressed = true;
                screen.PushButton1->click(); // exit while downloading
                QVERIFY(screen.isVisible()); // waits for the download to end
            }
        });
        screen.PushButton2->click();
        QVERIFY(pressed);
        QVERIFY(!screen.isVisible());
        QVERIFY(!screen.Downloader->IsRunning());
        QVERIFY(Dialogs::Test::Boxes().isEmpty());
        QCOMPARE(m_ended, 0);
    }
}

QTEST_MAIN(TestUpdateScreens)
#include "tst_update_screens.moc"

// An installed program is updated by a new package: the download screen says
// where to get it and downloads and starts nothing.
void TestUpdateScreens::installedProgramPointsToThePackage()
{
    QTemporaryDir shared;
    SetDeliveredFolder(shared.path());
    const QByteArray body = installerBody();
    serve(*m_server, body, m_signer.sign(body, TestSigner::Kind::Prehashed));
    Frm_Progress screen;
    screen.show();
    screen.PushButton2->click();
    SetDeliveredFolder(QString());

    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, MaintenanceText::Message());
    QCOMPARE(boxes[0].text, PackageText::UpdateComesAsPackage());
    QVERIFY(boxes[0].text.contains(Vendor::WebSiteUrl()));
    QVERIFY(m_server->heads.isEmpty());
    QVERIFY(m_started.isEmpty());
    QCOMPARE(m_ended, 0);
    QCOMPARE(screen.PushButton2->text(), MaintenanceText::Download());
    expectNoInstaller();
}
