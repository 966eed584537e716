#include "shell/ui/Frm_Chat.h"

#include "common/Vendor.h"
#include "common/ui/Fonts.h"
#include "common/ui/Placement.h"
#include "shell/ContactPage.h"

#include <QResizeEvent>
#include <QUrl>

#ifdef KVR_HAVE_WEBENGINE
#include <QWebEngineView>
#include <unistd.h>
#else
#include <QDesktopServices>
#include <QLabel>
#endif

Frm_Chat::Frm_Chat(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Frm_Chat"));
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QStringLiteral("KVR"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    resize(1000, 700);
    const QUrl url(Vendor::WebSiteUrl());
#ifdef KVR_HAVE_WEBENGINE
    // Chromium refuses to start its sandbox for the root user.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    auto *view = new QWebEngineView(this);
    view->setObjectName(QStringLiteral("WebBrowser1"));
    m_browser = view;
    view->setGeometry(rect());
    // When the site cannot be reached, a short Persian page instead of the
    // browser's own (English) error page.
    connect(view, &QWebEngineView::loadFinished, this, [view, url](bool ok) {
        if (!ok)
            view->setHtml(ContactOfflinePage(url.toString()));
    });
    view->setUrl(url);
#else
    // Without an embedded browser the site opens in the system's browser.
    auto *label = new QLabel(url.toString(), this);
    label->setObjectName(QStringLiteral("WebBrowser1"));
    label->setAlignment(Qt::AlignCenter);
    label->setFont(Fonts::Persian(14));
    label->setProperty("url", url);
    m_browser = label;
    label->setGeometry(rect());
    QDesktopServices::openUrl(url);
#endif
    Placement::Arrange(this);
}

Frm_Chat::~Frm_Chat() = default;

QUrl Frm_Chat::RequestedUrl() const
{
#ifdef KVR_HAVE_WEBENGINE
    return static_cast<QWebEngineView *>(m_browser)->url();
#else
    return m_browser->property("url").toUrl();
#endif
}

void Frm_Chat::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    m_browser->setGeometry(0, 0, width(), height());
}
