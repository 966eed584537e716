#pragma once
// The Excel export: every examinee of the stored query QueryMe, one row each
// under a header row, written as an Excel 97-2003 workbook. The export form
// (Frm_Excel) and "kvr-cli export" both come here.
#include <QString>
#include <QStringList>

namespace ExcelExport {

// The record source the export reads, as the program writes it.
QString RecordSource(); // "SELECT * FROM QueryMe "

// The export's headings by column position: examinee code, full name, age,
// gender, marital status, education, then "S1" to "S40" for the answers.
QStringList Headings();

// The file a chosen name is written to: ".xls" is added unless the name
// already ends in ".xls", in any letter case.
QString TargetPath(const QString &chosen);

// The save dialog's filter.
QString DialogFilter(); // "Excel (*.xls)"

struct Outcome
{
    bool ok = false;
    QString error;  // the failure's own description, as the system gives it
    QString reason; // the failure in one Persian sentence, for the screens
    int rows = 0;   // examinees written
    int sheets = 0;
};

// Reads QueryMe afresh from the database (the program folder's KVRDB.mdb,
// or the server when the records live on one, unless databaseFile is given),
// read-only, and writes the workbook
// to target exactly as named. The headings replace the query's column names
// by position; columns past the headings keep the query's names. The file
// appears only when complete and every step of writing it has succeeded: on
// any failure, a full disk included, nothing is left at target, no temporary
// file remains and a file that was there stays exactly as it was.
Outcome Write(const QString &target, const QString &databaseFile = QString());

} // namespace ExcelExport
