#include "common/ui/Fonts.h"
#include "shell/ui/MDIForm1.h"

#include "store/ui/StartupCheck.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // No OpenGL set-up here: the contact window's web view brings its own
    // when that window first opens (shell/ui/WebView.h).
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KVR"));
    QApplication::setLayoutDirection(Qt::RightToLeft);
    QApplication::setFont(Fonts::Persian(11));

    // Without a sound database file there is nothing to work on: say so and
    // end, never making an empty file in its place.
    if (!DatabaseReadyAtStart())
        return 1;

    // The main window makes itself the program's main window and, on closing,
    // hands over to the exit confirmation.
    MDIForm1::Load();
    return app.exec();
}
