// Linked into a start-up benchmark program: ends the process as soon as its
// main window (a QMainWindow) is first shown on screen, so that the time from
// starting the program to its exit is the time to the shown main window.
#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QWindow>

#include <cstdio>
#include <unistd.h>

namespace {

class ExitWhenShown : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose) {
            auto *window = qobject_cast<QWindow *>(watched);
            if (window && window->isExposed())
                for (QWidget *w : QApplication::topLevelWidgets())
                    if (w->windowHandle() == window && qobject_cast<QMainWindow *>(w)) {
                        std::fflush(nullptr);
                        ::_exit(0); // no teardown: only the way up counts
                    }
        }
        return false;
    }
};

void install() { qApp->installEventFilter(new ExitWhenShown); }

} // namespace

Q_COREAPP_STARTUP_FUNCTION(install)
