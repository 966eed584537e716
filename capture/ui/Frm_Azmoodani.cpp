#include "capture/ui/Frm_Azmoodani.h"

#include "capture/CaptureTexts.h"
#include "capture/Connection.h"
#include "capture/Registry.h"
#include "capture/ui/Frm_Test.h"
#include "common/ModuleDatum.h"
#include "common/ui/Dialogs.h"
#include "common/ui/DigitKeys.h"
#include "common/ui/HiddenField.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/Placement.h"
#include "common/ui/Twips.h"
#include "store/DataControl.h"
#include "store/Examinees.h"
#include "store/ui/BoundGrid.h"
#include "store/ui/BoundWidgets.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString ListSource = QStringLiteral(
    "select id,FullName,Alter,Geschlecht,Heirat,Datum1,Bildung,TelNummer1,Tester,Code  from IDE order by id desc ");
const QString AnswerSource = QStringLiteral("SELECT * FROM Answer1 ");

enum Button { BtnNew, BtnEdit, BtnSave, BtnCancel, BtnDelete, BtnExit };

// The detail fields' columns; the code field (2) follows the list instead.
const char *const FieldColumn[7] = {"FullName", "Alter", nullptr, "Bildung", "TelNummer1", "Tester", "Datum1"};

QPointer<Frm_Azmoodani> &instance()
{
    static QPointer<Frm_Azmoodani> w;
    return w;
}

// A list shows the text of its hidden field as its choice, or no choice.
void mirror(QComboBox *list, const QString &text)
{
    list->setCurrentIndex(text.isEmpty() ? -1 : list->findText(text));
}

} // namespace

Frm_Azmoodani::Frm_Azmoodani(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Frm_Azmoodani"));
    setAttribute(Qt::WA_DeleteOnClose);
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QString::fromUtf8("ثبت آزمودني"));
    if (!instance())
        instance() = this;

    for (int i = 0; i < 4; ++i) {
        m_adodc[i] = new DataControl(this);
        m_adodc[i]->setObjectName(QStringLiteral("Adodc%1").arg(i + 1));
    }
    buildUi();

    // Load: open the controls, lock, disable the main window, show the newest.
    const QString conn = CaptureDb::ConnectionText();
    m_adodc[0]->Open(ListSource, conn);
    m_adodc[1]->Open(AnswerSource, conn);
    m_adodc[2]->Open(AnswerSource, conn);
    m_adodc[3]->Open(ListSource, conn);
    lockFields(true);
    EnableMainWindow(false);
    m_adodc[0]->Refresh();
    setListHeadings();
}

Frm_Azmoodani::~Frm_Azmoodani() = default;

