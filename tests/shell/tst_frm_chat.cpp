// The contact window with and without its web view plugin. The web engine
// is not linked into the program or this test; it is loaded when the window
// first opens, from the plugin.
#include "common/Vendor.h"
#include "shell/ui/Frm_Chat.h"
#include "shell/ui/WebView.h"

#include "ShellFixture.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QTest>

namespace {

bool webEngineLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

} // namespace

// Catches the addresses the program hands to the system's browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestFrmChat : public QObject
{
    Q_OBJECT
    ProgramFolderFixture *m_folder = nullptr;
    UrlCatcher m_urls;

private slots:
    void initTestCase()
    {
        m_folder = new ProgramFolderFixture;
        QVERIFY(m_folder->ok);
        Vendor::SetBase(QStringLiteral("http://127.0.0.1:9"));
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_urls, "open");
    }
    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        delete m_folder;
    }

    // Runs first, while nothing has loaded the web engine.
    void withoutThePluginTheSystemBrowserShowsTheSite()
    {
        QVERIFY(!webEngineLoaded());
        WebView::SetPluginFileForTests(m_folder->path(QStringLiteral("nowhere/") + WebView::PluginFileName()));
        {
            Frm_Chat chat;
            QCOMPARE(chat.RequestedUrl(), QUrl(Vendor::WebSiteUrl()));
            QCOMPARE(m_urls.urls, QList<QUrl>{QUrl(Vendor::WebSiteUrl())});
            QVERIFY(qobject_cast<QLabel *>(chat.WebBrowser1()));
            chat.show();
            chat.resize(640, 480);
            QCOMPARE(chat.WebBrowser1()->geometry(), QRect(0, 0, 640, 480));
        }
        QVERIFY(WebView::LoadError().contains(QStringLiteral("nowhere")));
        QVERIFY(!webEngineLoaded());
    }

    void thePluginIsLoadedWhenTheWindowFirstOpens()
    {
#ifndef KVR_WEBVIEW_PLUGIN
        QSKIP("built without Qt WebEngine: there is no web view plugin");
#else
        m_urls.urls.clear();
        WebView::SetPluginFileForTests(QStringLiteral(KVR_WEBVIEW_PLUGIN));
        // A page of one colour stands for the site.
        Vendor::SetBase(QStringLiteral("data:text/html,<body style='background:%23ff0000'></body><!--"));
        QVERIFY(!webEngineLoaded());
        Frm_Chat chat;
        QVERIFY2(webEngineLoaded(), qPrintable(WebView::LoadError()));
        QCOMPARE(chat.WebBrowser1()->metaObject()->className(), "QWebEngineView");
        QCOMPARE(chat.RequestedUrl(), QUrl(Vendor::WebSiteUrl()));
        QVERIFY(m_urls.urls.isEmpty());
        chat.show();
        chat.resize(640, 480);
        QCOMPARE(chat.WebBrowser1()->geometry(), QRect(0, 0, 640, 480));
        // The engine, loaded after the application started, draws the page.
        QTRY_COMPARE_WITH_TIMEOUT(chat.grab().toImage().pixelColor(320, 240), QColor(Qt::red), 20000);
        Vendor::SetBase(QStringLiteral("http://127.0.0.1:9"));
#endif
    }
};

QTEST_MAIN(TestFrmChat)

#include "tst_frm_chat.moc"
