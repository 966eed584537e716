#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// Reads the few cells the answer import needs from a workbook, without a
// spreadsheet application: Z3 and F2 to F41 of the marker worksheet.
//
// The format is taken from the file's content, never from its name: a zip
// archive is read as an Office Open XML workbook (.xlsx), a compound
// document as an Excel 97-2003 workbook (.xls); anything else is refused.
//
// Cells come back as text by one rule for both formats (WorkbookCells.h): a
// number as its plain decimal text (1, not 1.0; 1.5 stays 1.5), a number in
// a date or time format as the date it shows, text as it stands, an empty or
// missing cell as empty text, TRUE or FALSE for a boolean, the error's name
// for an error, and a formula as its stored result. A formula whose result
// the file does not hold (as some libraries write them) is not guessed at:
// the workbook is refused as Uncalculated.
//
// The reader trusts nothing in the file. It reads at most kMaxFileBytes of
// input, unpacks at most a fixed budget of each archive member, refuses XML
// nested deeper than any workbook needs, stops reading the sheet once it is
// past row 41, checks every sector number, chain and size in a compound
// document, and gives up on sheets or string tables that go on too long.
// Every such case is an error, never a crash or a hang. An .xlsx is read
// member by member from the file; an .xls is held whole with its workbook
// stream, so no file within kMaxFileBytes makes the reader use more than
// about twice its size.
//
// The zip archive of an .xlsx is opened by the plugin kvr-zip.so, loaded at
// the first .xlsx read (capture/ZipArchive.h). Where it cannot be loaded,
// every .xlsx is refused as ReaderMissing; .xls files are read as ever.
class WorkbookReader
{
public:
    enum class Status {
        Ok,            // the marker worksheet was found and its cells read
        NotAWorkbook,  // neither a zip archive nor an OLE compound file
        Damaged,       // a workbook in form, but broken, malformed or over a limit
        NoMarkerSheet, // a readable workbook without the marker worksheet
        Uncalculated,  // a cell read holds a formula without a stored result
        ReaderMissing, // a zip archive, but the program's zip reader (a plugin) did not load
    };

    struct Result {
        Status status = Status::NotAWorkbook;
        QString reason;      // for the developer; empty when status is Ok
        QString z3;          // the marker cell
        QStringList answers; // F2 .. F41: answers[n - 1] is item n; always 40 entries
    };

    // The name of the marker worksheet; Excel matches sheet names without
    // regard to case, and so does the reader.
    static QString MarkerSheetName();
    // The text cell Z3 of a genuine template holds (letter case counts).
    static QString MarkerText();

    static constexpr int kItems = 40;
    static constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;

    static Result Read(const QString &path);
    // Same as Read for a workbook held in memory (tests and the fuzz target).
    static Result ReadBytes(const QByteArray &bytes);
};
