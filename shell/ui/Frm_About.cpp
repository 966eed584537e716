#include "shell/ui/Frm_About.h"

#include "common/Vendor.h"
#include "common/ui/Fonts.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/Placement.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
// An address or number inside a right-to-left line keeps its own left-to-right
// order (a telephone number's groups, a trailing slash).
QString leftToRight(const QString &text)
{
    // Left-to-right marks around the text and around each blank inside it.
    const QChar lrm(0x200E);
    QString marked = text;
    marked.replace(QLatin1Char(' '), QString(lrm) + QLatin1Char(' ') + lrm);
    return lrm + marked + lrm;
}
}

QString VersionLine(int major, int minor, int revision)
{
    return QStringLiteral("ورژن نرم افزار شما: %1.%2.%3").arg(major).arg(minor).arg(revision);
}

namespace {
QFrame *separator(QWidget *parent, const char *name)
{
    auto *line = new QFrame(parent);
    line->setObjectName(QLatin1String(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}
}

Frm_About::Frm_About(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Frm_About"));
    setAttribute(Qt::WA_DeleteOnClose);
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QStringLiteral("About ") + QStringLiteral("KVR"));
    setFont(Fonts::Persian(12));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 14, 18, 14);
    layout->setSpacing(6);

    const QString texts[8] = {
        QStringLiteral("تعداد سوالات 40"),
        QStringLiteral("طراحي و توليد: تيم توسعه KVR"),
        QStringLiteral("تاريخ توليد اين ورژن: آبانماه 1401"),
        QStringLiteral("تماس با ما:"),
        QStringLiteral("فروشگاه: ") + leftToRight(Vendor::ShopUrl()),
        QStringLiteral("واتساپ و تلگرام : ") + leftToRight(Vendor::ContactPhone()),
        QStringLiteral("سايت: ") + leftToRight(Vendor::WebSiteUrl()),
        QStringLiteral("KVR - نرم افزار مقياس سنجش اضطراب"),
    };
    const QString tips[8] = {
        {}, {}, {}, {},
        QStringLiteral("جهت ورود به فروشگاه كليك كنيد"),
        QStringLiteral("جهت ورود به واتساپ كليك كنيد"),
        QStringLiteral("جهت ورود به سايت كليك كنيد"),
        {},
    };
    for (int i = 0; i < 8; ++i) {
        auto *l = new QLabel(texts[i], this);
        l->setObjectName(QStringLiteral("Label1(%1)").arg(i));
        l->setFont(Fonts::Persian(i == 7 ? 16 : 13, i == 7 || i == 3));
        if (!tips[i].isEmpty()) {
            l->setToolTip(tips[i]);
            l->setCursor(Qt::PointingHandCursor);
            l->setStyleSheet(QStringLiteral("color: palette(link);"));
        }
        l->installEventFilter(this);
        m_label1.append(l);
    }
    m_label1[7]->setAlignment(Qt::AlignCenter);

    auto *lblVersion = new QLabel(VersionLine(KVR_VERSION_MAJOR, KVR_VERSION_MINOR, KVR_VERSION_PATCH), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(11);
    lblVersion->setFont(arial);

    auto *cmdOK = new QPushButton(QStringLiteral("بستن"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setFont(Fonts::Persian(12, true));
    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);

    layout->addWidget(m_label1[7]);
    layout->addWidget(separator(this, "Line1"));
    layout->addWidget(lblVersion);
    layout->addWidget(m_label1[0]);
    layout->addWidget(m_label1[1]);
    layout->addWidget(m_label1[2]);
    layout->addWidget(separator(this, "Line2"));
    layout->addWidget(m_label1[3]);
    layout->addWidget(m_label1[4]);
    layout->addWidget(m_label1[5]);
    layout->addWidget(m_label1[6]);
    layout->addSpacing(8);
    layout->addWidget(cmdOK, 0, Qt::AlignHCenter);

    // 5000 twips from the left edge of the screen.
    Placement::Arrange(this, {5000, Placement::Centred});
    EnableMainWindow(false);
}

Frm_About::~Frm_About() = default;

void Frm_About::Label1Click(int index)
{
    QString url;
    switch (index) {
    case 4: url = Vendor::ShopUrl(); break;
    case 5: url = Vendor::MessagingUrl(); break;
    case 6: url = Vendor::WebSiteUrl(); break;
    default: return;
    }
    QDesktopServices::openUrl(QUrl(url));
}

bool Frm_About::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        const int index = m_label1.indexOf(qobject_cast<QLabel *>(watched));
        if (index >= 0) {
            Label1Click(index);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Frm_About::closeEvent(QCloseEvent *event)
{
    EnableMainWindow(true);
    QWidget::closeEvent(event);
}
