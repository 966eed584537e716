#pragma once
// The answer import: the 40 answers of one examinee taken from a filled-in
// copy of the answer template (marker sheet, "KVR" in Z3, answers in F2 to
// F41) into the examinee's Answer1 row. Logic only; Frm_File shows the
// outcome.
#include "capture/WorkbookReader.h"

#include <QString>

class DataControl;

namespace AnswerImport {

enum class Outcome {
    Imported,    // the answers were stored
    WrongMarker, // Z3 of the marker sheet is not exactly "KVR"
    Unreadable,  // no workbook, no marker sheet, or no answer row to fill
    WriteFailed, // the database could not be read or the row not written; the stored answers are unchanged
    Uncalculated, // a cell read holds a formula without a stored result; nothing was stored
    ReaderMissing, // the program's .xlsx reader did not load; nothing was stored
};

struct Report {
    Outcome outcome = Outcome::Unreadable;
    QString reason;  // why, for Unreadable and Uncalculated (the cells); for WriteFailed and ReaderMissing in Persian (the system's words on a second line)
    int changed = 0; // answers that differ from what was stored
};

// The record source of the answer rows.
QString AnswerSource(); // "SELECT * FROM Answer1 "
// The connection text every data control of the screen is given.
QString ConnectionText();

// True for the cell texts that replace a stored answer: empty (clears it),
// "0", "1" or "2". Any other text leaves the stored answer as it is.
bool IsAnswerText(const QString &text);

// Reads the workbook at path and stores its answers for the examinee code
// through answers, which is opened on AnswerSource() and filtered by
// "Code='" + code + "'". The import never creates an answer row.
Report Run(DataControl &answers, const QString &code, const QString &path);

// The storing half of Run, for cells already read. Only a workbook read
// whole (status Ok) is stored: a formula without a stored result could hide
// any answer, so such a workbook changes nothing. All 40 columns are
// written together in one statement: either every answer reaches the file
// or none does. After a failed write the control is read again, so it shows
// what the file holds.
Report Store(DataControl &answers, const QString &code, const WorkbookReader::Result &cells);

} // namespace AnswerImport
