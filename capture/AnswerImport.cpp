#include "capture/AnswerImport.h"

#include "capture/CaptureTexts.h"
#include "capture/Connection.h"

#include "common/ProgramFolder.h"
#include "store/DataControl.h"

#include <QDir>

namespace AnswerImport {

namespace {
Report Outcome_(Outcome outcome, const QString &reason = QString())
{
    Report r;
    r.outcome = outcome;
    r.reason = reason;
    return r;
}

QString CodeFilter(const QString &code)
{
    QString quoted = code;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QStringLiteral("Code='") + quoted + QLatin1Char('\'');
}
} // namespace

QString AnswerSource() { return QStringLiteral("SELECT * FROM Answer1 "); }

QString ConnectionText() { return CaptureDb::ConnectionText(); }

bool IsAnswerText(const QString &text)
{
    return text.isEmpty() || text == u"0" || text == u"1" || text == u"2";
}

Report Run(DataControl &answers, const QString &code, const QString &path)
{
    return Store(answers, code, WorkbookReader::Read(path));
}

Report Store(DataControl &answers, const QString &code, const WorkbookReader::Result &cells)
{
    // A fault of the installation, not of the workbook: said as such.
    if (cells.status == WorkbookReader::Status::ReaderMissing)
        return Outcome_(Outcome::ReaderMissing, CaptureText::XlsxReaderMissing() + QLatin1Char('\n') + cells.reason);
    if (cells.status == WorkbookReader::Status::Uncalculated)
        return Outcome_(Outcome::Uncalculated, cells.reason);
    if (cells.status != WorkbookReader::Status::Ok || cells.answers.size() != WorkbookReader::kItems)
        return Outcome_(Outcome::Unreadable, cells.reason);
    // The marker text is compared exactly, letter case included.
    if (cells.z3 != WorkbookReader::MarkerText())
        return Outcome_(Outcome::WrongMarker);

    // A database that cannot be read is no fault of the workbook.
    if (!answers.Open(AnswerSource(), ConnectionText()))
        return Outcome_(Outcome::WriteFailed, answers.PersianError());
    if (code.isEmpty() || !answers.Filter(CodeFilter(code)) || answers.RecordCount() == 0)
        return Outcome_(Outcome::Unreadable, QStringLiteral("no answer row for code %1").arg(code));

    Report report;
    for (int n = 1; n <= WorkbookReader::kItems; ++n) {
        const QString column = QString::number(n);
        const QString text = cells.answers[n - 1];
        if (!IsAnswerText(text))
            continue;
        if (answers.Value(column) != text)
            ++report.changed;
        if (!answers.SetValue(column, text)) {
            const QString reason = answers.LastError();
            answers.Refresh();
            answers.Filter(CodeFilter(code));
            return Outcome_(Outcome::Unreadable, reason);
        }
    }
    // One UPDATE of the changed columns: SQLite applies it whole or not at all.
    if (!answers.Update()) {
        Report failed = Outcome_(Outcome::WriteFailed, answers.PersianError());
        answers.Refresh();
        answers.Filter(CodeFilter(code));
        return failed;
    }
    report.outcome = Outcome::Imported;
    return report;
}

} // namespace AnswerImport
