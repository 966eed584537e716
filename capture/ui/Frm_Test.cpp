#include "capture/ui/Frm_Test.h"

#include "capture/AnswerEntry.h"
#include "capture/CaptureTexts.h"
#include "capture/Connection.h"
#include "common/ui/Buttons.h"
#include "common/ui/Dialogs.h"
#include "common/ui/HelpPanel.h"
#include "common/ui/HiddenField.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/Placement.h"
#include "common/ui/Twips.h"
#include "store/DataControl.h"
#include "store/ui/BoundWidgets.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const QString ItemSource = QStringLiteral("SELECT * FROM QUS ");
const QString AnswerSource = QStringLiteral("SELECT * FROM Answer1 ");

QString codeFilter(const QString &value)
{
    return QStringLiteral("code='") + value + QLatin1Char('\'');
}

} // namespace

Frm_Test::Frm_Test(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Frm_Test"));
    setAttribute(Qt::WA_DeleteOnClose);
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(CaptureText::TestCaption());

    m_adodc1 = new DataControl(this);
    m_adodc1->setObjectName(QStringLiteral("Adodc1"));
    m_adodc2 = new DataControl(this);
    m_adodc2->setObjectName(QStringLiteral("Adodc2"));
    buildUi();

    // Load.
    const QString conn = CaptureDb::ConnectionText();
    m_adodc1->Open(ItemSource, conn);
    m_adodc2->Open(AnswerSource, conn);
    copyOptionCaptions();
    EnableMainWindow(false);
    Placement::Arrange(this);
}

Frm_Test::~Frm_Test() = default;

void Frm_Test::buildUi()
{
    setFixedSize(TwipsToPixelsX(this, 9060), TwipsToPixelsY(this, 6300));
    buildItem();
    buildButtons();
    buildIntro();

    m_groupBox4 = new HelpPanel(CaptureText::Help(), CaptureText::TestHelp(), CaptureText::BtnClose(), this);
    m_groupBox4->SetNames("GroupBox4", "TxtHelp", "PushButton2");
    m_groupBox4->SetPlace(2340, 1575, 4965, 4155);
    connect(m_help, &QPushButton::clicked, m_groupBox4, &HelpPanel::Show);

    connect(m_text6, &QLineEdit::textChanged, this, &Frm_Test::itemChange);
}

// The examinee's name, the hidden code and item fields, the item's text
// bound to QU, its three options bound to A, B and C, and the option buttons.
void Frm_Test::buildItem()
{
    m_label1 = new QLabel(this);
    m_label1->setObjectName(QStringLiteral("Label1(0)"));
    PlaceTwips(m_label1, 600, 240, 7860, 420);

    m_fltEditCode = HiddenField(this, "FltEditCode");
    m_text6 = HiddenField(this, "Text6");
    m_text12 = HiddenField(this, "Text12");

    m_lblQU = new QLabel(this);
    m_lblQU->setObjectName(QStringLiteral("LblQU"));
    m_lblQU->setWordWrap(true);
    m_lblQU->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
    QFont big = m_lblQU->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    m_lblQU->setFont(big);
    PlaceTwips(m_lblQU, 600, 900, 7860, 1800);
    Bound::Bind(m_lblQU, m_adodc1, QStringLiteral("QU"));

    const char *optionColumns[3] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
        m_lblQ[i] = new QLabel(this);
        m_lblQ[i]->setObjectName(QStringLiteral("LblQ%1").arg(QLatin1Char(char('A' + i))));
        m_lblQ[i]->hide();
        Bound::Bind(m_lblQ[i], m_adodc1, QLatin1String(optionColumns[i]));
    }

    m_groupBox1 = new QGroupBox(this);
    m_groupBox1->setObjectName(QStringLiteral("GroupBox1"));
    PlaceTwips(m_groupBox1, 3015, 2925, 4740, 1455);
    auto *options = new QVBoxLayout(m_groupBox1);
    options->setSpacing(2);
    for (int i = 0; i < 3; ++i) {
        m_option[i] = new QRadioButton(m_groupBox1);
        m_option[i]->setObjectName(QStringLiteral("RButton%1").arg(i + 1));
        options->addWidget(m_option[i]);
        connect(m_option[i], &QRadioButton::clicked, this, [this, i] { choose(i); });
    }
}

void Frm_Test::buildButtons()
{
    // Right to left: back on the right, next on the left.
    m_next = NamedButton(this, CaptureText::BtnNext(), "PushBNext", {3015, 4500, 1200, 420});
    m_back = NamedButton(this, CaptureText::BtnBack(), "PushBBack", {6555, 4500, 1200, 420});
    connect(m_next, &QPushButton::clicked, this, [this] { Next(); });
    connect(m_back, &QPushButton::clicked, this, [this] { Back(); });

    m_help = NamedButton(this, CaptureText::BtnHelp(), "PushButton3", {7500, 5700, 1200, 420});
    m_exit = NamedButton(this, CaptureText::BtnClose(), "PushButtonExit", {360, 5700, 1200, 420});
    connect(m_exit, &QPushButton::clicked, this, &QWidget::close);
}

