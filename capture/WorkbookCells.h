#pragma once
// What the workbook reader keeps of the cells the import reads, whichever
// format they came from, and the one rule that turns them into text. Both
// the .xlsx and the .xls reader hand their cells to Finish(), so one
// workbook saved in either format gives the same 41 texts.
#include "capture/WorkbookReader.h"

#include <QString>

namespace WorkbookCells {

// The cells the import reads: Z3 of the marker sheet and F2 to F41. Each has
// a slot: 0 is Z3, n is F(n + 1), the answer to item n.
constexpr int kMarkerRow = 3;
constexpr int kMarkerColumn = 26; // Z
constexpr int kAnswerColumn = 6;  // F
constexpr int kFirstAnswerRow = 2;
constexpr int kLastAnswerRow = kFirstAnswerRow + WorkbookReader::kItems - 1; // 41
constexpr int kSlots = WorkbookReader::kItems + 1;

// The slot of the cell at row and column (both from 1), or -1 when the
// import does not read that cell.
int SlotOf(int row, int column);
// "Z3", "F2", ... for a slot.
QString CellName(int slot);

// A cell's value as the workbook stores it.
struct Value {
    enum class Kind {
        Empty,        // no cell, a blank cell, or a formula whose result is empty text
        Number,       // number (a date or time is a number in a date format)
        Text,         // text, as stored
        Boolean,      // number is 0 or 1
        Error,        // text holds the error's name, "#N/A"
        Uncalculated, // a formula whose result the file does not hold
    };
    Kind kind = Kind::Empty;
    double number = 0;
    QString text;
    bool dateFormat = false; // a Number shown as a date or time
};

// The text the import compares, by one rule for every format:
//  - a number as its plain decimal text with at most 15 significant digits
//    (1, not 1.0; 1.5 as 1.5);
//  - a number in a date or time format as the date and time it shows
//    ("1900-01-02", "2023-03-15 12:00:00", "18:00:00"), never as the bare
//    number, so a cell that shows a date is never taken for an answer;
//  - TRUE or FALSE for a boolean, the error's name ("#DIV/0!") for an error;
//  - text as it stands, empty text for an empty cell.
// date1904 is the workbook's date system (day 0 is 1904-01-01).
QString Text(const Value &value, bool date1904);

// A number as its plain decimal text ("1", "1.5", "0.3" for 0.1 + 0.2).
QString PlainNumber(double number);
// The date a day serial shows, in the 1900 date system (with its 29 February
// 1900) or the 1904 one; empty when the serial is outside the years 1900 to
// 9999.
QString DateText(double serial, bool date1904);

// A date written as ISO 8601 text (an .xlsx date cell) as DateText writes
// it: "2023-03-15T12:00:00" gives "2023-03-15 12:00:00". Other text is
// handed back as it stands.
QString IsoDateText(const QString &text);

// Number formats that show a date or a time: the built-in format numbers
// reserved for them, and format codes with day, month, year, hour, minute or
// second fields outside quoted text.
bool IsBuiltInDateFormat(int id);
bool IsDateFormatCode(const QString &code);

// The reader's result for the 41 cells: Ok with their texts, or Uncalculated
// when one of them is a formula without a stored result (its name in the
// reason), since its text cannot be known without calculating it.
WorkbookReader::Result Finish(const Value (&cells)[kSlots], bool date1904);

// A failed result with its reason.
WorkbookReader::Result Failure(WorkbookReader::Status status, const QString &reason);

} // namespace WorkbookCells
