// The plugin that holds the contact window's web view; the only part of the
// program that links the web engine.
#include "shell/ui/WebView.h"

#include <QObject>
#include <QUrl>
#include <QWebEngineView>

#include <unistd.h>

class ContactWebView : public QObject, public WebViewFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KVR_WEBVIEW_IID)
    Q_INTERFACES(WebViewFactory)

public:
    QWidget *CreateView(const QUrl &url, const QString &offlinePage, QWidget *parent) override
    {
        // Chromium refuses to start its sandbox for the root user.
        if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        auto *view = new QWebEngineView(parent);
        QObject::connect(view, &QWebEngineView::loadFinished, view, [view, offlinePage](bool ok) {
            if (!ok && !offlinePage.isEmpty())
                view->setHtml(offlinePage);
        });
        view->setUrl(url);
        return view;
    }

    QUrl RequestedUrl(const QWidget *view) const override
    {
        const auto *web = qobject_cast<const QWebEngineView *>(view);
        return web ? web->url() : QUrl();
    }
};

#include "ContactWebView.moc"
