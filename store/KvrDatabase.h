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

// The view QueryMe exactly as the delivered database defines it.
QString QueryMeDefinition();

// Why a file that passes Validate() still is no database of ours to put in
// place of the live one, or empty: it holds triggers (statements that would
// run on the program's next write), or a QueryMe that is not our view with
// our definition. Opens the file read-only.
QString UntrustedContent(const QString &path);

// What the program does to the database file the first time it opens it:
// whatever journal mode the file arrives in, it is switched to rollback-journal
// mode (journal_mode=DELETE), so every committed row is in the file itself;
// and IDE.Code and Answer1.Code get their UNIQUE indexes when no code is held
// twice. A file with codes held twice keeps working as it is: nothing in it is
// changed or deleted, and the codes are listed here. A step that cannot be
// done (a read-only file, another program writing for longer than the busy
// timeout) is left for the next start; the file is used as it is.
struct Preparation {
    QStringList duplicateExamineeCodes; // IDE.Code held by several examinees
    QStringList duplicateAnswerCodes;   // Answer1.Code of several answer rows
    QString error;
};
Preparation Prepare(const QString &path);
// Prepare() once per file and process; the result is kept, so whoever asks
// first (the program's start, kvr-cli) can report it and later callers do not
// repeat the work. ForgetPrepared() after the file was replaced.
const Preparation &PrepareOnce(const QString &path);
void ForgetPrepared();
// The Persian text that names the codes held twice, or empty when none are.
QString DuplicatesMessage(const Preparation &preparation);

// How long a connection waits for another program's write to end.
constexpr int BusyTimeoutMs = 5000;

} // namespace KvrDatabase
