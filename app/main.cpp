#include "common/ProgramFolder.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Fonts.h"
#include "common/ui/ProgramIcon.h"
#include "common/ui/Translations.h"
#include "shell/ui/MDIForm1.h"
#include "store/DatabaseLocation.h"

#include "store/ui/StartupCheck.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    // No OpenGL set-up here: the contact window's web view brings its own
    // when that window first opens (shell/ui/WebView.h).
    // Fonts are set up on a second thread while the display is connected,
    // and listed there while the database opens and the main window is built.
    Fonts::EarlySetUp fontSetUp;
    QApplication app(argc, argv);
    const Fonts::EarlySetUp::Listing fontListing(fontSetUp);
    QApplication::setApplicationName(QStringLiteral("KVR"));
    QApplication::setLayoutDirection(Qt::RightToLeft);
    QApplication::setFont(Fonts::Persian(11));
    // The menu entry and the icon an installation puts in the icon theme.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.kvr.kvr"));
    QApplication::setWindowIcon(ProgramIcon(QCoreApplication::applicationDirPath()));

    // Qt's own texts (standard buttons, file dialogs, print preview) in Persian.
    Translations::InstallPersian();

    // An installed program keeps each user's records in their own data
    // folder; the first start puts the delivered database there.
    QString error;
    if (!PrepareProgramFolder(&error)) {
        Dialogs::Message(nullptr, QStringLiteral("خطا"), error, QMessageBox::Critical);
        return 1;
    }

    // The records are where this computer's settings put them: the file,
    // or a server. Without a sound database there is nothing to work on: say
    // so and end, never making an empty file in its place.
    DatabaseLocation::UseSaved();
    if (!DatabaseReadyAtStart())
        return 1;

    // The main window makes itself the program's main window and, on closing,
    // hands over to the exit confirmation.
    MDIForm1::Load();
    return app.exec();
}
