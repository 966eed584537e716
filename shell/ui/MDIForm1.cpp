#include "shell/ui/MDIForm1.h"

#include "capture/ui/Frm_Azmoodani.h"
#include "capture/ui/Frm_Pasoch.h"
#include "capture/ui/Frm_File.h"
#include "capture/ui/Frm_Test.h"
#include "maintenance/UpdateCheck.h"
#include "maintenance/ui/Frm_Update.h"
#include "maintenance/ui/Frm_backup.h"
#include "maintenance/ui/frmPopup.h"
#include "results/ui/Frm_Ergebnis.h"
#include "common/ui/Fonts.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/Placement.h"
#include "common/ui/Twips.h"
#include "shell/Commands.h"
#include "shell/ui/Frm_About.h"
#include "shell/ui/Frm_Chat.h"
#include "shell/ui/Frm_Exit.h"
#include "shell/ui/Frm_Setting.h"
#include "shell/ui/Resource.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QImageReader>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtMath>

namespace {

const QSize IconSize(42, 35);

// The toolbar's pictures are drawn from their SVG files when the program is
// built, for screens of one to four device pixels a point; this reads the
// one for this screen. The format is given and not guessed, so that reading
// it loads none of Qt's image format plugins.
QIcon commandIcon(const QString &name)
{
    const int scale = qBound(1, qCeil(qApp->devicePixelRatio()), 4);
    const QSize size = IconSize * scale;
    QImageReader reader(QStringLiteral(":/shell/toolbar/%1x%2/%3.png").arg(size.width()).arg(size.height()).arg(name),
                        QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    QPixmap pm = QPixmap::fromImage(reader.read());
    if (pm.isNull())
        return QIcon();
    pm.setDevicePixelRatio(scale);
    QIcon icon;
    icon.addPixmap(pm);
    return icon;
}

QLabel *caption(QWidget *parent, const char *name, const QFont &font)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setFont(font);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    l->setAttribute(Qt::WA_TranslucentBackground);
    // The captions keep their own colour whatever the skin.
    l->setStyleSheet(QStringLiteral("color: rgb(156, 73, 177); background: transparent;"));
    return l;
}

struct StartupHooks {
    MDIForm1::StartupCheck check;
    MDIForm1::Notifier notifier;
};

StartupHooks &startupHooks()
{
    // By default the tick asks the vendor's server and raises the pop-up
    // notification when a newer version is published.
    static StartupHooks h{[] { return UpdateCheck::StartupUpdateCheck(); }, [] { ShowUpdateNotification(); }};
    return h;
}

void showSettings(MDIForm1 &main)
{
    Frm_Setting *s = Frm_Setting::Instance();
    // Loaded hidden at start-up: placed over the main window when shown.
    if (!s->isVisible())
        Placement::Arrange(s);
    s->show();
    s->raise();
    s->activateWindow();
    main.setEnabled(false);
}

void showAbout(MDIForm1 &)
{
    auto *about = new Frm_About();
    about->show();
}

void showChat(MDIForm1 &main)
{
    Frm_Chat chat(&main);
    chat.exec();
}

void closeMain(MDIForm1 &main) { main.close(); }

// The profile takes the clinic details from the settings screen's fields.
void readSettings(ProfileInputs &in)
{
    const Frm_Setting *s = Frm_Setting::Instance();
    in.clinicName = s->ClinicName();
    in.clinicAddress = s->ClinicAddress();
    in.contactBlock = s->ContactBlock();
    in.printLogo = s->PrintLogo() ? 1 : 0;
}

} // namespace

namespace {
QHash<int, MDIForm1::Opener> builtInOpeners()
{
    // Each command and the screen it opens.
    return {
        {CmdExaminees, [](MDIForm1 &) { Frm_Azmoodani::Open(); }},
        {CmdAnswerSheet, [](MDIForm1 &) { Frm_Pasoch::Open(); }},
        {CmdExamineeFile, [](MDIForm1 &) { Frm_File::Show(); }},
        {CmdTestResult, [](MDIForm1 &main) { Frm_Ergebnis::ShowModal(&main, readSettings); }},
        {CmdUpdate, [](MDIForm1 &main) { Frm_Update::Open(&main); }},
        {CmdBackup, [](MDIForm1 &) { Frm_backup::Open(); }},
        {CmdSettings, showSettings},
        {CmdAbout, showAbout},
        {CmdSite, showChat},
        {CmdExit, closeMain},
    };
}
}

QHash<int, MDIForm1::Opener> &MDIForm1::openers()
{
    static QHash<int, Opener> table = builtInOpeners();
    return table;
}

