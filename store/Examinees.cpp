#include "store/Examinees.h"

#include "store/DataControl.h"

namespace Examinees {

namespace {
const QString kIdeSource = QStringLiteral("SELECT * FROM IDE ");
const QString kCodeSource = QStringLiteral("select id,Code  from IDE order by id ");
const QString kAnswerSource = QStringLiteral("SELECT * FROM Answer1 ");
}

qint64 CodeValue(const QString &code)
{
    bool ok = false;
    const qint64 v = code.trimmed().toLongLong(&ok);
    return ok ? v : 0;
}

QString NextCode(DataControl &dc)
{
    // Only the codes in insertion order are needed: the last row of
    // "SELECT * FROM IDE " is the one with the highest id, and reading two
    // columns instead of all ten keeps this quick with many examinees.
    if (!dc.Open(kCodeSource))
        return QString();
    if (dc.RecordCount() == 0)
        return QStringLiteral("1");
    dc.MoveLast();
    qint64 candidate = CodeValue(dc.Value(QStringLiteral("Code"))) + 1;
    // Each step of the rule asks whether a row holds the candidate, as a
    // filter by it would; the control answers all steps from one sorted copy
    // of the codes instead of one scan per step.
    candidate = dc.FirstFreeNumber(QStringLiteral("Code"), candidate);
    const QString code = QString::number(candidate);
    dc.Filter(QStringLiteral("code='") + code + QLatin1Char('\''));
    return code;
}

bool EnsureAnswerRow(DataControl &dc, const QString &code)
{
    const QString value = QString::number(CodeValue(code));
    if (!dc.Open(kAnswerSource))
        return false;
    if (!dc.Filter(QStringLiteral("code='") + value + QLatin1Char('\'')))
        return false;
    if (dc.RecordCount() != 0)
        return true;
    return dc.AddNew() && dc.SetValue(QStringLiteral("Code"), value) && dc.Update();
}

bool DeleteExaminee(DataControl &dc, const QString &code)
{
    // Both rows go, or neither: should the examinee's row stay, its answers
    // stay with it, since a code is only given out again once no examinee
    // holds it, and a new examinee must not find an old answer row under its
    // code.
    if (!dc.BeginTransaction())
        return false;
    for (const QString &source : {kIdeSource, kAnswerSource}) {
        if (!dc.Open(source) || !dc.Filter(QStringLiteral("Code='") + code + QLatin1Char('\''))
            || (dc.RecordCount() != 0 && !dc.Delete())) {
            dc.RollbackTransaction(); // LastError() stays
            return false;
        }
    }
    return dc.CommitTransaction();
}

QString ColumnHeading(const QString &column)
{
    static const struct {
        const char *column;
        const char *heading;
    } headings[] = {
        {"id", "شماره"},        {"FullName", "نام و نام خانوادگي"}, {"Alter", "سن"},
        {"Geschlecht", "جنس"}, {"Heirat", "تاهل"},                {"Datum1", "تاريخ"},
        {"Bildung", "تحصيلات"}, {"TelNummer1", "تلفن"},             {"Tester", "نام آزمونگر"},
        {"Code", "كد"},
    };
    for (const auto &h : headings)
        if (column.compare(QLatin1String(h.column), Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(h.heading);
    return QString();
}

} // namespace Examinees
