#include "results/print/PreviewToolbar.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPrintPreviewDialog>
#include <QToolBar>
#include <QToolButton>

void ArrangePreviewToolbar(QPrintPreviewDialog *dialog)
{
    // Its own reading direction, which a file dialog opened from it (saving
    // as PDF) leaves alone.
    dialog->setLayoutDirection(QGuiApplication::layoutDirection());
    auto *toolbar = dialog->findChild<QToolBar *>();
    if (!toolbar)
        return;
    // The dialog names none of its actions; its print action carries the
    // dialog's own (translated) caption.
    const QString printText = QCoreApplication::translate("QPrintPreviewDialog", "Print");
    QAction *print = nullptr;
    QAction *savePdf = nullptr;
    for (QAction *a : toolbar->actions()) {
        if (!print && a->text() == printText)
            print = a;
        if (a->objectName() == QLatin1String("SavePdf"))
            savePdf = a;
        // Tool tips follow the (translated) captions.
        if (!a->isSeparator() && a->toolTip() != a->text())
            a->setToolTip(a->text());
    }
    const QList<QAction *> first = {print, savePdf};
    QAction *before = nullptr;
    for (QAction *a : toolbar->actions())
        if (!first.contains(a)) {
            before = a;
            break;
        }
    for (QAction *a : first) {
        if (!a)
            continue;
        toolbar->removeAction(a);
        toolbar->insertAction(before, a);
        if (auto *button = qobject_cast<QToolButton *>(toolbar->widgetForAction(a)))
            button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    if (print || savePdf)
        toolbar->insertSeparator(before);
}
