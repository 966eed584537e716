#include "maintenance/ui/Frm_backup.h"

#include "common/ModuleDatum.h"
#include "common/ProgramFolder.h"
#include "common/ui/Buttons.h"
#include "common/ui/Dialogs.h"
#include "common/ui/HelpPanel.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/Placement.h"
#include "common/ui/Twips.h"
#include "maintenance/Backup.h"
#include "maintenance/ui/MaintenanceTexts.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {
const char *const kHelp =
    "اين بخش از اطلاعات برنامه نسخه پشتيبان تهيه مي کند و در صورت نياز اطلاعات را از روي يک نسخه پشتيبان به حالت قبل برمي گرداند.\n\n"
    "تهيه نسخه پشتيبان:\nدکمه کنار BACKUP را بزنيد، محل ذخيره را انتخاب کنيد و دکمه ذخيره را بزنيد. سپس دکمه BACKUP را بزنيد و منتظر پيام تهيه نسخه پشتيبان بمانيد.\n\n"
    "هر چند وقت يک بار نسخه پشتيبان تهيه کنيد تا پس از بروز اشکال در برنامه يا نصب دوباره ويندوز بتوانيد اطلاعات را برگردانيد. پيش از نصب دوباره ويندوز نسخه پشتيبان را روي درايوي غير از درايو ويندوز نگه داريد و پس از نصب آن را بازيابي کنيد.\n\n"
    "بازيابي اطلاعات:\nدکمه کنار REASTOR را بزنيد، آخرين فايل پشتيبان را انتخاب کنيد و دکمه باز كردن را بزنيد. سپس دکمه REASTOR را بزنيد و به پرسش بازيابي اطلاعات پاسخ بلي بدهيد. منتظر پيام انجام بازيابي بمانيد.\n\n"
    "پيش از هر بازيابي، برنامه يک نسخه از اطلاعات فعلي را در پوشه KVR برنامه نگه مي دارد.\n\n"
    "اگر برنامه KVR در پنجره ديگري هم باز باشد، بازيابي انجام نمي شود؛ پيش از بازيابي پنجره هاي ديگر KVR را ببنديد.";

QString programTitle() { return QStringLiteral("KVR"); }
} // namespace

Frm_backup::Frm_backup(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Frm_backup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(MaintenanceText::Caption());
    setLayoutDirection(Qt::RightToLeft);

    const auto named = [](QWidget *w, const char *name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };
    Label1 = static_cast<QLabel *>(named(new QLabel(this), "Label1"));
    Label2 = static_cast<QLabel *>(named(new QLabel(this), "Label2"));
    Label3 = static_cast<QLabel *>(named(new QLabel(this), "Label3"));
    Text1 = static_cast<QLineEdit *>(named(new QLineEdit(this), "Text1"));
    b1 = NamedButton(this, QStringLiteral("---"), "b1");
    VisualButtonEx2 = NamedButton(this, QStringLiteral("BACKUP"), "VisualButtonEx2");
    Text2 = static_cast<QLineEdit *>(named(new QLineEdit(this), "Text2"));
    b2 = NamedButton(this, QStringLiteral("---"), "b2");
    VisualButtonEx3 = NamedButton(this, QStringLiteral("REASTOR"), "VisualButtonEx3");
    PBHelp = NamedButton(this, MaintenanceText::Help(), "PBHelp");
    PBExit = NamedButton(this, MaintenanceText::Exit(), "PBExit");
    Text1->setLayoutDirection(Qt::LeftToRight);
    Text2->setLayoutDirection(Qt::LeftToRight);
    Label3->hide(); // it only carries the date for the default name

    auto *grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Label2, 0, 2);
    grid->addWidget(VisualButtonEx2, 1, 0);
    grid->addWidget(Text1, 1, 1);
    grid->addWidget(b1, 1, 2);
    grid->addWidget(VisualButtonEx3, 2, 0);
    grid->addWidget(Text2, 2, 1);
    grid->addWidget(b2, 2, 2);
    // Help and exit along the bottom, below where the help panel ends.
    grid->setRowStretch(3, 1);
    grid->addWidget(PBHelp, 4, 0);
    grid->addWidget(PBExit, 4, 2);
    grid->setColumnStretch(1, 1);
    resize(TwipsToPixelsX(this, 7400), TwipsToPixelsY(this, 3900));

    // The help panel floats over the screen; it is not part of the layout.
    GroupBox1 = new HelpPanel(QString(), QString::fromUtf8(kHelp), MaintenanceText::Close(), this);
    GroupBox1->SetNames("GroupBox1", "Text3", "PBClose");
    GroupBox1->SetPlace(885, 30, 5535, 3075);
    Text3 = GroupBox1->Text();
    PBClose = GroupBox1->CloseButton();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Label2->setText(Backup::ClockText(QTime::currentTime())); });

    connect(b1, &QPushButton::clicked, this, &Frm_backup::chooseBackupFile);
    connect(b2, &QPushButton::clicked, this, &Frm_backup::chooseRestoreFile);
    connect(VisualButtonEx2, &QPushButton::clicked, this, &Frm_backup::makeBackup);
    connect(VisualButtonEx3, &QPushButton::clicked, this, &Frm_backup::restore);
    connect(PBHelp, &QPushButton::clicked, this, &Frm_backup::showHelp);
    connect(PBExit, &QPushButton::clicked, this, &QWidget::close);

    // Opening: the clock, the date captions, the main window disabled.
    Label2->setText(Backup::ClockText(QTime::currentTime()));
    Label1->setText(SolarDateText(QDate::currentDate(), 4));
    Label3->setText(Label1->text());
    EnableMainWindow(false);
    Timer1->start();
    Placement::Arrange(this);
}

