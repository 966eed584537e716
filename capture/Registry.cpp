#include "capture/Registry.h"

#include "capture/CaptureTexts.h"
#include "store/DataControl.h"
#include "store/Examinees.h"

namespace Registry {

Missing FirstMissing(const QString &fullName, const QString &age, const QString &gender)
{
    if (fullName.isEmpty())
        return Missing::Name;
    if (age.isEmpty())
        return Missing::Age;
    if (gender.isEmpty())
        return Missing::Gender;
    return Missing::None;
}

QString MissingMessage(Missing missing)
{
    switch (missing) {
    case Missing::Name:
        return CaptureText::NeedName();
    case Missing::Age:
        return CaptureText::NeedAge();
    case Missing::Gender:
        return CaptureText::NeedGender();
    case Missing::None:
        break;
    }
    return QString();
}

namespace {
const QString kAnswerSource = QStringLiteral("SELECT * FROM Answer1 ");

QString answerFilter(const QString &code)
{
    return QStringLiteral("code='") + QString::number(Examinees::CodeValue(code)) + QLatin1Char('\'');
}
}

bool Save(DataControl &rows, DataControl &scratch, const Entry &entry, QString *error)
{
    auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (rows.CurrentRow() < 0)
        return failed(QStringLiteral("There is no examinee row to save."));
    const QString code = entry.code.trimmed();
    if (code.isEmpty())
        return failed(QStringLiteral("The examinee has no code."));

    const std::pair<const char *, QString> values[] = {
        {"Code", entry.code},         {"FullName", entry.fullName}, {"Alter", entry.age},
        {"Geschlecht", entry.gender}, {"Heirat", entry.marital},    {"Datum1", entry.date},
        {"Bildung", entry.education}, {"TelNummer1", entry.telephone}, {"Tester", entry.tester},
    };
    for (const auto &v : values)
        if (!rows.SetValue(QLatin1String(v.first), v.second.trimmed()))
            return failed(rows.LastError());

    // Whether the answer row is already there decides what a failed write of
    // the examinee's row has to take back.
    scratch.SetConnectionString(rows.ConnectionString());
    if (!scratch.Open(kAnswerSource) || !scratch.Filter(answerFilter(code)))
        return failed(scratch.LastError());
    const bool hadAnswerRow = scratch.RecordCount() != 0;
    if (!Examinees::EnsureAnswerRow(scratch, code))
        return failed(scratch.LastError());

    if (!rows.Update()) {
        const QString why = rows.LastError();
        if (!hadAnswerRow && scratch.Filter(answerFilter(code)) && scratch.RecordCount() != 0)
            scratch.Delete();
        return failed(why);
    }
    return true;
}

} // namespace Registry
