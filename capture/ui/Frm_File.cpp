#include "capture/ui/Frm_File.h"

#include "capture/AnswerImport.h"
#include "capture/ImportMessages.h"
#include "common/ProgramFolder.h"
#include "common/Vendor.h"
#include "common/ui/Buttons.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Fonts.h"
#include "common/ui/HelpPanel.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/Placement.h"
#include "common/ui/Twips.h"
#include "store/Examinees.h"
#include "store/ui/BoundGrid.h"
#include "store/ui/BoundWidgets.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QPointer<Frm_File> &OpenScreen()
{
    static QPointer<Frm_File> screen;
    return screen;
}

// Grid columns of the list statement: 0 row header, 1 id, 2 FullName,
// 3 Alter, 4 Code.
constexpr int kColRowHeader = 0;
constexpr int kColName = 2;
constexpr int kColAge = 3;
constexpr int kColCode = 4;

// "All (*.*)|*.*|..." (description|pattern pairs) in Qt's form.
QMessageBox::Icon BoxIcon(ImportMessages::Icon icon)
{
    switch (icon) {
    case ImportMessages::Icon::Warning:
        return QMessageBox::Warning;
    case ImportMessages::Icon::Critical:
        return QMessageBox::Critical;
    case ImportMessages::Icon::Information:
        break;
    }
    return QMessageBox::Information;
}

void ShowMessage(QWidget *screen, const ImportMessages::Message &m)
{
    Dialogs::Message(screen, m.caption, m.text, BoxIcon(m.icon));
}

QString QtFilter(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i];
    return filters.join(QStringLiteral(";;"));
}

} // namespace

namespace FrmFileText {
QString ListSource() { return QStringLiteral("select id,FullName,Alter,Code  from IDE order by id desc "); }
QString FileFilter() { return QtFilter(QStringLiteral("All (*.*)|*.*|xlsx (*.xlsx)|*.xlsx|xls (*.xls)|*.xls")); }
QString ErrorA4Text() { return ImportMessages::ErrorA4Text(); }
} // namespace FrmFileText

Frm_File::Frm_File(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Frm_File"));
    setAttribute(Qt::WA_DeleteOnClose);
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QStringLiteral("فايل آزمودني"));
    setFont(Fonts::Persian(11));
    m_adodc1.setObjectName(QStringLiteral("Adodc1"));
    m_adodc2.setObjectName(QStringLiteral("Adodc2"));
    setFixedSize(TwipsToPixelsX(this, 6945), TwipsToPixelsY(this, 6900));

    m_lbelName = new QLabel(QStringLiteral("نام :"), this);
    m_lbelName->setObjectName(QStringLiteral("LbelName"));
    m_lbelName->setFont(Fonts::Persian(12, true));
    PlaceTwips(m_lbelName, 120, 120, 6705, 420);

    m_grid = new BoundGrid(this);
    m_grid->setObjectName(QStringLiteral("VSFlexGrid1"));
    PlaceTwips(m_grid, 120, 600, 6705, 5400);

    // Hidden fields bound to the list and, during an import, to the answer row.
    m_txtName = new QLineEdit(this);
    m_txtName->setObjectName(QStringLiteral("TxtName"));
    m_txtName->hide();
    m_text16 = new QLineEdit(this);
    m_text16->setObjectName(QStringLiteral("Text16"));
    m_text16->hide();
    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->hide();

    // The help over the list; the buttons along the bottom stay in reach.
    m_groupBox1 = new HelpPanel(
        QStringLiteral("راهنما"),
        QStringLiteral("1- روي نام آزمودني در فهرست دو بار كليك كنيد.\n\n"
                       "2- فايل اكسلي را كه پاسخهاي آزمودني در آن وارد شده است انتخاب كنيد؛ "
                       "پاسخها از فايل خوانده، وارد و ذخيره مي شوند.\n\n"
                       "3- نام فايل اكسل و نام پوشه اي كه فايل در آن قرار دارد نبايد حروف فارسي داشته باشد."),
        QStringLiteral("بستن"), this);
    m_groupBox1->SetNames("GroupBox1", "LblHelp", "PushButton1(0)");
    m_groupBox1->SetPlace(720, 1305, 5505, 4200);
    m_pushButton1.append(m_groupBox1->CloseButton());

    // Help and exit along the bottom of the screen, the download button beside them.
    const QString captions[4] = {
        QString(),
        QStringLiteral("راهنما"),
        QStringLiteral("خروج"),
        QStringLiteral("دانلود فايل خام اكسل پرسشنامه"),
    };
    const QRectF places[4] = {{}, {5625, 6120, 1200, 480}, {4305, 6120, 1200, 480}, {120, 6120, 4065, 480}};
    for (int i = 1; i < 4; ++i) {
        const QByteArray name = "PushButton1(" + QByteArray::number(i) + ')';
        QPushButton *b = NamedButton(this, captions[i], name.constData(), places[i]);
        connect(b, &QPushButton::clicked, this, [this, i] { PushButton1Click(i); });
        m_pushButton1.append(b);
    }

    m_groupBox2 = new QGroupBox(this);
    m_groupBox2->setObjectName(QStringLiteral("GroupBox2"));
    PlaceTwips(m_groupBox2, 1440, 630, 3615, 825);
    m_groupBox2->setAutoFillBackground(true);
    UntitledPanel(m_groupBox2);
    MarkOverlay(m_groupBox2);
    auto *wait = new QLabel(QStringLiteral("لطفا کمي صبر کنيد..."), m_groupBox2);
    wait->setObjectName(QStringLiteral("LblWait"));
    wait->setAlignment(Qt::AlignCenter);
    wait->setFont(Fonts::Persian(12, true));
    auto *waitLayout = new QVBoxLayout(m_groupBox2);
    waitLayout->addWidget(wait);
    m_groupBox2->hide();

    // The name label follows the bound name field.
    connect(m_txtName, &QLineEdit::textChanged, this, &Frm_File::onNameChanged);
    connect(m_grid, &BoundGrid::rowDoubleClicked, this, &Frm_File::VSFlexGrid1DblClick);

    m_adodc1.Open(FrmFileText::ListSource(), AnswerImport::ConnectionText());
    Bound::Bind(m_txtName, &m_adodc1, QStringLiteral("FullName"));
    Bound::Bind(m_text16, &m_adodc1, QStringLiteral("Code"));
    m_grid->SetDataControl(&m_adodc1);

    EnableMainWindow(false);
    Placement::Arrange(this);
}

