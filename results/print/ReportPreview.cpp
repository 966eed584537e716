// The plugin kvr-print.so: the report's print preview, the only part of the
// program that uses the printing library (results/ui/ReportPrinting.h).
#include "results/print/PreviewToolbar.h"
#include "results/ui/ReportPrinting.h"

#include <QAction>
#include <QObject>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

class ReportPreview : public QObject, public ReportPrinting
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KVR_REPORT_PRINTING_IID)
    Q_INTERFACES(ReportPrinting)

public:
    void ShowPreview(const ReportPreviewRequest &request, QWidget *parent) override
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(QPageLayout::Portrait);
        printer.setFullPage(true);
        printer.setDocName(request.documentName);

        QPrintPreviewDialog dialog(&printer, parent);
        dialog.setObjectName(QStringLiteral("ReportPreview"));
        dialog.setWindowTitle(request.windowTitle);
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&request](QPrinter *p) {
            QPainter painter(p);
            if (painter.isActive() && request.paintPage)
                request.paintPage(painter);
        });

        // Saving as PDF does not depend on the system's print dialog offering it.
        if (auto *toolbar = dialog.findChild<QToolBar *>()) {
            toolbar->addSeparator();
            QAction *save = toolbar->addAction(request.savePdfText);
            save->setObjectName(QStringLiteral("SavePdf"));
            QObject::connect(save, &QAction::triggered, &dialog, [&dialog, &request] {
                if (request.savePdf)
                    request.savePdf(&dialog);
            });
        }
        ArrangePreviewToolbar(&dialog);
        if (request.place)
            request.place(&dialog);
        dialog.exec();
    }
};

#include "ReportPreview.moc"
