#include "maintenance/ui/Frm_Progress.h"

#include "common/PackageTexts.h"
#include "common/ProgramFolder.h"
#include "common/Vendor.h"
#include "common/ui/Buttons.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Fonts.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/Placement.h"
#include "common/ui/Twips.h"
#include "maintenance/DownloadTexts.h"
#include "maintenance/FileDownloader.h"
#include "maintenance/InstallerDownload.h"
#include "maintenance/InstallerSignature.h"
#include "maintenance/ui/MaintenanceTexts.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <cmath>

std::function<bool(const QString &, QString *)> &Frm_Progress::StartInstaller()
{
    static std::function<bool(const QString &, QString *)> start = [](const QString &path, QString *error) {
        if (!QFileInfo(path).isFile()) {
            *error = QStringLiteral("The file %1 is not there.").arg(QDir::toNativeSeparators(path));
            return false;
        }
        QProcess process;
        process.setProgram(path);
        process.setWorkingDirectory(ProgramFolder());
        qint64 pid = 0;
        if (process.startDetached(&pid))
            return true;
        *error = process.errorString();
        return false;
    };
    return start;
}

std::function<void()> &Frm_Progress::EndProgram()
{
    static std::function<void()> end = [] { QCoreApplication::exit(0); };
    return end;
}

std::function<void(QWidget *)> &ShowDownloadScreen()
{
    static std::function<void(QWidget *)> show = [](QWidget *parent) {
        Frm_Progress screen(parent);
        screen.exec();
    };
    return show;
}