Frm_File::~Frm_File() = default;

Frm_File *Frm_File::Show()
{
    Frm_File *screen = OpenScreen();
    if (!screen) {
        screen = new Frm_File;
        OpenScreen() = screen;
        screen->show();
        return screen;
    }
    screen->show();
    screen->raise();
    screen->activateWindow();
    return screen;
}

Frm_File *Frm_File::Instance() { return OpenScreen(); }

void Frm_File::onNameChanged(const QString &name)
{
    m_lbelName->setText(QStringLiteral("نام و نام خانوادگي: ") + name);
}

void Frm_File::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_grid->ColHidden(kColRowHeader, true);
    m_grid->ColHidden(kColAge, true);
    m_grid->ColHidden(kColCode, true);
    m_grid->ColWidth(kColName, 2800);
    m_grid->ColWidth(kColAge, 500);
    m_grid->SetTextMatrix(0, kColRowHeader, QStringLiteral("#"));
    m_grid->SetTextMatrix(0, kColName, QStringLiteral("نام و نام خانوادگي"));
    m_grid->HeadColumns(Examinees::ColumnHeading);
}

void Frm_File::closeEvent(QCloseEvent *event)
{
    EnableMainWindow(true);
    QWidget::closeEvent(event);
}

void Frm_File::PushButton1Click(int index)
{
    switch (index) {
    case 0:
        m_groupBox1->hide();
        break;
    case 1:
        m_groupBox1->Show();
        break;
    case 2:
        close();
        break;
    case 3:
        QDesktopServices::openUrl(QUrl(Vendor::TemplateZipUrl()));
        break;
    default:
        break;
    }
}

void Frm_File::VSFlexGrid1DblClick()
{
    const QString path = Dialogs::OpenFileName(this, QString(), QString(), FrmFileText::FileFilter());
    RestoreCurrentFolder();
    if (path.isEmpty()) {
        m_groupBox2->hide();
        ShowMessage(this, ImportMessages::NoFileChosen());
        return;
    }

    m_groupBox2->show();
    m_groupBox2->raise();
    m_groupBox2->repaint(); // the import runs on this thread; show the panel now

    // The code of the line that is current now, before anything else moves.
    const QString code = m_text16->text();
    const AnswerImport::Report report = AnswerImport::Run(m_adodc2, code, path);
    if (m_adodc2.IsOpen())
        Bound::Bind(m_text1, &m_adodc2, QString::number(40));
    m_groupBox2->hide();

    ShowMessage(this, ImportMessages::For(report));
}