void MDIForm1::SetOpener(int id, Opener opener)
{
    if (opener)
        openers().insert(id, std::move(opener));
    else
        openers().remove(id);
}

bool MDIForm1::HasOpener(int id) { return openers().contains(id); }

void MDIForm1::ResetOpeners() { openers() = builtInOpeners(); }

void MDIForm1::SetStartupCheck(StartupCheck check, Notifier notifier)
{
    startupHooks().check = std::move(check);
    startupHooks().notifier = std::move(notifier);
}

MDIForm1::MDIForm1(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MDIForm1"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("KVR"));
    setLayoutDirection(Qt::RightToLeft);
    resize(1024, 700);
    // This window is the one the other screens disable and enable.
    SetMainWindow(this);

    buildBackground();
    // 3-4. The skin, read from the settings screen (which loads hidden once
    // this window is on screen); it applies to every window of the program,
    // this one included, and colours Resizer1. Applied before the rest of
    // the window is made, so those widgets are made in it instead of being
    // made again in it.
    ApplyTheme();

    buildUpdateNotice();

    m_timer1 = new QTimer(m_resizer);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(500);
    connect(m_timer1, &QTimer::timeout, this, &MDIForm1::onTimer1);

    // 1-2. The toolbar "Standard" at the top, with large icons.
    m_toolbar = new QToolBar(QStringLiteral("Standard"), this);
    m_toolbar->setObjectName(QStringLiteral("Standard"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    m_toolbar->setIconSize(IconSize);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    addToolBar(Qt::TopToolBarArea, m_toolbar);

    // 5-6. The commands.
    addCommands();

    // 7. The start-up timer.
    m_timer1->start();
}

MDIForm1::~MDIForm1() = default;

// The background: Picture1 holds Resizer1, which holds the captions, the
// update notice and the timer.
void MDIForm1::buildBackground()
{
    m_picture = new QWidget(this);
    m_picture->setObjectName(QStringLiteral("Picture1"));
    auto *pictureLayout = new QVBoxLayout(m_picture);
    pictureLayout->setContentsMargins(0, 0, 0, 0);
    m_resizer = new QWidget(m_picture);
    m_resizer->setObjectName(QStringLiteral("Resizer1"));
    m_resizer->setAttribute(Qt::WA_StyledBackground);
    pictureLayout->addWidget(m_resizer);
    setCentralWidget(m_picture);

    m_lblKName = caption(m_resizer, "LblKName", Fonts::Persian(36, true));
    m_lblFName = caption(m_resizer, "LblFName", Fonts::Title(72));
    m_lblFName->setText(QStringLiteral("KVR"));
    m_lblTName = caption(m_resizer, "LblTName", Fonts::Persian(36, true));
    m_lblTName->setText(QStringLiteral("نرم افزار سنجش اضطراب"));
}

// GroupBox1: the notice of a new version, hidden until the start-up check
// finds one.
void MDIForm1::buildUpdateNotice()
{
    m_groupBox1 = new QGroupBox(m_resizer);
    m_groupBox1->setObjectName(QStringLiteral("GroupBox1"));
    m_groupBox1->setFont(Fonts::Persian(14.25, true));
    m_groupBox1->setFixedSize(TwipsToPixelsX(this, 4875), TwipsToPixelsY(this, 3840));
    auto *noticeLayout = new QVBoxLayout(m_groupBox1);
    auto *label1 = new QLabel(QStringLiteral("آپديت جديد نرم افزار"), m_groupBox1);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setAlignment(Qt::AlignCenter);
    auto *label2 = new QLabel(
        QStringLiteral("ورژن جديد نرم افزار بر روي سايت قرار گرفته است. جهت آپديت, روي دكمه بروزرساني كليك كنيد."),
        m_groupBox1);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setWordWrap(true);
    auto *label3 = new QLabel(QStringLiteral("قبل از بروزرساني حتما بكاپ بگيريد"), m_groupBox1);
    label3->setObjectName(QStringLiteral("Label3"));
    label3->setWordWrap(true);
    label3->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));
    auto *close = new QPushButton(QStringLiteral("بستن"), m_groupBox1);
    close->setObjectName(QStringLiteral("PushButton1"));
    for (QWidget *w : {static_cast<QWidget *>(label1), static_cast<QWidget *>(label2),
                       static_cast<QWidget *>(label3), static_cast<QWidget *>(close)})
        w->setFont(Fonts::Persian(14.25, true));
    noticeLayout->addWidget(label1);
    noticeLayout->addWidget(label2, 1);
    noticeLayout->addWidget(label3);
    noticeLayout->addWidget(close, 0, Qt::AlignHCenter);
    connect(close, &QPushButton::clicked, m_groupBox1, &QWidget::hide);
    m_groupBox1->hide();
}

