#pragma once
// What the screens and kvr-cli tell the user when the database could not be
// read or written: one Persian sentence that says what happened, then the
// database's own words (SQLite's or the server's) on a second line.
#include <QString>

namespace DatabaseError {

// Failures of the data control's own, next to SQLite's result codes.
enum : int {
    FileMissing = -1,      // the database file is not there
    BeingReplaced = -2,    // this program is restoring the file just now
    RestoreElsewhere = -3, // another program is restoring it
    RowGone = -4,          // the row was deleted meanwhile, by another window
    // A database on a server:
    ServerUnreachable = -5, // no connection could be made
    ConnectionLost = -6,    // the connection broke off; the work was not done
    LoginFailed = -7,       // the server refused the user name or password
    NoPermission = -8,      // the server's user may not do this
    NotPrepared = -9,       // the server's database does not hold KVR's tables
};

// code: SQLite's (extended) result code, one of the values above, or 0 when
// nothing more is known; detail: the system's words, left out when empty.
// (A server's failures are given the SQLite code of the same kind where
// there is one: a code held twice, a lock held too long, a full disk.)
QString Text(int code, const QString &detail);

} // namespace DatabaseError
