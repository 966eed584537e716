#include "results/ui/Frm_Ergebnis.h"

#include "common/ui/Buttons.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Fonts.h"
#include "common/ui/HelpPanel.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/Placement.h"
#include "common/ui/Twips.h"
#include "results/ProfileSource.h"
#include "results/ResultScoring.h"
#include "results/ui/ErgebnisTexts.h"
#include "results/ui/Frm_Excel.h"
#include "results/ui/fast_Form2.h"
#include "scoring/Mohasebeh.h"
#include "store/DataControl.h"
#include "store/Examinees.h"
#include "store/ui/BoundGrid.h"
#include "store/ui/BoundWidgets.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace {

// Geometry in twips, measured from the form's left edge as the screen was
// drawn: the result table on the left, the list of examinees on the right.
constexpr int FormWidth = 11055;
constexpr int FormHeight = 5025;
constexpr int TableLeft = 585;
constexpr int TableTop = 105;
constexpr int RowHeight = 435;
constexpr int StenWidth = 1140;    // left column
constexpr int RawWidth = 1140;     // middle column
constexpr int CaptionWidth = 3900; // right column; the table is as wide as the help panel
constexpr int TableWidth = StenWidth + RawWidth + CaptionWidth;
constexpr int TableHeight = 9 * RowHeight; // header row and eight scales
constexpr int ListLeft = TableLeft + TableWidth + 180;
constexpr int ListWidth = 3765;
constexpr int ButtonTop = TableTop + TableHeight + 255;
constexpr int ButtonHeight = 495;

// The help panel lies over the result table, starting on a row border and
// ending above the buttons, so exit and the list stay in reach.
constexpr int HelpLeft = 585, HelpTop = TableTop + 2 * RowHeight, HelpWidth = 6180, HelpHeight = 3075;

const char *const BandStyle = "background-color: rgba(64, 105, 160, 38); border: none;";
const char *const HeaderBandStyle = "background-color: rgba(64, 105, 160, 70); border: none;";
const char *const TableFrameStyle = "background: transparent; border: 1px solid rgb(120, 142, 175);";

// The list's columns: 0 row header, 1 id, 2 FullName, 3 Alter, 4 Code,
// 5 Geschlecht, 6 Heirat, 7 Bildung.
constexpr int ColId = 1, ColName = 2;

// The font, made smaller in half points until the text fits the width: the
// fallback faces are wider than the clinic's own.
QFont fitted(QFont font, const QString &text, int width)
{
    while (font.pointSizeF() > 7.5 && QFontMetrics(font).horizontalAdvance(text) > width)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    return font;
}

} // namespace

Frm_Ergebnis::Frm_Ergebnis(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Frm_Ergebnis"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(ErgebnisText::WindowTitle());
    setFont(Fonts::Persian(11));

    m_adodc1 = new DataControl(this);
    m_adodc1->setObjectName(QStringLiteral("Adodc1"));
    buildUi();

    // 1. All examinees, newest first, read once. A database that cannot be
    // read leaves the list empty; the screen shows no message of its own.
    m_adodc1->Open(ResultScoring::ExamineeListSource());
    // 2. The list's columns. 3. The help panel was placed by buildUi.
    setUpList();
    Placement::Arrange(this);
}

Frm_Ergebnis::~Frm_Ergebnis() = default;

void Frm_Ergebnis::ShowModal(QWidget *parent, SettingsReader settings)
{
    QPointer<Frm_Ergebnis> screen = new Frm_Ergebnis(parent);
    screen->SetSettingsReader(std::move(settings));
    screen->setModal(true);
    screen->exec();
    delete screen.data();
}

QLabel *Frm_Ergebnis::LblKH(int row) const
{
    return row >= 0 && row < 8 ? m_lblKH[std::size_t(row)] : nullptr;
}

QLabel *Frm_Ergebnis::LblT(int row) const
{
    return row >= 0 && row < 8 ? m_lblT[std::size_t(row)] : nullptr;
}

QString Frm_Ergebnis::HelpText() { return ErgebnisText::Help(); }

