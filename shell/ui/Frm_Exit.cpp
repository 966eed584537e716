#include "shell/ui/Frm_Exit.h"

#include "common/ui/Fonts.h"
#include "common/ui/Placement.h"
#include "shell/ui/MDIForm1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
std::function<void()> &endProgram()
{
    static std::function<void()> end;
    return end;
}
}

void Frm_Exit::SetEndProgram(std::function<void()> end) { endProgram() = std::move(end); }

Frm_Exit::Frm_Exit(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Frm_Exit"));
    setAttribute(Qt::WA_DeleteOnClose);
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QStringLiteral("KVR"));
    setFont(Fonts::Persian(13, true));

    auto *label = new QLabel(QStringLiteral(" آيا قصد خروج از برنامه را داريد؟"), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setAlignment(Qt::AlignCenter);
    auto *yes = new QPushButton(QStringLiteral("بلي"), this);
    yes->setObjectName(QStringLiteral("PushB1"));
    auto *no = new QPushButton(QStringLiteral("خير"), this);
    no->setObjectName(QStringLiteral("PushButton1"));
    no->setDefault(true);
    connect(yes, &QPushButton::clicked, this, &Frm_Exit::Yes);
    connect(no, &QPushButton::clicked, this, &Frm_Exit::No);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addSpacing(20);
    buttons->addWidget(no);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(label);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setMinimumWidth(360);
    // Over the main window, which waits behind it for the answer.
    if (parent)
        setWindowModality(Qt::WindowModal);
    Placement::Arrange(this);
}

Frm_Exit::~Frm_Exit() = default;

MDIForm1 *Frm_Exit::asking() const { return qobject_cast<MDIForm1 *>(parentWidget()); }

void Frm_Exit::Yes()
{
    m_answered = true;
    hide();
    if (MDIForm1 *main = asking())
        main->Leave();
    if (endProgram())
        endProgram()();
    else
        QCoreApplication::exit(0);
    close();
}

void Frm_Exit::No()
{
    m_answered = true;
    reload();
    close();
}

void Frm_Exit::reload()
{
    // The fresh main window is on screen, where the old one stood, before
    // the old one goes, so the program always has a visible window.
    MDIForm1 *old = asking();
    MDIForm1::Load(old);
    if (old)
        old->Leave();
}

void Frm_Exit::closeEvent(QCloseEvent *event)
{
    if (!m_answered) {
        m_answered = true;
        reload();
    }
    QWidget::closeEvent(event);
}