Frm_Progress::Frm_Progress(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Frm_Progress"));
    setWindowTitle(QStringLiteral("Downloading File ... "));
    setModal(true);
    setFixedSize(TwipsToPixelsX(this, 8400), TwipsToPixelsY(this, 3495));
    Placement::Arrange(this, {2475, 2620});
    setStyleSheet(QStringLiteral("Frm_Progress { background-color: rgb(236, 244, 244); }"));

    Label1 = new QLabel(QStringLiteral("Address File :"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    PlaceTwips(Label1, 240, 120, 1300, 300);
    Text = new QLineEdit(Vendor::InstallerUrl(), this);
    Text->setObjectName(QStringLiteral("Text"));
    PlaceTwips(Text, 1600, 120, 6500, 300);

    Label3 = new QLabel(QStringLiteral("KVR"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    QFont title(QStringLiteral("serif"));
    title.setPointSize(26);
    title.setBold(true);
    Label3->setFont(title);
    Label3->setStyleSheet(QStringLiteral("color: rgb(0, 128, 128);"));
    PlaceTwips(Label3, 600, 300, 2400, 800);

    Label2 = new QLabel(QStringLiteral("www.kvr.example\nsupport@kvr.example"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    PlaceTwips(Label2, 4300, 300, 3500, 800);

    Pic1 = new QFrame(this);
    Pic1->setObjectName(QStringLiteral("Pic1"));
    Pic1->setFrameShape(QFrame::Box);
    Pic1->setStyleSheet(QStringLiteral("#Pic1 { background-color: white; border: 1px solid gray; }"));
    PlaceTwips(Pic1, 600, 1300, 6700, 400);
    I1 = new QFrame(Pic1);
    I1->setObjectName(QStringLiteral("I1"));
    I1->setStyleSheet(QStringLiteral("#I1 { background-color: rgb(0, 128, 128); }"));
    I1->setGeometry(0, 0, 0, Pic1->height());

    Label4 = new QLabel(QStringLiteral("0"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(Fonts::Persian(24, true));
    Label4->setAlignment(Qt::AlignCenter);
    PlaceTwips(Label4, 3200, 1750, 1900, 700);

    PushButton2 = NamedButton(this, MaintenanceText::Download(), "PushButton2", {5400, 2550, 1900, 450});
    PushButton1 = NamedButton(this, MaintenanceText::Exit(), "PushButton1", {600, 2550, 1900, 450});
    PushButton2->setAutoDefault(false);
    PushButton1->setAutoDefault(false);

    Downloader = new FileDownloader(this);
    Downloader->setObjectName(QStringLiteral("FileDownloader"));
    connect(Downloader, &FileDownloader::DownloadProgress, this, &Frm_Progress::onProgress);
    connect(Downloader, &FileDownloader::DownloadErrors, this, &Frm_Progress::onError);
    connect(Downloader, &FileDownloader::DowloadComplete, this, &Frm_Progress::onComplete);
    connect(PushButton2, &QPushButton::clicked, this, &Frm_Progress::pressDownload);
    connect(PushButton1, &QPushButton::clicked, this, [this] {
        EnableMainWindow(true);
        close();
    });

    Label1->hide();
    Text->hide();
}

Frm_Progress::~Frm_Progress() = default;

void Frm_Progress::pressDownload()
{
    if (PushButton2->text() != MaintenanceText::Download()) {
        Downloader->Cancel();
        PushButton2->setText(MaintenanceText::Download());
        return;
    }
    if (Downloader->IsRunning())
        return; // the cancelled download is still winding down
    // An installed program is updated by its package, never by an installer
    // it would download and start itself.
    if (IsInstalledProgram()) {
        Dialogs::Message(this, MaintenanceText::Message(), PackageText::UpdateComesAsPackage(),
                         QMessageBox::Information, QMessageBox::Ok, true);
        return;
    }
    PushButton2->setText(MaintenanceText::CancelDownload());
    const QString url = Text->text();
    const QString destination = ProgramFolder() + QLatin1Char('/') + InstallerDownload::FileName(url);
    onProgress(QStringLiteral("0"));
    Label4->setText(QStringLiteral("0"));
    m_completed = false;
    // Only the file this download has just written whole is checked, and
    // only a file whose signature holds is started.
    if (Downloader->DownloadFile(url, destination) && m_completed)
        verifyAndStart(url, destination);
    if (m_closeWhenDone)
        close();
}

void Frm_Progress::verifyAndStart(const QString &url, const QString &installer)
{
    QByteArray signature;
    QString detail;
    bool genuine = false;
    if (Downloader->FetchBytes(InstallerDownload::SignatureUrl(url), &signature, &detail,
                               InstallerDownload::MaxSignatureBytes)) {
        InstallerSignature::PublicKey key;
        genuine = InstallerSignature::ParsePublicKey(InstallerSignature::TrustedPublicKey(), &key, &detail)
                  && InstallerSignature::VerifyFile(installer, signature, key, &detail)
                         == InstallerSignature::Result::Valid;
    }
    PushButton2->setText(MaintenanceText::Download());
    if (!genuine) {
        // Nothing unverified keeps the installer's name. A cancel while the
        // signature was fetched says nothing more.
        QFile::remove(installer);
        if (!detail.isEmpty())
            Dialogs::Message(this, MaintenanceText::Error(),
                             DownloadText::NotVerified() + QLatin1Char('\n') + detail, QMessageBox::Critical,
                             QMessageBox::Ok, true);
        return;
    }

    Dialogs::Message(this, QStringLiteral("Success"), MaintenanceText::Downloaded(), QMessageBox::Information,
                     QMessageBox::Ok, false);
    QString error;
    if (!StartInstaller()(installer, &error)) {
        // The program keeps running; the user can try again or install by hand.
        Dialogs::Message(this, MaintenanceText::Error(),
                         DownloadText::InstallerNotStarted() + QLatin1Char('\n')
                             + QDir::toNativeSeparators(installer) + QLatin1Char('\n') + error,
                         QMessageBox::Critical, QMessageBox::Ok, true);
        return;
    }
    EndProgram()();
}

void Frm_Progress::onProgress(const QString &percent)
{
    const int twips = int(std::lround(percent.toDouble() * 67));
    if (twips == m_barTwips && Label4->text() == percent + QLatin1Char('%'))
        return; // nothing on screen changes
    m_barTwips = twips;
    I1->setGeometry(0, 0, TwipsToPixelsX(this, twips), Pic1->height());
    Label4->setText(percent + QLatin1Char('%'));
}

void Frm_Progress::onError(const QString &message)
{
    // The downloader's own English texts read left to right, its Persian ones
    // right to left.
    Dialogs::Message(this, QStringLiteral("Error"), message, QMessageBox::Critical, QMessageBox::Ok,
                     message.isRightToLeft());
    PushButton2->setText(MaintenanceText::Download());
    Downloader->Cancel();
}

void Frm_Progress::onComplete()
{
    // The installer is checked and started once DownloadFile has returned.
    m_completed = true;
}

void Frm_Progress::closeEvent(QCloseEvent *event)
{
    if (Downloader->IsRunning()) {
        // The download ends first; the screen closes when it has.
        m_closeWhenDone = true;
        Downloader->Cancel();
        event->ignore();
        return;
    }
    EnableMainWindow(true);
    QDialog::closeEvent(event);
}

void Frm_Progress::reject()
{
    if (Downloader->IsRunning()) {
        m_closeWhenDone = true;
        Downloader->Cancel();
        return;
    }
    EnableMainWindow(true);
    QDialog::reject();
}
