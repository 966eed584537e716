#include "results/ui/fast_Form2.h"

#include "common/ProgramFolder.h"
#include "common/ui/Dialogs.h"
#include "results/ReportRenderer.h"
#include "results/ui/ErgebnisTexts.h"
#include "results/ui/PreviewToolbar.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStandardPaths>
#include <QToolBar>

namespace {
fast_Form2::PreviewHook &previewHook()
{
    static fast_Form2::PreviewHook hook;
    return hook;
}
}

fast_Form2::fast_Form2(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("fast_Form2"));
    setAttribute(Qt::WA_DontShowOnScreen);
    txtid_ = new QLineEdit(this);
    txtid_->setObjectName(QStringLiteral("Txtid"));
    command1_ = new QPushButton(QStringLiteral("Show report"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    picture2_ = new QLabel(this);
    picture2_->setObjectName(QStringLiteral("Picture2"));
    connect(command1_, &QPushButton::clicked, this, &fast_Form2::run);
}

void fast_Form2::SetPreviewHook(PreviewHook hook)
{
    previewHook() = std::move(hook);
}

void fast_Form2::RunReport(const ProfileInputs &inputs, QWidget *parent)
{
    auto *form = new fast_Form2(parent);
    form->Inputs() = inputs;
    form->Txtid()->setText(inputs.summaryLine);
    form->Command1()->click();
}

void fast_Form2::run()
{
    ProfileInputs inputs = inputs_;
    inputs.summaryLine = txtid_->text();

    QImage logo;
    const ReportTemplate report = FillProfileReport(inputs, &logo);
    picture2_->setPixmap(logo.isNull() ? QPixmap() : QPixmap::fromImage(logo));

    // The preview is modal; the form is unloaded once it has been closed.
    QPointer<fast_Form2> self(this);
    QWidget *owner = parentWidget();
    if (previewHook())
        previewHook()(report);
    else
        showPreview(report, owner);
    RestoreCurrentFolder();
    if (self)
        self->deleteLater();
}

void fast_Form2::showPreview(const ReportTemplate &report, QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(true);
    printer.setDocName(QStringLiteral("KVR"));

    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("ReportPreview"));
    dialog.setWindowTitle(QStringLiteral("KVR"));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&report](QPrinter *p) {
        QPainter painter(p);
        if (painter.isActive())
            RenderReport(report, painter);
    });

    // Saving as PDF does not depend on the system's print dialog offering it.
    if (auto *toolbar = dialog.findChild<QToolBar *>()) {
        toolbar->addSeparator();
        QAction *save = toolbar->addAction(QStringLiteral("ذخيره به صورت PDF"));
        save->setObjectName(QStringLiteral("SavePdf"));
        QObject::connect(save, &QAction::triggered, &dialog, [&dialog, &report] {
            const QString start = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                                      .filePath(QStringLiteral("KVR.pdf"));
            QString path = Dialogs::SaveFileName(&dialog, QStringLiteral("ذخيره به صورت PDF"), start,
                                                 QStringLiteral("PDF (*.pdf)"));
            RestoreCurrentFolder();
            if (path.isEmpty())
                return;
            if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
                path += QLatin1String(".pdf");
            QString error, reason;
            if (!WriteReportPdf(report, path, &error, &reason))
                Dialogs::Message(&dialog, QStringLiteral("خطا"),
                                 ErgebnisText::FailureText(ErgebnisText::PdfNotSaved(), reason, error),
                                 QMessageBox::Warning);
        });
    }
    ArrangePreviewToolbar(&dialog);
    dialog.exec();
}
