#pragma once
// The data export: every examinee of the stored query QueryMe, one row each
// under a header row, optionally with the scores, as an Excel 97-2003
// workbook (.xls, the default), an Excel workbook (.xlsx), an SPSS system file
// (.sav) or CSV. The export form (Frm_Excel) and "kvr-cli export" both come
// here. Every format is written as the rows are read, so the memory it takes
// does not grow with the number of examinees.
#include <QString>
#include <QStringList>

class QIODevice;

namespace ExcelExport {

// The record source the export reads, as the program writes it.
QString RecordSource(); // "SELECT * FROM QueryMe "

// The export's headings by column position: examinee code, full name, age,
// gender, marital status, education, then "S1" to "S40" for the answers.
QStringList Headings();

enum class Format { Xls, Xlsx, Sav, Csv };

// ".xls", ".xlsx", ".sav", ".csv".
QString Extension(Format format);
// The format a file name asks for by its extension, in any letter case;
// false when it ends in none of the four.
bool FormatOfName(const QString &name, Format *format);
// The file a chosen name is written to: the format's extension is added
// unless the name already ends in it, in any letter case.
QString TargetPath(const QString &chosen, Format format = Format::Xls);

// The save dialog's filter: one file type per format, the .xls one first.
QString DialogFilter();
// The format of one file type of DialogFilter(); .xls for any other text.
Format FormatOfFilter(const QString &fileType);

struct Options
{
    Format format = Format::Xls;
    // Adds the eight raw scores, the eight stens and the norms used (male,
    // female, none; no stens for none) to every row, scored as the results
    // screen scores.
    bool scores = false;
};

struct Outcome
{
    bool ok = false;
    QString error;  // the failure's own description, as the system gives it
    QString reason; // the failure in one Persian sentence, for the screens
    int rows = 0;   // examinees written
    int sheets = 0; // worksheets of a workbook; 0 for the other formats
};

// Reads QueryMe afresh from the database (the program folder's KVRDB.mdb,
// or the server when the records live on one, unless databaseFile is given),
// read-only, and writes the chosen format to target exactly as named. The
// headings replace the query's column names by position; columns past the
// headings keep the query's names. The file appears only when complete and
// every step of writing it has succeeded: on any failure, a full disk
// included, nothing is left at target, no temporary file remains and a file
// that was there stays exactly as it was.
Outcome Write(const QString &target, const Options &options, const QString &databaseFile = QString());
// The .xls export without scores.
Outcome Write(const QString &target, const QString &databaseFile = QString());

// The same export into an open, empty device (seekable for .xls). The
// caller commits or discards what was written.
Outcome WriteTo(QIODevice &out, const Options &options, const QString &databaseFile = QString());

} // namespace ExcelExport
