#include "capture/Registry.h"

#include "capture/CaptureTexts.h"
#include "store/DatabaseError.h"
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
const QString kCodeSource = QStringLiteral("select id,Code  from IDE order by id ");
}

bool Save(DataControl &rows, DataControl &scratch, const Entry &entry, QString *error, QString *storedCode)
{
    auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (rows.CurrentRow() < 0)
        return failed(DatabaseError::Text(0, QStringLiteral("There is no examinee row to save.")));
    QString code = entry.code.trimmed();
    if (code.isEmpty())
        return failed(DatabaseError::Text(0, QStringLiteral("The examinee has no code.")));

    const std::pair<const char *, QString> values[] = {
        {"Code", entry.code},         {"FullName", entry.fullName}, {"Alter", entry.age},
        {"Geschlecht", entry.gender}, {"Heirat", entry.marital},    {"Datum1", entry.date},
        {"Bildung", entry.education}, {"TelNummer1", entry.telephone}, {"Tester", entry.tester},
    };
    for (const auto &v : values)
        if (!rows.SetValue(QLatin1String(v.first), v.second.trimmed()))
            return failed(rows.PersianError());

    // From here until the commit no other program can write, so a code found
    // free stays free.
    if (!rows.BeginTransaction())
        return failed(rows.PersianError());
    const auto rollback = [&](const DataControl &which) {
        const QString why = which.PersianError();
        rows.RollbackTransaction();
        return failed(why);
    };
    scratch.SetConnectionString(rows.ConnectionString());
    if (rows.IsNewRow()) {
        if (!scratch.Open(kCodeSource))
            return rollback(scratch);
        if (scratch.ContainsValue(QStringLiteral("Code"), code)) {
            code = Examinees::NextCode(scratch);
            if (code.isEmpty())
                return rollback(scratch);
            if (!rows.SetValue(QStringLiteral("Code"), code))
                return rollback(rows);
        }
    }
    if (!Examinees::EnsureAnswerRow(scratch, code))
        return rollback(scratch);
    if (!rows.Update())
        return rollback(rows);
    if (!rows.CommitTransaction())
        return failed(rows.PersianError());
    if (storedCode)
        *storedCode = code;
    return true;
}

} // namespace Registry
