#include "capture/ui/Frm_Pasoch.h"

#include "capture/CaptureTexts.h"
#include "capture/Connection.h"
#include "common/ui/Buttons.h"
#include "common/ui/Dialogs.h"
#include "common/ui/DigitKeys.h"
#include "common/ui/HelpPanel.h"
#include "common/ui/HiddenField.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/Placement.h"
#include "common/ui/Twips.h"
#include "store/DataControl.h"
#include "store/Examinees.h"
#include "store/ui/BoundGrid.h"
#include "store/ui/BoundWidgets.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kListSource = QStringLiteral("select id,FullName,Alter,Code  from IDE order by id desc ");
const QString kAnswerSource = QStringLiteral("SELECT * FROM Answer1 ");

QPointer<Frm_Pasoch> &instance()
{
    static QPointer<Frm_Pasoch> w;
    return w;
}

} // namespace

Frm_Pasoch::Frm_Pasoch(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Frm_Pasoch"));
    setAttribute(Qt::WA_DeleteOnClose);
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QString::fromUtf8("ورود پاسخنامه"));
    if (!instance())
        instance() = this;

    m_adodc1 = new DataControl(this);
    m_adodc1->setObjectName(QStringLiteral("Adodc1"));
    m_adodc2 = new DataControl(this);
    m_adodc2->setObjectName(QStringLiteral("Adodc2"));
    buildUi();

    const QString conn = CaptureDb::ConnectionText();
    m_adodc1->Open(kListSource, conn);
    m_adodc2->Open(kAnswerSource, conn);
    EnableMainWindow(false);
    setUpList();
    Placement::Arrange(this);
}

Frm_Pasoch::~Frm_Pasoch() = default;

Frm_Pasoch *Frm_Pasoch::Open()
{
    Frm_Pasoch *w = instance();
    if (!w)
        w = new Frm_Pasoch();
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

QString Frm_Pasoch::HelpText() { return CaptureText::SheetHelp(); }

void Frm_Pasoch::buildUi()
{
    setFixedSize(TwipsToPixelsX(this, 9000), TwipsToPixelsY(this, 5700));

    m_text4 = HiddenField(this, "Text4");
    m_flatEdit4 = HiddenField(this, "FlatEdit4");

    m_grid = new BoundGrid(this);
    m_grid->setObjectName(QStringLiteral("VSFlexGrid1"));
    m_grid->SetDataControl(m_adodc1);
    PlaceTwips(m_grid, 5130, 180, 3690, 4455);
    Bound::Bind(m_text4, m_adodc1, QStringLiteral("Code"));
    connect(m_grid, &BoundGrid::rowDoubleClicked, this, &Frm_Pasoch::ChooseExaminee);

    m_groupBox1 = new QGroupBox(this);
    m_groupBox1->setObjectName(QStringLiteral("GroupBox1"));
    UntitledPanel(m_groupBox1);
    PlaceTwips(m_groupBox1, 495, 180, 4215, 4455);
    // Four columns of ten; in right-to-left reading items 1-10 stand on the right.
    for (int k = 0; k < 40; ++k) {
        const int column = k / 10, row = k % 10;
        const int right = 4215 - 120 - column * 1020;
        const int top = 330 + row * 360;
        m_label[k] = new QLabel(QString::number(k + 1), m_groupBox1);
        m_label[k]->setObjectName(QStringLiteral("Label1(%1)").arg(k));
        m_label[k]->setAttribute(Qt::WA_TranslucentBackground);
        m_label[k]->setAlignment(Qt::AlignCenter);
        PlaceTwips(m_label[k], right - 420, top, 420, 330);
        m_slot[k] = new QLineEdit(m_groupBox1);
        m_slot[k]->setObjectName(QStringLiteral("FlatEdit1(%1)").arg(k));
        m_slot[k]->setMaxLength(1);
        m_slot[k]->setAlignment(Qt::AlignCenter);
        PlaceTwips(m_slot[k], right - 420 - 60 - 375, top, 375, 330);
        Bound::Bind(m_slot[k], m_adodc2, QString::number(k + 1));
        DigitKeys::Filter *f = DigitKeys::Install(m_slot[k], AnswerEntry::AcceptedKeys());
        f->SetReplaceWhole(true);
        connect(f, &DigitKeys::Filter::keyPressed, this, &Frm_Pasoch::onSlotKey);
        connect(m_slot[k], &QLineEdit::textEdited, this, [this, k] { onSlotEdited(k); });
    }
    m_groupBox1->hide();

    m_save = NamedButton(this, CaptureText::BtnSave(), "PushB1(1)", {7620, 4860, 1200, 450});
    m_save->setEnabled(false);
    connect(m_save, &QPushButton::clicked, this, &Frm_Pasoch::SaveButton);
    m_exit = NamedButton(this, CaptureText::BtnExit(), "PushB1(0)", {495, 4860, 1200, 450});
    connect(m_exit, &QPushButton::clicked, this, &QWidget::close);
    m_help = NamedButton(this, CaptureText::BtnHelp(), "PushButton1", {6300, 4860, 1200, 450});

    // The help lies beside the list and ends above the buttons, so the list
    // and every button stay in reach while it is read.
    m_groupBox4 = new HelpPanel(CaptureText::Help(), HelpText(), CaptureText::BtnClose(), this);
    m_groupBox4->SetNames("GroupBox4", "TxtHelp", "PushButton2");
    m_groupBox4->SetPlace(90, 900, 4935, 3870);
    connect(m_help, &QPushButton::clicked, m_groupBox4, &HelpPanel::Show);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setSingleShot(true);
    m_timer1->setInterval(2000);
    connect(m_timer1, &QTimer::timeout, this, &Frm_Pasoch::onTimer1);
}

void Frm_Pasoch::setUpList()
{
    m_grid->HeadColumns(Examinees::ColumnHeading);
    m_grid->ColHidden(0, true);
    m_grid->ColHidden(3, true); // Alter
    m_grid->ColHidden(4, true); // Code
    m_grid->ColWidth(1, 700);   // id: narrow, so the names show whole
    m_grid->ColWidth(2, 2800);  // FullName
}

void Frm_Pasoch::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        setUpList();
    QWidget::changeEvent(event);
}

