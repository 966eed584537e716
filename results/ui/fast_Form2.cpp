#include "results/ui/fast_Form2.h"

#include "common/PluginModule.h"
#include "common/ProgramFolder.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Placement.h"
#include "results/ReportRenderer.h"
#include "results/ui/ErgebnisTexts.h"
#include "results/ui/ReportPrinting.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>

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

void fast_Form2::savePdf(const ReportTemplate &report, QWidget *parent)
{
    const QString start = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                              .filePath(QStringLiteral("KVR.pdf"));
    QString path = Dialogs::SaveFileName(parent, ErgebnisText::SavePdf(), start, QStringLiteral("PDF (*.pdf)"));
    RestoreCurrentFolder();
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QLatin1String(".pdf");
    QString error, reason;
    if (!WriteReportPdf(report, path, &error, &reason))
        Dialogs::Message(parent, QStringLiteral("خطا"), ErgebnisText::FailureText(ErgebnisText::PdfNotSaved(), reason, error),
                         QMessageBox::Warning);
}

void fast_Form2::showPreview(const ReportTemplate &report, QWidget *parent)
{
    QString error;
    auto *printing = PluginModule::Get<ReportPrinting>(ReportPrint::PluginFileName(), &error);
    if (!printing) {
        // The profile is not lost without the printing part: it can still
        // be saved as a PDF, which needs no printer.
        QString text = ErgebnisText::PrintNotLoaded() + QLatin1Char('\n') + ErgebnisText::SavePdfInstead();
        if (!error.isEmpty())
            text += QLatin1Char('\n') + error;
        if (Dialogs::Message(parent, QStringLiteral("خطا"), text, QMessageBox::Warning,
                             QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes)
            savePdf(report, parent);
        return;
    }

    ReportPreviewRequest request;
    request.windowTitle = QStringLiteral("KVR");
    request.documentName = QStringLiteral("KVR");
    request.savePdfText = ErgebnisText::SavePdf();
    request.paintPage = [&report](QPainter &painter) { RenderReport(report, painter); };
    request.savePdf = [&report](QWidget *preview) { savePdf(report, preview); };
    // Two thirds of the screen's width and its whole height, for an upright
    // page, over the main window; Arrange() takes off what the frame needs.
    request.place = [](QWidget *preview) {
        const QRect area = Placement::AvailableArea(preview);
        preview->resize(qMax(area.width() * 2 / 3, qMin(720, area.width())), area.height());
        Placement::Arrange(preview);
    };
    printing->ShowPreview(request, parent);
}
