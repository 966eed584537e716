#pragma once
// The KVR database on a PostgreSQL server: making it in an empty database,
// moving a clinic's file into it, and copying its data to and from the
// SQLite file a backup is (the same .KVR file a backup of the file is, so
// every backup can be restored in either place).
//
// On the server the tables keep the program's names and columns. IDE.id is
// numbered by the server; the other tables carry a hidden row number
// (kvr_rowid) that keeps their rows in the order they were inserted. Columns
// the file declares INTEGER (Answer1.Code, QUS.Code, Theme.Logo, Theme.TH)
// are whole numbers on the server; all others are text. IDE.Code and
// Answer1.Code are UNIQUE. QueryMe joins the answers to the examinees as the
// file's view does and keeps their registration order.
//
// Each operation runs on a connection of its own, in one transaction: it is
// done whole or not at all.
#include "store/DatabaseLocation.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct sqlite3;

namespace ServerDatabase {

// The statements that make the tables, their unique codes and QueryMe.
QStringList SchemaStatements();
// The delivered database as SQL text (the tables, the 40 questions and the
// settings row), built into the program.
QString DeliveredScript();

// Why the current server's database cannot serve the program, or empty: it
// cannot be reached, or a table, view or column is missing. *code gets
// DatabaseError's code.
QString Problem(int *code = nullptr);
// The same for a server not yet chosen, with the password given (empty:
// libpq's own, from PGPASSWORD or ~/.pgpass).
QString Problem(const DatabaseLocation::Server &server, const QString &password, int *code = nullptr);

struct Counts {
    qint64 examinees = 0;
    qint64 answers = 0;
    qint64 questions = 0;
    qint64 settings = 0;
};

struct Outcome {
    bool ok = false;
    bool refused = false; // nothing was touched
    QString error;        // in English, the server's words included
    int code = 0;         // DatabaseError's code of a database failure
    Counts counts;        // rows copied
};

// Makes the tables, QueryMe and the delivered rows in an empty database;
// refuses a database that holds any table, view or sequence.
Outcome Init();

// Copies the four tables of a KVR database file into the server: the tables
// are made first when the database is empty, the delivered questions and
// settings row are replaced by the file's. Refused while the server holds
// examinees or another program is connected to it. Before the transaction
// commits, the server's rows are read back and compared with the file's, row
// by row and value by value (as text, NULL as empty text); a difference
// takes everything back.
Outcome Migrate(const QString &file);

// Called between blocks of rows; returning false stops the copy.
using BetweenBlocks = std::function<bool()>;

// Writes the server's data, as it stood at one moment (one REPEATABLE READ
// transaction), into a new SQLite file at path made from the delivered
// database: its tables, QueryMe and unique codes, the server's rows in their
// order, IDE.id kept and the next id as the server would give it.
Outcome WriteSnapshot(const QString &path, const BetweenBlocks &betweenBlocks = {});

// Replaces the server's data with the file's in one transaction, compared
// as Migrate compares. The caller holds the exclusive lock
// (LiveServer::ExclusiveLock) and has checked the file.
Outcome Replace(const QString &file, const BetweenBlocks &betweenBlocks = {});

// Reads a record source of the program's ("SELECT * FROM QueryMe ") from
// the server on a connection of its own, in one read-only REPEATABLE READ
// transaction, a block of rows at a time: every pass over the rows, and
// every other read made through it, sees the data as it stood at one moment.
class QueryCursor
{
public:
    QueryCursor();
    ~QueryCursor();
    QueryCursor(const QueryCursor &) = delete;
    QueryCursor &operator=(const QueryCursor &) = delete;

    bool Open(const QString &recordSource, QString *error);
    QStringList ColumnNames() const { return m_names; }
    // Moves to the next row; false after the last row or on a failure,
    // which Error() then describes.
    bool Next();
    // The current row's value: the bytes of its text, none for NULL.
    QByteArrayView Value(int column) const;
    bool IsNull(int column) const;
    // Starts again at the first row, in the same transaction.
    bool Rewind();
    QString Error() const { return m_error; }
    // Runs another read in the same transaction; row gets each row's values
    // (NULL as no bytes).
    bool Read(const QString &sql, const std::function<void(const QList<QByteArrayView> &)> &row, QString *error);

private:
    struct State;
    bool fetch();
    std::unique_ptr<State> m_state;
    QStringList m_names;
    int m_row = -1;
    QString m_error;
};

} // namespace ServerDatabase
