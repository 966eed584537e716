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
// TelNummer1, Tester. The examinee's row and the answer row (made through
// `scratch`, reopened on "SELECT * FROM Answer1 ", when there is none) are
// written in one transaction: both reach the file or neither does. Inside it
// the code of a new examinee is checked again: when another program window
// has given that code to an examinee since this one was shown it, the
// examinee gets the next free code by the same rule (Examinees::NextCode).
// *storedCode gets the code stored. On failure returns false with the
// Persian reason (SQLite's words on a second line) in *error, and the file
// is as it was.
bool Save(DataControl &rows, DataControl &scratch, const Entry &entry, QString *error,
          QString *storedCode = nullptr);

} // namespace Registry
