#pragma once
// The report's print preview lives in a plugin of its own (kvr-print.so,
// common/PluginModule.h), so that the printing library is loaded the first
// time a profile is shown, not at every start. The plugin holds only the
// window, the printer and the toolbar; the program hands it the drawing of
// the page, the handler of the "save as PDF" button, the placing of the
// window and the texts, so that the file dialogs, message boxes and file
// writing stay the program's own.
#include <QString>
#include <QtPlugin>

#include <functional>

class QPainter;
class QWidget;

struct ReportPreviewRequest {
    QString windowTitle;
    QString documentName; // what a print queue shows
    QString savePdfText;  // the toolbar button that saves the page as a PDF
    // Draws the page with a painter on the printer (the preview's or the
    // real one), A4 upright, the whole sheet, at the printer's resolution.
    std::function<void(QPainter &painter)> paintPage;
    // The save button was pressed; the preview window is the parent of
    // whatever the handler shows.
    std::function<void(QWidget *preview)> savePdf;
    // Sizes and places the window once its toolbar is arranged, just before
    // it is shown.
    std::function<void(QWidget *preview)> place;
};

class ReportPrinting
{
public:
    virtual ~ReportPrinting() = default;
    // Shows the preview (object name "ReportPreview") modally over parent:
    // printing and the save button (object name "SavePdf") first on its
    // toolbar, each with its caption beside its icon, and every tool tip in
    // the program's language. Returns when the user has closed it.
    virtual void ShowPreview(const ReportPreviewRequest &request, QWidget *parent) = 0;
};

#define KVR_REPORT_PRINTING_IID "kvr.ReportPrinting/1"
Q_DECLARE_INTERFACE(ReportPrinting, KVR_REPORT_PRINTING_IID)

namespace ReportPrint {
inline QString PluginFileName() { return QStringLiteral("kvr-print.so"); }
} // namespace ReportPrint
