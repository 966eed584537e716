#include "common/ui/Placement.h"

#include "common/ui/MainWindowRef.h"
#include "common/ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Placement {
namespace {

// A title bar and thin borders; the window managers of the desktops the
// program runs on stay within this.
const QMargins kFrameAllowance(4, 32, 4, 4);

bool shownOnScreen(const QWidget *w)
{
    return w && w->isVisible() && !w->testAttribute(Qt::WA_DontShowOnScreen);
}

QMargins measured(const QWidget *w)
{
    const QRect frame = w->frameGeometry();
    const QRect inner = w->geometry();
    return QMargins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                    frame.bottom() - inner.bottom());
}

void place(QWidget *window, const Spot &spot)
{
    const QRect area = AvailableArea(window);
    const QMargins frame = FrameMargins(window);
    QRect wanted(QPoint(), window->size().grownBy(frame));

    // Centred over the main window (the screen when there is none).
    QWidget *main = MainWindow();
    const QRect over = main && main != window && shownOnScreen(main) ? main->frameGeometry() : area;
    wanted.moveCenter(over.center());
    if (spot.left != Centred)
        wanted.moveLeft(area.left() + TwipsToPixelsX(window, spot.left));
    if (spot.top != Centred)
        wanted.moveTop(area.top() + TwipsToPixelsY(window, spot.top));

    const QRect fitted = Fit(wanted, area, window->minimumSize().grownBy(frame));
    const QSize client = fitted.size().shrunkBy(frame);
    if (client != window->size())
        window->resize(client.expandedTo(window->minimumSize()).boundedTo(window->maximumSize()));
    window->move(fitted.topLeft());
}

} // namespace

QRect Fit(QRect wanted, const QRect &area, QSize minimum)
{
    wanted.setWidth(qMax(qMin(wanted.width(), area.width()), minimum.width()));
    wanted.setHeight(qMax(qMin(wanted.height(), area.height()), minimum.height()));
    wanted.moveLeft(qMax(area.left(), qMin(wanted.left(), area.right() - wanted.width() + 1)));
    wanted.moveTop(qMax(area.top(), qMin(wanted.top(), area.bottom() - wanted.height() + 1)));
    return wanted;
}

QRect AvailableArea(const QWidget *window)
{
    const QWidget *main = MainWindow();
    QScreen *screen = main && main != window && shownOnScreen(main) ? main->screen() : nullptr;
    if (!screen && window)
        screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
}

QMargins FrameMargins(const QWidget *window)
{
    if (shownOnScreen(window) && window->frameGeometry() != window->geometry())
        return measured(window);
    const QWidget *main = MainWindow();
    if (main && main != window && shownOnScreen(main) && main->frameGeometry() != main->geometry())
        return measured(main);
    return kFrameAllowance;
}

void Arrange(QWidget *window, Spot spot)
{
    // A window that has not been sized yet gets the size showing it would give it.
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    place(window, spot);
}

void ShowMainWindow(QWidget *window)
{
    const QRect area = AvailableArea(window);
    const QMargins frame = FrameMargins(window);
    QRect wanted(QPoint(), window->size().grownBy(frame));
    const bool fits = wanted.width() <= area.width() && wanted.height() <= area.height();
    wanted.moveCenter(area.center());
    const QRect fitted = Fit(wanted, area, window->minimumSize().grownBy(frame));
    window->resize(fitted.size().shrunkBy(frame).expandedTo(window->minimumSize()));
    window->move(fitted.topLeft());
    if (fits)
        window->show();
    else
        window->showMaximized();
}

} // namespace Placement
