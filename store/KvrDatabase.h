#pragma once
// The database file KVRDB.mdb: checking that a file is one, making one from
// the delivered SQL text, and translating the screens' record sources into
// statements SQLite accepts.
#include <QString>
#include <QStringList>

namespace KvrDatabase {

// The file's name in the program folder.
QString FileName(); // "KVRDB.mdb"

// True when the file is a sound KVR database: an SQLite file (header),
// passing PRAGMA quick_check, holding the tables IDE, Answer1, QUS, Theme with
// their columns and the view QueryMe. Opens the file read-only and never
// creates it. On false, *error says what is wrong.
bool Validate(const QString &path, QString *error = nullptr);

// What the program tells the user at start-up when the database file at path
// cannot be used: a Persian message naming the file and its full path, for a
// missing file and for one that fails Validate(). Empty when the file is sound.
QString StartupProblem(const QString &path);

// Makes a database file at dbPath from the SQL script at sqlPath. An
// existing dbPath is left alone (returns false with an error). The file is
// built under a temporary name and renamed when complete, so a failure leaves
// no half-made database behind.
bool CreateFromSql(const QString &sqlPath, const QString &dbPath, QString *error = nullptr);

// Splits a script into statements at semicolons outside quotes and comments.
QStringList SplitStatements(const QString &script);

// A record source of the shapes the screens use:
//   select a,b,c  from T order by id desc
//   SELECT * FROM T
struct Source {
    bool ok = false;
    QString error;
    QString table;       // as written
    QStringList columns; // empty for *
    QString orderColumn; // empty when not ordered
    bool descending = false;
    // The statement for SQLite, identifiers quoted. With withRowid the row
    // id comes first, named kvr_rowid.
    QString Sql(bool withRowid) const;
};
Source ParseRecordSource(const QString &text);

// Quotes an identifier for SQLite ("Alter", "E-Mail", "1").
QString QuoteIdentifier(const QString &name);

} // namespace KvrDatabase