void Frm_Ergebnis::buildUi()
{
    setFixedSize(TwipsToPixelsX(this, FormWidth), TwipsToPixelsY(this, FormHeight));

    auto hiddenField = [this](const char *name) {
        auto *f = new QLineEdit(this);
        f->setObjectName(QLatin1String(name));
        f->hide();
        return f;
    };
    m_flatEdit1 = hiddenField("FlatEdit1");
    m_flatEdit2 = hiddenField("FlatEdit2");
    m_flatEdit3 = hiddenField("FlatEdit3");
    m_feGeschlecht = hiddenField("FEGeschlecht");
    m_flatEdit5 = hiddenField("FlatEdit5");
    m_flatEdit4 = hiddenField("FlatEdit4");
    m_txtid = hiddenField("Txtid");
    Bound::Bind(m_flatEdit1, m_adodc1, QStringLiteral("Code"));
    Bound::Bind(m_flatEdit2, m_adodc1, QStringLiteral("FullName"));
    Bound::Bind(m_flatEdit3, m_adodc1, QStringLiteral("Alter"));
    Bound::Bind(m_feGeschlecht, m_adodc1, QStringLiteral("Geschlecht"));
    Bound::Bind(m_flatEdit5, m_adodc1, QStringLiteral("Heirat"));
    Bound::Bind(m_flatEdit4, m_adodc1, QStringLiteral("Bildung"));

    // The result table. Static frames first, so the captions lie on them:
    // the header row and rows 1, 3, 5 and 7 on shaded bands, the raw-score
    // column on a shaded vertical band.
    auto shape = [&](const QString &name, const char *style, int left, int top, int width, int height) {
        auto *f = new QFrame(this);
        f->setObjectName(name);
        f->setStyleSheet(QLatin1String(style));
        f->setAttribute(Qt::WA_StyledBackground);
        f->setAttribute(Qt::WA_TransparentForMouseEvents);
        PlaceTwips(f, left, top, width, height);
        return f;
    };
    shape(QStringLiteral("ShapeBand(0)"), HeaderBandStyle, TableLeft, TableTop, TableWidth, RowHeight);
    for (int i = 0; i < 4; ++i) {
        const int row = 2 * i + 1;
        shape(QStringLiteral("ShapeBand(%1)").arg(i + 1), BandStyle, TableLeft, TableTop + (row + 1) * RowHeight,
              TableWidth, RowHeight);
    }
    shape(QStringLiteral("ShapeRaw"), BandStyle, TableLeft + StenWidth, TableTop, RawWidth, TableHeight);
    shape(QStringLiteral("ShapeTable"), TableFrameStyle, TableLeft, TableTop, TableWidth, TableHeight);

    const int captionLeft = TableLeft + StenWidth + RawWidth;
    const int rawLeft = TableLeft + StenWidth;
    auto cell = [&](const QString &name, const QString &text, int left, int top, int width, Qt::Alignment align,
                    const QFont &font) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        l->setFont(fitted(font, text, TwipsToPixelsX(this, width) - 6));
        l->setAlignment(align);
        l->setAttribute(Qt::WA_TranslucentBackground);
        l->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
        PlaceTwips(l, left, top, width, RowHeight);
        return l;
    };
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter;
    const QFont headerFont = Fonts::Persian(11, true);
    cell(QStringLiteral("LblHeader(0)"), ErgebnisText::FactorsHeader(), captionLeft, TableTop, CaptionWidth - 120,
         right, headerFont);
    cell(QStringLiteral("LblHeader(1)"), ErgebnisText::RawHeader(), rawLeft, TableTop, RawWidth, Qt::AlignCenter,
         headerFont);
    cell(QStringLiteral("LblHeader(2)"), ErgebnisText::StenHeader(), TableLeft, TableTop, StenWidth,
         Qt::AlignCenter, headerFont);
    const QFont captionFont = Fonts::Persian(10.5);
    const QFont numberFont = Fonts::Persian(12, true);
    for (int r = 0; r < 8; ++r) {
        const int top = TableTop + (r + 1) * RowHeight;
        cell(QStringLiteral("LblScale(%1)").arg(r), Mohasebeh::ScaleCaption(r), captionLeft, top,
             CaptionWidth - 120, right, captionFont);
        m_lblKH[std::size_t(r)] = cell(QStringLiteral("LblKH(%1)").arg(r), QStringLiteral("0"), rawLeft, top,
                                       RawWidth, Qt::AlignCenter, numberFont);
        m_lblT[std::size_t(r)] = cell(QStringLiteral("LblT(%1)").arg(r), QStringLiteral("0"), TableLeft, top,
                                      StenWidth, Qt::AlignCenter, numberFont);
    }

    m_grid = new BoundGrid(this);
    m_grid->setObjectName(QStringLiteral("VSFlexGrid1"));
    m_grid->SetDataControl(m_adodc1);
    PlaceTwips(m_grid, ListLeft, TableTop, ListWidth, TableHeight);
    connect(m_grid, &BoundGrid::rowDoubleClicked, this, &Frm_Ergebnis::ScoreCurrentExaminee);

    auto button = [&](const char *name, const QString &text, int left, int width) {
        QPushButton *b = NamedButton(this, text, name, QRectF(left, ButtonTop, width, ButtonHeight));
        b->setAutoDefault(false);
        return b;
    };
    // In reading order from the right: profile, Excel, help; exit on the left.
    const int formRight = ListLeft + ListWidth;
    m_pushBNem1 = button("PushBNem1", ErgebnisText::ProfileButton(), formRight - 1560, 1560);
    m_pushBNem1->setEnabled(false);
    m_pushButton7 = button("PushButton7", ErgebnisText::ExcelButton(), formRight - 1560 - 180 - 2400, 2400);
    m_pushButton1 = button("PushButton1", ErgebnisText::HelpButton(), formRight - 1560 - 180 - 2400 - 180 - 1200,
                           1200);
    m_pushB1 = button("PushB1", ErgebnisText::ExitButton(), TableLeft, 1200);
    // The export's option, between the exit and help buttons.
    m_checkBox1 = new QCheckBox(ErgebnisText::ScoresCheck(), this);
    m_checkBox1->setObjectName(QStringLiteral("CheckBox1"));
    PlaceTwips(m_checkBox1, TableLeft + 1200 + 180, ButtonTop, 3045, ButtonHeight);
    connect(m_pushBNem1, &QPushButton::clicked, this, &Frm_Ergebnis::ShowProfile);
    connect(m_pushButton7, &QPushButton::clicked, this, &Frm_Ergebnis::ExportToExcel);
    connect(m_pushB1, &QPushButton::clicked, this, &QWidget::close);

    m_groupBox3 = new HelpPanel(ErgebnisText::HelpTitle(), HelpText(), ErgebnisText::CloseButton(), this);
    m_groupBox3->SetNames("GroupBox3", "TxtHelp", "PushButton2");
    m_groupBox3->setFont(Fonts::Persian(11, true));
    m_groupBox3->Text()->setFont(Fonts::Persian(10.5));
    m_groupBox3->CloseButton()->setFont(Fonts::Persian(11));
    m_groupBox3->SetPlace(HelpLeft, HelpTop, HelpWidth, HelpHeight);
    m_txtHelp = m_groupBox3->Text();
    m_pushButton2 = m_groupBox3->CloseButton();
    connect(m_pushButton1, &QPushButton::clicked, m_groupBox3, &HelpPanel::Show);
}

