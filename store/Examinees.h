#pragma once
// The registry's rules on examinee rows, run through a data control the
// screen owns (the control is opened on the statement each rule needs).
#include <QString>

class DataControl;

namespace Examinees {

// The next examinee code: 1 for an empty IDE table, else the code of the
// most recently inserted row plus 1 (an empty or non-numeric code counts as
// 0), stepped upward past every code in use. A code freed by a deletion is
// handed out again. Opens dc on the examinees' ids and codes in insertion
// order ("select id,Code  from IDE order by id ") and leaves it filtered by
// the code found. Returns an empty text when the table cannot be read.
QString NextCode(DataControl &dc);

// The numeric value of a code text: its decimal digits as a number; empty
// or non-numeric text gives 0.
qint64 CodeValue(const QString &code);

// Makes sure the answer row of the code exists: opens dc on
// "SELECT * FROM Answer1 ", filters it by the code's numeric value, and adds
// a row holding only Code when none matches. True when the row exists
// afterwards.
bool EnsureAnswerRow(DataControl &dc, const QString &code);

// Deletes the examinee: the first IDE row with the code, then the first
// Answer1 row with it, both through dc and in one transaction, so either
// both are gone or both stay. A code without a row is not an error. True
// when every delete that was due succeeded; otherwise dc must be refreshed.
bool DeleteExaminee(DataControl &dc, const QString &code);

// The Persian heading of an IDE column in the examinee lists ("FullName":
// "نام و نام خانوادگي"); empty for a column that is not one of them.
QString ColumnHeading(const QString &column);

} // namespace Examinees
