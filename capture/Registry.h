#pragma once
// The examinee registry's rules that need no screen: which required entry is
// missing, and saving an examinee with its answer row.
#include <QString>

class DataControl;

namespace Registry {

// The required entries, checked in this order: name, age, gender. A name of
// blanks counts as given (it is stored as empty text).
enum class Missing { None, Name, Age, Gender };
Missing FirstMissing(const QString &fullName, const QString &age, const QString &gender);
// The timed message for a missing entry (empty for None).
QString MissingMessage(Missing missing);

struct Entry {
    QString code;
    QString fullName;
    QString age;
    QString gender;
    QString marital;
    QString date;
    QString education;
    QString telephone;
    QString tester;
};

// Saves the entry into the current row of `rows` (a control on the IDE
// statement; the row may be newly added): every value trimmed, set in the
// order Code, FullName, Alter, Geschlecht, Heirat, Datum1, Bildung,
// TelNummer1, Tester. Then makes sure the examinee's answer row exists
// through `scratch` (reopened on "SELECT * FROM Answer1 ") and commits the
// row. On failure returns false with the reason in *error; an answer row made
// by this save is taken back when the examinee's row cannot be written, so a
// failed save leaves the file as it was.
bool Save(DataControl &rows, DataControl &scratch, const Entry &entry, QString *error);

} // namespace Registry
