#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KVR"));
    QApplication::setLayoutDirection(Qt::RightToLeft);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("KVR"));
    window.resize(900, 600);
    window.show();
    return app.exec();
}