Frm_Azmoodani *Frm_Azmoodani::Open()
{
    Frm_Azmoodani *w = instance();
    if (!w)
        w = new Frm_Azmoodani();
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

Frm_Azmoodani *Frm_Azmoodani::Instance() { return instance(); }

DataControl *Frm_Azmoodani::Adodc(int n) const { return n >= 1 && n <= 4 ? m_adodc[n - 1] : nullptr; }
QLineEdit *Frm_Azmoodani::TxtAnmeldung(int i) const { return i >= 0 && i < 7 ? m_txt[i] : nullptr; }
QPushButton *Frm_Azmoodani::PushButton6(int i) const { return i >= 0 && i < 6 ? m_button[i] : nullptr; }

void Frm_Azmoodani::buildUi()
{
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    // The side picture runs the full height of the form.
    m_picture1 = new QWidget(this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setFixedWidth(TwipsToPixelsX(this, 1440));
    m_picture1->setAutoFillBackground(true);
    m_picture1->setStyleSheet(QStringLiteral(
        "#Picture1 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #5b7fb5, stop:1 #b9cbe6); }"));
    outer->addWidget(m_picture1);

    auto *main = new QVBoxLayout;
    main->setContentsMargins(9, 9, 9, 9);
    outer->addLayout(main, 1);

    buildFields();
    buildChoices();
    main->addLayout(buildDetails());
    main->addLayout(buildButtons());
    buildList();
    main->addWidget(m_grid, 1);
    buildTimers();

    resize(TwipsToPixelsX(this, 14400), TwipsToPixelsY(this, 7800));
    Placement::Arrange(this);
}

// TxtAnmeldung(0-6), bound to the list's current examinee but for the code.
void Frm_Azmoodani::buildFields()
{
    for (int i = 0; i < 7; ++i) {
        m_txt[i] = new QLineEdit(this);
        m_txt[i]->setObjectName(QStringLiteral("TxtAnmeldung(%1)").arg(i));
    }
    m_txt[1]->setMaxLength(2);
    m_txt[1]->setAlignment(Qt::AlignCenter);
    m_txt[2]->hide();
    // Digits only; Backspace still takes a typo back.
    for (int i : {1, 4, 6})
        DigitKeys::Install(m_txt[i], QStringLiteral("0123456789"))->SetBackspace(true);
    for (int i = 0; i < 7; ++i)
        if (FieldColumn[i])
            Bound::Bind(m_txt[i], m_adodc[0], QLatin1String(FieldColumn[i]));

    // The code of the list's current examinee. It only follows the list: a
    // code put here for a new examinee must not change the list's rows.
    connect(m_adodc[3], &DataControl::reset, this, &Frm_Azmoodani::showListCode);
    connect(m_adodc[3], &DataControl::currentChanged, this, &Frm_Azmoodani::showListCode);
}

// The gender and marital lists, each with the hidden field that is bound to
// its column and that it mirrors.
void Frm_Azmoodani::buildChoices()
{
    m_combo1 = new QComboBox(this);
    m_combo1->setObjectName(QStringLiteral("ComboBox1"));
    m_combo1->addItems({CaptureText::Male(), CaptureText::Female()});
    m_combo1->setPlaceholderText(CaptureText::GenderPrompt());
    m_combo1->setCurrentIndex(-1);
    m_combo2 = new QComboBox(this);
    m_combo2->setObjectName(QStringLiteral("ComboBox2"));
    m_combo2->addItems({CaptureText::Single(), CaptureText::Married(), CaptureText::Divorced(),
                        CaptureText::Widowed()});
    m_combo2->setPlaceholderText(CaptureText::MaritalPrompt());
    m_combo2->setCurrentIndex(-1);

    m_feGeschlecht = HiddenField(this, "FEditGeschlecht");
    m_feHeirat = HiddenField(this, "FEditHeirat");
    connect(m_combo1, &QComboBox::textActivated, m_feGeschlecht, &QLineEdit::setText);
    connect(m_combo2, &QComboBox::textActivated, m_feHeirat, &QLineEdit::setText);
    connect(m_feGeschlecht, &QLineEdit::textChanged, this, [this](const QString &t) { mirror(m_combo1, t); });
    connect(m_feHeirat, &QLineEdit::textChanged, this, [this](const QString &t) { mirror(m_combo2, t); });
    Bound::Bind(m_feGeschlecht, m_adodc[0], QStringLiteral("Geschlecht"));
    Bound::Bind(m_feHeirat, m_adodc[0], QStringLiteral("Heirat"));
}

// Label1-8 beside their fields, in two columns of label and field.
QGridLayout *Frm_Azmoodani::buildDetails()
{
    auto *details = new QGridLayout;
    const QString captions[9] = {CaptureText::LblName(),      CaptureText::LblAge(),    CaptureText::LblGender(),
                                 CaptureText::LblMarital(),   CaptureText::LblEducation(),
                                 CaptureText::LblTelephone(), CaptureText::LblTester(), CaptureText::LblDate(),
                                 QString()};
    QWidget *widgets[8] = {m_txt[0], m_txt[1], m_combo1, m_combo2, m_txt[3], m_txt[4], m_txt[5], m_txt[6]};
    for (int i = 0; i < 8; ++i) {
        m_lbl[i] = new QLabel(captions[i], this);
        m_lbl[i]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        m_lbl[i]->setBuddy(widgets[i]);
        // In right-to-left the first column is on the right.
        const int row = i % 4, col = (i / 4) * 2;
        details->addWidget(m_lbl[i], row, col);
        details->addWidget(widgets[i], row, col + 1);
    }
    details->setColumnStretch(1, 1);
    details->setColumnStretch(3, 1);
    return details;
}

// PushButton6(0-5): new, edit, save, cancel, delete, exit.
QHBoxLayout *Frm_Azmoodani::buildButtons()
{
    auto *buttons = new QHBoxLayout;
    const QString texts[6] = {CaptureText::BtnNew(),    CaptureText::BtnEdit(),   CaptureText::BtnSave(),
                              CaptureText::BtnCancel(), CaptureText::BtnDelete(), CaptureText::BtnExit()};
    for (int i = 0; i < 6; ++i) {
        m_button[i] = new QPushButton(texts[i], this);
        m_button[i]->setObjectName(QStringLiteral("PushButton6(%1)").arg(i));
        buttons->addWidget(m_button[i]);
    }
    connect(m_button[BtnNew], &QPushButton::clicked, this, &Frm_Azmoodani::New);
    connect(m_button[BtnEdit], &QPushButton::clicked, this, &Frm_Azmoodani::Edit);
    connect(m_button[BtnSave], &QPushButton::clicked, this, [this] { Save(); });
    connect(m_button[BtnCancel], &QPushButton::clicked, this, &Frm_Azmoodani::Cancel);
    connect(m_button[BtnDelete], &QPushButton::clicked, this, &Frm_Azmoodani::Delete);
    connect(m_button[BtnExit], &QPushButton::clicked, this, &Frm_Azmoodani::Exit);
    enableButtons({BtnSave, BtnCancel}, false);
    return buttons;
}

// VSFlexGrid1 on Adodc4: a click shows that examinee, a double-click starts
// the test.
void Frm_Azmoodani::buildList()
{
    m_grid = new BoundGrid(this);
    m_grid->setObjectName(QStringLiteral("VSFlexGrid1"));
    m_grid->SetDataControl(m_adodc[3]);
    m_grid->setToolTip(CaptureText::ListToolTip());
    m_grid->ColHidden(0, true);
    m_grid->ColHidden(10, true); // Code
    const int widths[] = {0, 600, 2600, 600, 800, 900, 1300, 1500, 1600, 1800};
    for (int c = 1; c <= 9; ++c)
        m_grid->ColWidth(c, widths[c]);
    connect(m_grid, &BoundGrid::rowClicked, this, &Frm_Azmoodani::onListClicked);
    connect(m_grid, &BoundGrid::rowDoubleClicked, this, &Frm_Azmoodani::StartTest);
}

void Frm_Azmoodani::buildTimers()
{
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setSingleShot(true);
    m_timer1->setInterval(3000);
    connect(m_timer1, &QTimer::timeout, this, &Frm_Azmoodani::onTimer1);
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setSingleShot(true);
    m_timer2->setInterval(3000);
    connect(m_timer2, &QTimer::timeout, this, &Frm_Azmoodani::onTimer2);
}

void Frm_Azmoodani::showListCode()
{
    m_txt[2]->setText(m_adodc[3]->Value(QStringLiteral("Code")));
}

void Frm_Azmoodani::lockFields(bool locked)
{
    for (int i = 0; i <= 5; ++i)
        m_txt[i]->setReadOnly(locked);
    m_combo1->setEnabled(!locked);
    m_combo2->setEnabled(!locked);
    m_grid->setEnabled(locked);
    setListHeadings();
}

void Frm_Azmoodani::setListHeadings()
{
    const QString headings[11] = {QStringLiteral("#"),           QString(),
                                  CaptureText::HeadName(),       CaptureText::HeadAge(),
                                  CaptureText::HeadGender(),     CaptureText::HeadMarital(),
                                  CaptureText::HeadDate(),       CaptureText::HeadEducation(),
                                  CaptureText::HeadTelephone(),  CaptureText::HeadTester(),
                                  QStringLiteral("Code")};
    for (int c = 0; c < 11 && c < m_grid->Cols(); ++c)
        m_grid->SetTextMatrix(0, c, headings[c]);
}

void Frm_Azmoodani::enableButtons(std::initializer_list<int> buttons, bool enabled)
{
    for (int b : buttons)
        m_button[b]->setEnabled(enabled);
}

void Frm_Azmoodani::reportFailure(const QString &lead, const QString &reason)
{
    Dialogs::Message(this, CaptureText::Error(), lead + QLatin1Char('\n') + reason, QMessageBox::Critical);
}

void Frm_Azmoodani::onListClicked()
{
    m_adodc[0]->Filter(QStringLiteral("code='") + m_txt[2]->text() + QLatin1Char('\''));
}

void Frm_Azmoodani::New()
{
    enableButtons({BtnNew, BtnEdit, BtnSave, BtnCancel, BtnDelete}, false);
    m_adodc[0]->AddNew();
    lockFields(false);
    m_txt[0]->setFocus();
    m_timer1->start();
}

void Frm_Azmoodani::onTimer1()
{
    m_timer1->stop();
    m_adodc[2]->SetConnectionString(CaptureDb::ConnectionText());
    const QString code = Examinees::NextCode(*m_adodc[2]);
    if (code.isEmpty()) {
        // Without a code the examinee cannot be saved; only Cancel leads on.
        reportFailure(CaptureText::CodeFailed(), m_adodc[2]->PersianError());
        enableButtons({BtnCancel}, true);
        return;
    }
    m_txt[2]->setText(code);
    m_txt[6]->setText(SolarDateText(QDate::currentDate(), 0));
    enableButtons({BtnSave, BtnCancel}, true);
}

void Frm_Azmoodani::Edit()
{
    enableButtons({BtnNew, BtnEdit, BtnSave, BtnCancel, BtnDelete}, false);
    lockFields(false);
    enableButtons({BtnNew, BtnEdit, BtnSave, BtnCancel}, true);
}

bool Frm_Azmoodani::Save()
{
    bool before[5];
    for (int b = 0; b < 5; ++b)
        before[b] = m_button[b]->isEnabled();
    auto stay = [&] {
        for (int b = 0; b < 5; ++b)
            m_button[b]->setEnabled(before[b]);
        return false;
    };
    enableButtons({BtnNew, BtnEdit, BtnSave, BtnCancel, BtnDelete}, false);

    const Registry::Missing missing =
        Registry::FirstMissing(m_txt[0]->text(), m_txt[1]->text(), m_feGeschlecht->text());
    if (missing != Registry::Missing::None) {
        Dialogs::ShowTimedMessage(this, Registry::MissingMessage(missing));
        switch (missing) {
        case Registry::Missing::Name:
            m_txt[0]->setFocus();
            break;
        case Registry::Missing::Age:
            m_txt[1]->setFocus();
            break;
        default:
            m_combo1->setFocus();
            break;
        }
        return stay();
    }

    Registry::Entry e;
    e.code = m_txt[2]->text();
    e.fullName = m_txt[0]->text();
    e.age = m_txt[1]->text();
    e.gender = m_feGeschlecht->text();
    e.marital = m_feHeirat->text();
    e.date = m_txt[6]->text();
    e.education = m_txt[3]->text();
    e.telephone = m_txt[4]->text();
    e.tester = m_txt[5]->text();
    const bool wasNew = m_adodc[0]->IsNewRow();
    QString why, stored;
    if (!Registry::Save(*m_adodc[0], *m_adodc[2], e, &why, &stored)) {
        // What was typed stays on screen, in the same mode, to be saved again.
        reportFailure(CaptureText::SaveFailed(), why);
        return stay();
    }

    m_adodc[0]->Refresh();
    lockFields(true);
    m_adodc[0]->Refresh();
    m_adodc[2]->Refresh();
    m_adodc[3]->Refresh();
    setListHeadings();
    enableButtons({BtnNew, BtnEdit, BtnDelete}, true);
    // Save is disabled now and would hand the focus on to the next button,
    // Exit, where the next Enter closes the screen; the list shows the saved
    // examinee.
    m_grid->setFocus();
    if (wasNew)
        showSaved(stored);
    if (stored != e.code.trimmed())
        Dialogs::Message(this, CaptureText::Attention(), CaptureText::CodeChanged(e.code.trimmed(), stored),
                         QMessageBox::Information);
    return true;
}

void Frm_Azmoodani::showSaved(const QString &code)
{
    // A new examinee is normally the newest one; another program window may
    // have saved one since, and then the list moves to this one as a click on
    // its line would.
    DataControl *list = m_adodc[3];
    if (list->Value(QStringLiteral("Code")) == code)
        return;
    const int column = list->ColumnIndex(QStringLiteral("Code"));
    for (int row = 0; row < list->RecordCount(); ++row) {
        if (list->ValueAt(row, column) == code) {
            list->SetCurrentRow(row);
            onListClicked();
            return;
        }
    }
}

void Frm_Azmoodani::Cancel()
{
    m_timer1->stop();
    enableButtons({BtnNew, BtnEdit, BtnSave, BtnCancel, BtnDelete}, false);
    enableButtons({BtnNew, BtnEdit, BtnDelete}, true);
    m_adodc[0]->Refresh();
    m_adodc[2]->Refresh();
    m_adodc[3]->Refresh();
    setListHeadings();
    lockFields(true);
}

void Frm_Azmoodani::Delete()
{
    enableButtons({BtnNew, BtnEdit, BtnSave, BtnCancel, BtnDelete}, false);
    m_timer2->start();
}

void Frm_Azmoodani::onTimer2()
{
    m_timer2->stop();
    enableButtons({BtnNew, BtnEdit, BtnDelete}, true);
    const QMessageBox::StandardButton answer =
        Dialogs::Message(this, m_txt[0]->text(), CaptureText::ConfirmDelete(), QMessageBox::Question,
                         QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        const QString code = m_txt[2]->text();
        // With no examinee current there is nothing to delete and nothing to report.
        if (!code.isEmpty()) {
            m_adodc[1]->SetConnectionString(CaptureDb::ConnectionText());
            if (Examinees::DeleteExaminee(*m_adodc[1], code)) {
                m_adodc[0]->Refresh();
                m_adodc[2]->Refresh();
                m_adodc[1]->Refresh();
                Dialogs::ShowTimedMessage(this, CaptureText::Deleted());
            } else {
                reportFailure(CaptureText::DeleteFailed(), m_adodc[1]->PersianError());
            }
        }
    }
    m_adodc[2]->Refresh();
    // The scratch control may have been left on IDE by a failed deletion.
    m_adodc[1]->Open(AnswerSource);
    m_adodc[0]->Refresh();
    m_adodc[3]->Refresh();
    setListHeadings();
}

void Frm_Azmoodani::Exit()
{
    m_adodc[0]->Refresh();
    m_adodc[1]->Refresh();
    m_adodc[2]->Refresh();
    close();
}

void Frm_Azmoodani::StartTest()
{
    auto *test = new Frm_Test();
    test->SetExaminee(CaptureText::LblName() + QLatin1Char(' ') + m_txt[0]->text(), m_txt[2]->text());
    m_test = test;
    test->show();
    hide();
}

void Frm_Azmoodani::showEvent(QShowEvent *event)
{
    // Shown again by the menu after the test: the main window waits again.
    EnableMainWindow(false);
    QWidget::showEvent(event);
}

void Frm_Azmoodani::closeEvent(QCloseEvent *event)
{
    // A pending New or Delete ends with the screen.
    m_timer1->stop();
    m_timer2->stop();
    EnableMainWindow(true);
    QWidget::closeEvent(event);
}
