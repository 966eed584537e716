#include "store/ui/StartupCheck.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KVR"));
    QApplication::setLayoutDirection(Qt::RightToLeft);

    // Without a sound database file there is nothing to work on: say so and
    // end, never making an empty file in its place.
    if (!DatabaseReadyAtStart())
        return 1;

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("KVR"));
    window.resize(900, 600);
    window.show();
    return app.exec();
}
