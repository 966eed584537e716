#pragma once
#include <QDialog>

class QWidget;
class WebViewFactory;

// The contact window ("سايت ما"): the vendor's web site in a browser view
// that always fills the window. Opened modally. The view comes from the web
// view plugin (shell/ui/WebView.h); without it the window shows the address
// and hands the site to the system's browser.
class Frm_Chat : public QDialog
{
    Q_OBJECT
public:
    explicit Frm_Chat(QWidget *parent = nullptr);
    ~Frm_Chat() override;

    // The page asked for on load.
    QUrl RequestedUrl() const;
    QWidget *WebBrowser1() const { return m_browser; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    WebViewFactory *m_web = nullptr;
    QWidget *m_browser = nullptr;
};
