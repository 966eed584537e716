#pragma once
// What the screens and kvr-cli tell the user when the database could not be
// read or written: one Persian sentence that says what happened, then
// SQLite's own words on a second line.
#include <QString>

namespace DatabaseError {

// Failures of the data control's own, next to SQLite's result codes.
enum : int {
    FileMissing = -1,      // the database file is not there
    BeingReplaced = -2,    // this program is restoring the file just now
    RestoreElsewhere = -3, // another program is restoring it
    RowGone = -4,          // the row was deleted meanwhile, by another window
};

// code: SQLite's (extended) result code, one of the values above, or 0 when
// nothing more is known; detail: the system's words, left out when empty.
QString Text(int code, const QString &detail);

} // namespace DatabaseError