void MDIForm1::addCommands()
{
    // 5. The ten commands in the table's order.
    for (const ShellCommand &c : ToolbarCommands()) {
        QAction *a = m_toolbar->addAction(commandIcon(c.icon), c.caption);
        a->setData(c.id);
        a->setObjectName(QStringLiteral("Command%1").arg(c.id));
        const int id = c.id;
        connect(a, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
    }

    // 6. The toolbar font, on each button too: a look's style sheet would
    // otherwise give the buttons the program's regular face.
    const QFont toolbarFont = Fonts::Persian(11, true);
    m_toolbar->setFont(toolbarFont);
    for (QAction *a : m_toolbar->actions())
        if (QWidget *button = m_toolbar->widgetForAction(a))
            button->setFont(toolbarFont);
}

MDIForm1 *MDIForm1::Load(const QWidget *inPlaceOf)
{
    auto *w = new MDIForm1();
    if (inPlaceOf && inPlaceOf->isVisible()) {
        // Where the window it replaces stands, so the program never shows
        // an empty screen in between.
        w->setGeometry(inPlaceOf->geometry());
        if (inPlaceOf->isMaximized())
            w->showMaximized();
        else
            w->show();
    } else {
        Placement::ShowMainWindow(w);
    }
    return w;
}

void MDIForm1::ExecuteCommand(int id)
{
    const auto it = openers().constFind(id);
    if (it == openers().constEnd() || !*it)
        return;
    // A copy: the opener may replace the table entry or close this window.
    const Opener opener = *it;
    opener(*this);
}

void MDIForm1::SetClinicName(const QString &name)
{
    m_lblKName->setText(name);
}

void MDIForm1::ShowUpdateNotice()
{
    m_groupBox1->show();
    m_groupBox1->raise();
}

void MDIForm1::LayoutStep()
{
    const QRect outer = frameGeometry();
    const double W = PixelsToTwipsX(this, outer.width());
    const double H = PixelsToTwipsY(this, outer.height());
    const int width = TwipsToPixelsX(this, W);

    m_lblKName->setText(ClinicNameText());

    const double tTop = (H + 3000) / 2;
    const double fTop = tTop - 1680;
    const double kTop = tTop - 3680;
    // A window lower than the captions need (a small screen at a large
    // scaling) would cut the vendor caption off at the bottom: the three
    // move up together, as far as the top of the panel.
    const int bottom = TwipsToPixelsY(this, tTop) + m_lblTName->sizeHint().height();
    const int lift = qBound(0, bottom - m_resizer->height(), TwipsToPixelsY(this, kTop));
    auto place = [&](QLabel *l, double topTwips) {
        l->setGeometry(0, TwipsToPixelsY(this, topTwips) - lift, width, l->sizeHint().height());
    };
    place(m_lblTName, tTop);
    place(m_lblFName, fTop);
    place(m_lblKName, kTop);
    m_groupBox1->move(TwipsToPixelsX(this, W / 3.6), TwipsToPixelsY(this, H / 4.8));
}

void MDIForm1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    LayoutStep();
}

void MDIForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    LayoutStep();
}

bool MDIForm1::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    // The settings screen, which other screens read the clinic's details
    // from, loads hidden right after this window is first painted: the
    // window comes up without waiting for it.
    if (event->type() == QEvent::Paint && !m_settingsQueued) {
        m_settingsQueued = true;
        QTimer::singleShot(0, this, [] { Frm_Setting::Instance(); });
    }
    return handled;
}

void MDIForm1::closeEvent(QCloseEvent *event)
{
    if (m_leaving) {
        event->accept();
        return;
    }
    // The window stays on screen behind the confirmation until the answer:
    // "بلي" ends the program, "خير" loads a fresh main window in its place.
    event->ignore();
    if (m_confirm) {
        m_confirm->raise();
        m_confirm->activateWindow();
        return;
    }
    m_timer1->stop();
    m_confirm = new Frm_Exit(this);
    m_confirm->show();
}

void MDIForm1::Leave()
{
    m_leaving = true;
    close();
}

void MDIForm1::onTimer1()
{
    // Stopped first: the check may wait on the network with a local event
    // loop, during which a running timer would fire again.
    m_timer1->stop();
    const StartupHooks hooks = startupHooks();
    if (!hooks.check)
        return;
    if (hooks.check()) {
        ShowUpdateNotice();
        if (hooks.notifier)
            hooks.notifier();
    }
}
