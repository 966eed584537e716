#pragma once
// The contact window's embedded browser lives in a plugin of its own
// (kvr-webview.so beside the program), so that the web engine, the largest
// library the program could use, is loaded only when that window first
// opens. Without the plugin the window hands the site to the system's
// browser.
#include <QString>
#include <QtPlugin>

class QUrl;
class QWidget;

class WebViewFactory
{
public:
    virtual ~WebViewFactory() = default;
    // A browser view, child of parent, that goes to the address; when the
    // address cannot be reached it shows offlinePage (HTML) instead of the
    // browser's own error page.
    virtual QWidget *CreateView(const QUrl &url, const QString &offlinePage, QWidget *parent) = 0;
    // The address a view made here was sent to.
    virtual QUrl RequestedUrl(const QWidget *view) const = 0;
};

#define KVR_WEBVIEW_IID "kvr.WebViewFactory/2"
Q_DECLARE_INTERFACE(WebViewFactory, KVR_WEBVIEW_IID)

namespace WebView {

// The plugin, loaded on first use and kept; null when it is missing or does
// not load. Looked for beside the program, then in ../libexec/kvr.
WebViewFactory *Factory();
// Why the last attempt found no plugin (empty when it loaded).
QString LoadError();
// The plugin file's name.
QString PluginFileName(); // "kvr-webview.so"
// Tests name the file to load instead (an empty text: look as usual).
void SetPluginFileForTests(const QString &file);

} // namespace WebView
