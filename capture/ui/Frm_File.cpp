#include "capture/ui/Frm_File.h"

#include "capture/AnswerImport.h"
#include "capture/CaptureTexts.h"
#include "common/ProgramFolder.h"
#include "common/Vendor.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Fonts.h"
#include "common/ui/MainWindowRef.h"
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
QString ErrorA4Text()
{
    return QStringLiteral("اين فايل دستكاري شده و يا اشتباه انتخاب شده است") + QLatin1Char('\n') + QStringLiteral(" لطفا فايل اصلي را از سايت دانلود كنيد ") + QLatin1Char('\n')
        + QLatin1Char('\n') + QStringLiteral(" آدرس سايت ") + QLatin1Char('\n') + QLatin1Char(' ')
        + Vendor::WebSiteUrl() + QLatin1Char(' ');
}
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
    setTwipsGeometry(this, 0, 0, 6945, 6900);
    setFixedSize(size());

    m_lbelName = new QLabel(QStringLiteral("نام :"), this);
    m_lbelName->setObjectName(QStringLiteral("LbelName"));
    m_lbelName->setFont(Fonts::Persian(12, true));
    setTwipsGeometry(m_lbelName, 120, 120, 6705, 420);

    m_grid = new BoundGrid(this);
    m_grid->setObjectName(QStringLiteral("VSFlexGrid1"));
    setTwipsGeometry(m_grid, 120, 600, 6705, 5400);

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

    const QString captions[4] = {
        QStringLiteral("بستن"),
        QStringLiteral("راهنما"),
        QStringLiteral("خروج"),
        QStringLiteral("دانلود فايل خام اكسل پرسشنامه"),
    };
    // The buttons: help and exit along the bottom of the screen, the
    // download button beside them, the help panel's close button inside it.
    m_groupBox1 = new QGroupBox(this);
    m_groupBox1->setObjectName(QStringLiteral("GroupBox1"));
    setTwipsGeometry(m_groupBox1, 720, 1305, 5505, 4200);
    m_groupBox1->setAutoFillBackground(true); // covers the list while shown
    auto *help = new QLabel(m_groupBox1);
    help->setObjectName(QStringLiteral("LblHelp"));
    help->setWordWrap(true);
    help->setAlignment(Qt::AlignTop | Qt::AlignLeading);
    help->setText(QStringLiteral(
        "راهنما:\n\n"
        "1- روي نام آزمودني در فهرست دو بار كليك كنيد.\n\n"
        "2- فايل اكسلي را كه پاسخهاي آزمودني در آن وارد شده است انتخاب كنيد؛ "
        "پاسخها از فايل خوانده، وارد و ذخيره مي شوند.\n\n"
        "3- نام فايل اكسل و نام پوشه اي كه فايل در آن قرار دارد نبايد حروف فارسي داشته باشد."));
    auto *helpLayout = new QVBoxLayout(m_groupBox1);
    helpLayout->addWidget(help, 1);

    for (int i = 0; i < 4; ++i) {
        auto *b = new QPushButton(captions[i], i == 0 ? static_cast<QWidget *>(m_groupBox1) : this);
        b->setObjectName(QStringLiteral("PushButton1(%1)").arg(i));
        connect(b, &QPushButton::clicked, this, [this, i] { PushButton1Click(i); });
        m_pushButton1.append(b);
    }
    helpLayout->addWidget(m_pushButton1[0], 0, Qt::AlignHCenter);
    setTwipsGeometry(m_pushButton1[1], 5625, 6120, 1200, 480);
    setTwipsGeometry(m_pushButton1[2], 4305, 6120, 1200, 480);
    setTwipsGeometry(m_pushButton1[3], 120, 6120, 4065, 480);
    m_groupBox1->hide();

    m_groupBox2 = new QGroupBox(this);
    m_groupBox2->setObjectName(QStringLiteral("GroupBox2"));
    setTwipsGeometry(m_groupBox2, 1440, 630, 3615, 825);
    m_groupBox2->setAutoFillBackground(true);
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

void Frm_File::setTwipsGeometry(QWidget *w, int left, int top, int width, int height)
{
    const int dx = logicalDpiX();
    const int dy = logicalDpiY();
    w->setGeometry(BoundGrid::TwipsToPixels(left, dx), BoundGrid::TwipsToPixels(top, dy),
                   BoundGrid::TwipsToPixels(width, dx), BoundGrid::TwipsToPixels(height, dy));
}

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
        m_groupBox1->show();
        m_groupBox1->raise();
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
        Dialogs::Message(this, QStringLiteral("Error A3"), QStringLiteral(" عمليات با مشکل مواجه شده است "), QMessageBox::Warning);
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

    switch (report.outcome) {
    case AnswerImport::Outcome::WrongMarker:
        Dialogs::Message(this, QStringLiteral("Error A1"), QStringLiteral(" فايل انتخاب شده قابل بارگذاري نيست "), QMessageBox::Information);
        break;
    case AnswerImport::Outcome::Unreadable:
        Dialogs::Message(this, QStringLiteral("Error A4"), FrmFileText::ErrorA4Text(), QMessageBox::Information);
        break;
    case AnswerImport::Outcome::Uncalculated:
        // Nothing was stored: say what to do, the cells as a detail below.
        Dialogs::Message(this, CaptureText::Attention(), CaptureText::UncalculatedWorkbook() + QLatin1Char('\n') + report.reason,
                         QMessageBox::Warning);
        break;
    case AnswerImport::Outcome::WriteFailed:
        // Nothing was stored; say so rather than report success over it.
        Dialogs::Message(this, QStringLiteral("خطا"), report.reason, QMessageBox::Critical);
        break;
    case AnswerImport::Outcome::Imported:
        Dialogs::Message(this, QStringLiteral("ورود اطلاعات"), QStringLiteral("  داده ها با موفقيت وارد سيستم شدند ") + QStringLiteral("\r\n"),
                         QMessageBox::Information);
        break;
    }
}
