#include "shell/ui/Frm_Chat.h"

#include "common/Vendor.h"
#include "common/ui/Fonts.h"
#include "common/ui/Placement.h"
#include "shell/ContactPage.h"
#include "shell/ui/WebView.h"

#include <QDesktopServices>
#include <QLabel>
#include <QResizeEvent>
#include <QUrl>

Frm_Chat::Frm_Chat(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Frm_Chat"));
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QStringLiteral("KVR"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    resize(1000, 700);
    const QUrl url(Vendor::WebSiteUrl());
    // The web view comes from its plugin, loaded when this window first opens.
    m_web = WebView::Factory();
    if (m_web) {
        m_browser = m_web->CreateView(url, ContactOfflinePage(url.toString()), this);
    } else {
        // Without an embedded browser the site opens in the system's browser.
        auto *label = new QLabel(url.toString(), this);
        label->setAlignment(Qt::AlignCenter);
        label->setFont(Fonts::Persian(14));
        label->setProperty("url", url);
        m_browser = label;
        QDesktopServices::openUrl(url);
    }
    m_browser->setObjectName(QStringLiteral("WebBrowser1"));
    m_browser->setGeometry(rect());
    Placement::Arrange(this);
}

Frm_Chat::~Frm_Chat() = default;

QUrl Frm_Chat::RequestedUrl() const
{
    return m_web ? m_web->RequestedUrl(m_browser) : m_browser->property("url").toUrl();
}

void Frm_Chat::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    m_browser->setGeometry(0, 0, width(), height());
}
