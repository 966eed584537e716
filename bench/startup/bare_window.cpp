// The yardstick for the program's start-up: a bare Qt Widgets main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow w;
    w.resize(800, 600);
    w.show();
    return app.exec();
}