void Frm_Ergebnis::setUpList()
{
    m_grid->SetTextMatrix(0, ColName, ErgebnisText::ListCaption());
    m_grid->HeadColumns(Examinees::ColumnHeading);
    m_grid->ColWidth(ColName, 2880);
    m_grid->ColWidth(ColId, 585);
    for (int col : {0, 3, 4, 5, 6, 7})
        m_grid->ColHidden(col, true);
}

void Frm_Ergebnis::resetCaptions()
{
    for (int r = 0; r < 8; ++r) {
        m_lblKH[std::size_t(r)]->setText(QStringLiteral("0"));
        m_lblT[std::size_t(r)]->setText(QStringLiteral("0"));
    }
}

void Frm_Ergebnis::ScoreCurrentExaminee()
{
    // 1. Every caption back to "0".
    resetCaptions();
    // 2-3. The examinee's stored answers (all empty without an answer row),
    // read afresh on every double-click and released when scored (7).
    const QString code = m_flatEdit1->text();
    Mohasebeh::AnswerRecord record = ResultScoring::ReadAnswers(code);

    // 4-5. Reversed values, raw scores, then the stens by gender.
    const QString gender = m_feGeschlecht->text();
    Mohasebeh::Scorer scorer;
    const bool normsApplied = scorer.ComputeRawScores(record, gender);
    const QStringList raw = scorer.RawTexts();
    for (int r = 0; r < 8; ++r)
        m_lblKH[std::size_t(r)]->setText(raw.value(r));
    if (normsApplied) {
        const QStringList stens = scorer.StenTexts();
        for (int r = 0; r < 8; ++r)
            m_lblT[std::size_t(r)]->setText(stens.value(r));
        m_pushBNem1->setEnabled(true);
    } else {
        // No norm table: the stens stay "0" and there is no profile to print.
        Dialogs::Message(this, QStringLiteral("KVR"), Mohasebeh::GenderUnknownMessage(),
                         QMessageBox::Information, QMessageBox::Ok, true);
        m_pushBNem1->setEnabled(false);
    }

    // 6. The summary line, for any gender.
    m_txtid->clear();
    m_txtid->setText(ProfileSummaryLine(m_flatEdit2->text(), m_flatEdit3->text(), gender, m_flatEdit5->text(),
                                        m_flatEdit4->text()));
}

ProfileInputs Frm_Ergebnis::CurrentProfileInputs() const
{
    ProfileInputs inputs;
    inputs.summaryLine = m_txtid->text();
    for (int r = 0; r < 8; ++r) {
        inputs.rawScores[std::size_t(r)] = m_lblKH[std::size_t(r)]->text();
        inputs.stens[std::size_t(r)] = m_lblT[std::size_t(r)]->text();
    }
    if (m_settings)
        m_settings(inputs);
    else
        ProfileSource::ReadSettings(inputs); // a settings row that cannot be read leaves them empty
    return inputs;
}

void Frm_Ergebnis::ShowProfile()
{
    // The run returns when its preview has been closed; this screen stays
    // open under it.
    fast_Form2::RunReport(CurrentProfileInputs(), this);
}

void Frm_Ergebnis::ExportToExcel()
{
    // The export form is never shown; its save button does the work, with
    // the scores when this screen's option is ticked.
    Frm_Excel *form = Frm_Excel::Instance();
    form->CheckBox1()->setChecked(m_checkBox1->isChecked());
    form->PushBSave()->click();
}

void Frm_Ergebnis::done(int result)
{
    QDialog::done(result);
    EnableMainWindow(true);
}
