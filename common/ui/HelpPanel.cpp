#include "common/ui/HelpPanel.h"

#include "common/ui/Twips.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>

namespace {
const char *const kOverlay = "kvrOverlay";
}

void MarkOverlay(QWidget *panel) { panel->setProperty(kOverlay, true); }

bool IsOverlay(const QWidget *w) { return w->property(kOverlay).toBool(); }

void UntitledPanel(QGroupBox *box)
{
    box->setStyleSheet(QStringLiteral("QGroupBox { margin-top: 0px; }"));
}

void RightToLeftParagraphs(QTextDocument *document)
{
    QTextOption option = document->defaultTextOption();
    option.setTextDirection(Qt::RightToLeft);
    option.setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    document->setDefaultTextOption(option);
}

HelpPanel::HelpPanel(const QString &title, const QString &text, const QString &closeCaption, QWidget *parent)
    : QGroupBox(title, parent)
{
    MarkOverlay(this);
    setAutoFillBackground(true);
    // The title sits inside the frame, on the panel's own background; the
    // frame starts at the panel's top edge.
    setStyleSheet(QStringLiteral(
                      "HelpPanel { background-color: palette(window); border: 1px solid palette(dark);"
                      " border-radius: 0px; margin: 0px; padding-top: %1; }"
                      "HelpPanel::title { subcontrol-origin: padding; subcontrol-position: top center;"
                      " padding: 3px 8px; }")
                      .arg(title.isEmpty() ? QStringLiteral("4px") : QStringLiteral("1.7em")));

    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    RightToLeftParagraphs(m_text->document());
    m_text->setPlainText(text);
    m_close = new QPushButton(closeCaption, this);
    m_close->setAutoDefault(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 8);
    layout->setSpacing(6);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_close, 0, Qt::AlignHCenter);
    hide();
    connect(m_close, &QPushButton::clicked, this, &QWidget::hide);
}

void HelpPanel::SetNames(const char *panel, const char *text, const char *close)
{
    setObjectName(QLatin1String(panel));
    m_text->setObjectName(QLatin1String(text));
    m_close->setObjectName(QLatin1String(close));
}

void HelpPanel::SetPlace(double left, double top, double width, double height)
{
    m_place = QRectF(left, top, width, height);
}

void HelpPanel::Show()
{
    QRect r = TwipsRect(this, m_place.left(), m_place.top(), m_place.width(), m_place.height());
    if (const QWidget *window = parentWidget()) {
        const QRect inside = window->rect().adjusted(2, 2, -2, -2);
        r.setWidth(qMin(r.width(), inside.width()));
        r.setHeight(qMin(r.height(), inside.height()));
        r.moveLeft(qBound(inside.left(), r.left(), inside.right() - r.width() + 1));
        r.moveTop(qBound(inside.top(), r.top(), inside.bottom() - r.height() + 1));
    }
    setGeometry(r);
    show();
    raise();
}