void Frm_Pasoch::reportWriteFailure()
{
    Dialogs::Message(this, CaptureText::Error(), CaptureText::SaveFailed() + QLatin1Char('\n') + m_adodc2->PersianError(),
                     QMessageBox::Critical);
}

bool Frm_Pasoch::writePending()
{
    if (m_shownCode.isEmpty() || m_adodc2->CurrentRow() < 0)
        return true;
    if (m_adodc2->Update())
        return true;
    reportWriteFailure();
    return false;
}

void Frm_Pasoch::ChooseExaminee()
{
    // The answers typed for the examinee on screen are written before another
    // one is taken; if that fails they stay on screen.
    if (!writePending())
        return;
    m_groupBox1->hide();
    m_timer1->start();
}

void Frm_Pasoch::onTimer1()
{
    m_timer1->stop();
    const QString code = m_text4->text();
    m_adodc2->Refresh();
    m_adodc2->Filter(QStringLiteral("code='") + code + QLatin1Char('\''));
    if (m_adodc2->RecordCount() == 0) {
        // Answers typed here would go nowhere.
        m_shownCode.clear();
        m_save->setEnabled(false);
        Dialogs::Message(this, CaptureText::Attention(), CaptureText::NoAnswerRow(), QMessageBox::Warning);
        return;
    }
    m_shownCode = code;
    m_save->setEnabled(true);
    m_groupBox1->show();
    m_slot[0]->setFocus();
}

void Frm_Pasoch::onSlotEdited(int k)
{
    if (k + 1 >= 40)
        return;
    m_groupBox1->show();
    QLineEdit *next = m_slot[k + 1];
    next->setFocus();
    next->setSelection(0, int(next->text().size()));
}

void Frm_Pasoch::onSlotKey()
{
    const bool tenth = m_keys.Count();
    m_flatEdit4->setText(QString::number(m_keys.Value()));
    if (tenth)
        writePending();
}

bool Frm_Pasoch::Saveee()
{
    if (m_shownCode.isEmpty())
        return false;
    if (!writePending())
        return false;
    // Read back the examinee whose answers were written, so the saved row
    // stays on screen.
    m_adodc2->Refresh();
    m_adodc2->Filter(QStringLiteral("code='") + m_shownCode + QLatin1Char('\''));
    return true;
}

void Frm_Pasoch::SaveButton()
{
    if (Saveee())
        Dialogs::ShowTimedMessage(this, CaptureText::Saved());
}

void Frm_Pasoch::closeEvent(QCloseEvent *event)
{
    m_timer1->stop();
    if (!writePending()) {
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