Frm_backup::~Frm_backup() = default;

Frm_backup *Frm_backup::Open()
{
    auto *screen = new Frm_backup;
    screen->show();
    return screen;
}

void Frm_backup::closeEvent(QCloseEvent *event)
{
    if (m_copying) { // the copy finishes first; the files must be closed
        event->ignore();
        return;
    }
    Timer1->stop();
    EnableMainWindow(true);
    QWidget::closeEvent(event);
}

bool Frm_backup::betweenChunks()
{
    // Repaints and the clock go on; input waits for the end of the copy.
    static const Backup::BetweenChunks process = Backup::ProcessEventsBetweenChunks();
    return process();
}

void Frm_backup::chooseBackupFile()
{
    const QString start = QDir(Backup::BackupFolder()).filePath(
        Backup::DefaultBackupName(Label3->text(), Label2->text()));
    const QString name = Dialogs::SaveFileName(this, QString(), start,
                                               QStringLiteral("Database Backup (*.KVR)"), false);
    RestoreCurrentFolder();
    if (!name.isEmpty())
        Text1->setText(QDir::toNativeSeparators(name));
}

void Frm_backup::chooseRestoreFile()
{
    const QString start = m_lastOpened.isEmpty() ? Backup::BackupFolder() : m_lastOpened;
    const QString name = Dialogs::OpenFileName(this, QString(), start, QStringLiteral("Database Backup (*.KVR)"));
    RestoreCurrentFolder();
    if (!name.isEmpty()) {
        m_lastOpened = name;
        Text2->setText(QDir::toNativeSeparators(name));
    }
}

void Frm_backup::makeBackup()
{
    if (m_copying)
        return;
    if (Text1->text().isEmpty()) {
        Dialogs::Message(this, MaintenanceText::Error(), MaintenanceText::AskPath(), QMessageBox::Warning,
                         QMessageBox::Ok, true);
        return;
    }
    // A path typed by hand is taken relative to the program folder.
    const QString path = QDir(ProgramFolder()).absoluteFilePath(Text1->text());
    bool copy = true;
    if (QFileInfo::exists(path)) {
        copy = Dialogs::Message(this, programTitle(), MaintenanceText::ReplaceQuestion(), QMessageBox::NoIcon,
                                QMessageBox::Yes | QMessageBox::No, false)
               == QMessageBox::Yes;
        if (!copy)
            Dialogs::Message(this, programTitle(), MaintenanceText::BackupNotMade(), QMessageBox::Information,
                             QMessageBox::Ok, true);
    }
    if (copy) {
        m_copying = true;
        const Backup::CopyResult r = Backup::BackUpDatabase(path, [this] { return betweenChunks(); });
        m_copying = false;
        if (r.ok)
            Dialogs::Message(this, programTitle(), MaintenanceText::BackupMade(), QMessageBox::NoIcon,
                             QMessageBox::Ok, false);
        else
            Dialogs::Message(this, programTitle(), MaintenanceText::CopyFailed() + QLatin1Char('\n') + r.error,
                             QMessageBox::Critical, QMessageBox::Ok, true);
    }
    RestoreCurrentFolder();
}

void Frm_backup::restore()
{
    if (m_copying)
        return;
    if (Text2->text().isEmpty()) {
        Dialogs::Message(this, MaintenanceText::Error(), MaintenanceText::AskRestorePath(), QMessageBox::Warning,
                         QMessageBox::Ok, true);
        return;
    }
    const QString path = QDir(ProgramFolder()).absoluteFilePath(Text2->text());
    const QString refusal = Backup::RestoreRefusal(path);
    if (!refusal.isEmpty()) {
        Dialogs::Message(this, MaintenanceText::Error(), refusal, QMessageBox::Critical, QMessageBox::Ok, true);
        RestoreCurrentFolder();
        return;
    }
    if (Dialogs::Message(this, programTitle(), MaintenanceText::RestoreQuestion(), QMessageBox::NoIcon,
                         QMessageBox::Yes | QMessageBox::No, false)
        == QMessageBox::Yes) {
        m_copying = true;
        const Backup::RestoreResult r = Backup::RestoreDatabase(path, [this] { return betweenChunks(); });
        m_copying = false;
        if (r.ok)
            Dialogs::Message(this, programTitle(), MaintenanceText::Restored(), QMessageBox::NoIcon,
                             QMessageBox::Ok, false);
        else if (r.refused)
            Dialogs::Message(this, MaintenanceText::Error(), r.error, QMessageBox::Critical, QMessageBox::Ok, true);
        else
            Dialogs::Message(this, programTitle(), MaintenanceText::CopyFailed() + QLatin1Char('\n') + r.error,
                             QMessageBox::Critical, QMessageBox::Ok, true);
    } else {
        Dialogs::Message(this, programTitle(), MaintenanceText::RestoreNotDone(), QMessageBox::NoIcon,
                         QMessageBox::Ok, false);
    }
    RestoreCurrentFolder();
}

void Frm_backup::showHelp()
{
    GroupBox1->Show();
}
