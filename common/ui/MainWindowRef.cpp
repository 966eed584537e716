#include "common/ui/MainWindowRef.h"

#include <QPointer>
#include <QWidget>

namespace {
QPointer<QWidget> &mainWindow()
{
    static QPointer<QWidget> w;
    return w;
}
}

void SetMainWindow(QWidget *window) { mainWindow() = window; }
QWidget *MainWindow() { return mainWindow(); }
void EnableMainWindow(bool enabled)
{
    if (mainWindow())
        mainWindow()->setEnabled(enabled);
}
