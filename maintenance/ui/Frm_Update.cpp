#include "maintenance/ui/Frm_Update.h"

#include "common/Version.h"
#include "common/ui/Buttons.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Fonts.h"
#include "common/ui/Placement.h"
#include "common/ui/Twips.h"
#include "maintenance/InternetConnect.h"
#include "maintenance/UpdateCheck.h"
#include "maintenance/ui/Frm_Progress.h"
#include "maintenance/ui/MaintenanceTexts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QString Frm_Update::TitleText()
{
    return QStringLiteral("KVR %1.%2").arg(AppVersion::Major()).arg(AppVersion::Minor());
}

Frm_Update::Frm_Update(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Frm_Update"));
    setModal(true);
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(TitleText());

    Label1 = new QLabel(TitleText(), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont title = Label1->font();
    title.setPointSize(16);
    title.setBold(true);
    Label1->setFont(title);
    Label1->setAlignment(Qt::AlignCenter);
    Label2 = new QLabel(MaintenanceText::CheckIntro(), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setFont(Fonts::Persian(12, true));
    PBCheck = NamedButton(this, MaintenanceText::CheckButton(), "PBCheck");
    PBExit = NamedButton(this, MaintenanceText::Close(), "PBExit");
    PBCheck->setAutoDefault(false);
    PBExit->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(PBCheck);
    buttons->addStretch();
    buttons->addWidget(PBExit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addLayout(buttons);
    resize(TwipsToPixelsX(this, 6000), TwipsToPixelsY(this, 2600));
    Placement::Arrange(this, {7085, 2745});

    connect(PBCheck, &QPushButton::clicked, this, &Frm_Update::check);
    connect(PBExit, &QPushButton::clicked, this, &QDialog::reject);
}

void Frm_Update::Open(QWidget *parent)
{
    Frm_Update screen(parent);
    screen.exec();
}

void Frm_Update::check()
{
    const QString caption = TitleText();
    const auto tell = [this, &caption](const QString &text) {
        Dialogs::Message(this, MaintenanceText::Message(), text, QMessageBox::Information, QMessageBox::Ok,
                         false);
        setWindowTitle(caption);
    };
    if (!InternetConnect::IsConnected()) {
        tell(MaintenanceText::NotConnected());
        return;
    }
    setWindowTitle(QStringLiteral("Please wait..."));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const UpdateCheck::Outcome outcome = UpdateCheck::Check();
    if (outcome == UpdateCheck::Outcome::Offline) {
        // No connection, or the version file could not be fetched.
        QApplication::restoreOverrideCursor();
        tell(MaintenanceText::NotConnected());
        return;
    }
    if (outcome == UpdateCheck::Outcome::UpToDate) {
        QApplication::restoreOverrideCursor();
        tell(MaintenanceText::LatestVersion());
        return;
    }
    // Newer: this screen closes and the download screen takes over; the busy
    // pointer stays until that screen has closed.
    setWindowTitle(caption);
    accept();
    ShowDownloadScreen()(parentWidget());
    QApplication::restoreOverrideCursor();
}