// The intro covers the item panel until Start.
void Frm_Test::buildIntro()
{
    m_groupBox3 = new QGroupBox(this);
    m_groupBox3->setObjectName(QStringLiteral("GroupBox3"));
    m_groupBox3->setAutoFillBackground(true);
    UntitledPanel(m_groupBox3);
    MarkOverlay(m_groupBox3);
    PlaceTwips(m_groupBox3, 180, 180, 8700, 5505);
    auto *intro = new QVBoxLayout(m_groupBox3);
    intro->setContentsMargins(30, 24, 30, 24);
    auto *title = new QLabel(CaptureText::IntroTitle(), m_groupBox3);
    title->setObjectName(QStringLiteral("LblTitle"));
    title->setAlignment(Qt::AlignCenter);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    title->setFont(titleFont);
    auto *text = new QLabel(CaptureText::IntroText(), m_groupBox3);
    text->setObjectName(QStringLiteral("LblIntro"));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    QFont textFont = text->font();
    textFont.setPointSizeF(textFont.pointSizeF() * 1.2);
    text->setFont(textFont);
    m_start = NamedButton(m_groupBox3, CaptureText::BtnStart(), "PushButton1");
    intro->addWidget(title);
    intro->addSpacing(16);
    intro->addWidget(text, 1);
    intro->addWidget(m_start, 0, Qt::AlignHCenter);
    connect(m_start, &QPushButton::clicked, this, &Frm_Test::StartPressed);
}

void Frm_Test::SetExaminee(const QString &nameLabel, const QString &code)
{
    m_label1->setText(nameLabel);
    m_fltEditCode->setText(code);
}

void Frm_Test::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        activate();
}

void Frm_Test::activate()
{
    m_help->hide();
    if (m_text6->text() == QLatin1String("1"))
        itemChange();
    else
        m_text6->setText(QStringLiteral("1"));

    if (!m_rowChecked) {
        m_rowChecked = true;
        // Answers chosen for an examinee without an answer row would go
        // nowhere: say so once and take none.
        m_hasAnswerRow = m_adodc2->RecordCount() != 0;
        m_groupBox1->setEnabled(m_hasAnswerRow);
        m_next->setEnabled(m_hasAnswerRow);
        m_back->setEnabled(m_hasAnswerRow);
        if (!m_hasAnswerRow)
            Dialogs::Message(this, CaptureText::Attention(), CaptureText::NoAnswerRow(), QMessageBox::Warning);
    }
}

void Frm_Test::StartPressed()
{
    m_groupBox3->hide();
    m_help->show();
}

void Frm_Test::itemChange()
{
    if (m_text6->text().isEmpty()) {
        m_lblQU->clear();
        m_text6->setText(QStringLiteral("1"));
    }
    if (AnswerEntry::ItemNumber(m_text6->text()) > 40) {
        Dialogs::ShowTimedMessage(this, CaptureText::End());
        m_text6->setText(QStringLiteral("40"));
    }
    if (AnswerEntry::ItemNumber(m_text6->text()) < 0) {
        Dialogs::ShowTimedMessage(this, CaptureText::Start());
        m_text6->setText(QStringLiteral("1"));
    }
    if (AnswerEntry::ItemNumber(m_text6->text()) == 0)
        return;

    const QString n = m_text6->text();
    Bound::Unbind(m_text12);
    // The answers are read from the file once, when the screen loads; after
    // that only this screen writes the row (the main window waits), and every
    // move has committed it, so the rows in hand are the file's. Reading the
    // whole table again on every move costs a noticeable pause with many
    // examinees.
    if (!m_adodc2->IsOpen() || m_adodc2->ColumnCount() == 0)
        m_adodc2->Open(AnswerSource, CaptureDb::ConnectionText());
    Bound::Bind(m_text12, m_adodc2, n);
    m_adodc2->Filter(codeFilter(m_fltEditCode->text()));
    m_groupBox1->show();
    showStoredAnswer();
    m_groupBox1->setTitle(n);
    m_adodc1->Filter(codeFilter(n));
    copyOptionCaptions();
}

void Frm_Test::showStoredAnswer()
{
    const int option = AnswerEntry::OptionOf(m_text12->text());
    if (option == AnswerEntry::kLeaveOptions)
        return;
    // Radio buttons that exclude each other cannot all be cleared; lift that
    // for the moment.
    for (QRadioButton *b : m_option)
        b->setAutoExclusive(false);
    for (int i = 0; i < 3; ++i)
        m_option[i]->setChecked(i == option);
    for (QRadioButton *b : m_option)
        b->setAutoExclusive(true);
}

void Frm_Test::copyOptionCaptions()
{
    for (int i = 0; i < 3; ++i)
        m_option[i]->setText(m_lblQ[i]->text());
}

void Frm_Test::choose(int option)
{
    m_text12->setText(QString::number(option));
}

bool Frm_Test::commit()
{
    if (m_adodc2->RecordCount() == 0)
        return true; // no answer row: nothing was taken
    if (m_adodc2->Update())
        return true;
    Dialogs::Message(this, CaptureText::Error(), CaptureText::SaveFailed() + QLatin1Char('\n') + m_adodc2->PersianError(),
                     QMessageBox::Critical);
    return false;
}

bool Frm_Test::move(int step)
{
    // A failed write keeps the item and its chosen option on screen.
    if (!commit())
        return false;
    m_text6->setText(QString::number(AnswerEntry::ItemNumber(m_text6->text()) + step));
    copyOptionCaptions();
    return true;
}

bool Frm_Test::Next() { return move(1); }
bool Frm_Test::Back() { return move(-1); }

void Frm_Test::closeEvent(QCloseEvent *event)
{
    if (!commit()) {
        const auto answer = Dialogs::Message(this, CaptureText::Error(), CaptureText::CloseAnyway(),
                                             QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    EnableMainWindow(true);
    QWidget::closeEvent(event);
}
