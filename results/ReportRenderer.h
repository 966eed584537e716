#pragma once
#include <QString>
#include <QStringList>

class QIODevice;
class QPainter;
class ReportTemplate;

// Draws a report template onto any painter: a PDF writer, a printer, an
// image. The painter's origin is the page's top left corner; report units are
// turned into device pixels through the device's resolution, so text keeps
// its point size on every device and stays text in a PDF.
void RenderReport(const ReportTemplate &report, QPainter &painter);

// Writes the report as a one-page PDF (A4 or the template's page size). The
// file appears only when complete and every step of writing it has
// succeeded; on any failure (a full disk included) a file of that name stays
// exactly as it was, no temporary file remains, and the result is false with
// the system's description in *error and a Persian sentence for the screens
// in *persianReason.
bool WriteReportPdf(const ReportTemplate &report, const QString &path, QString *error = nullptr,
                    QString *persianReason = nullptr);
// The same PDF into an open device.
bool WriteReportPdf(const ReportTemplate &report, QIODevice &out, QString *error = nullptr);

// The family a memo is drawn with: the first of the wanted families that is
// installed; when none is, "B Nazanin", then "Nazli", then "Noto Naskh
// Arabic", whichever is installed first. Needs a running QGuiApplication.
QString ReportFontFamily(const QStringList &wanted);
