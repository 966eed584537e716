#pragma once
// Connections to the PostgreSQL server of DatabaseLocation: opened by Qt's
// QPSQL driver (which hands libpq the settings and the password; with no
// password libpq reads PGPASSWORD and ~/.pgpass), used through libpq itself,
// as the file's connections are used through SQLite's own interface.
//
// Failures carry one of DatabaseError's codes: the SQLite code of the same
// kind where there is one (a code held twice, another program's lock), else
// the server's own (unreachable, connection lost, login refused).
//
// Used inside store/ and by the backup.
#include "store/DatabaseLocation.h"
#include "store/SqlBackend.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct pg_conn;
struct pg_result;

namespace ServerSession {

// Opens a connection of that name to the current server (an open one of that
// name is closed first). Statements wait up to KvrDatabase::BusyTimeoutMs for
// a row or lock another program holds.
bool Open(const QString &name, Sql::Failure *failure);
// The same to a given server with a given password (a connection tried
// before it is chosen).
bool Open(const QString &name, const DatabaseLocation::Server &server, const QString &password,
          Sql::Failure *failure);
void Close(const QString &name);
// The connection's libpq handle, or null when it is not open.
pg_conn *Handle(const QString &name);
// True when the connection is open and answers (one round trip).
bool Answers(const QString &name);

// The result of one statement.
class Result
{
public:
    Result() = default;
    explicit Result(pg_result *result, pg_conn *conn);
    ~Result();
    Result(Result &&other) noexcept;
    Result &operator=(Result &&other) noexcept;
    Result(const Result &) = delete;
    Result &operator=(const Result &) = delete;

    bool ok() const { return m_ok; }
    const Sql::Failure &failure() const { return m_failure; }
    int rows() const;
    int columns() const;
    QString columnName(int column) const;
    QByteArrayView value(int row, int column) const; // NULL as no bytes
    bool isNull(int row, int column) const;
    QString text(int row, int column) const { return QString::fromUtf8(value(row, column)); }
    int changed() const; // rows an INSERT, UPDATE or DELETE touched
    pg_result *get() const { return m_result; }

private:
    pg_result *m_result = nullptr;
    bool m_ok = false;
    Sql::Failure m_failure;
};

// Runs a statement; '?' marks take the values in order (a Null parameter is
// SQL NULL, every other one is sent as text for the server to read as the
// column's type).
Result Exec(pg_conn *conn, const QString &sql, const QList<Sql::Param> &params = {});
Result Exec(const QString &connection, const QString &sql, const QList<Sql::Param> &params = {});

// The failure of a connection without a result (a connection that could not
// be made, or that is gone).
Sql::Failure FailureOf(pg_conn *conn, bool connecting);

// Writes rows into a table through COPY: Begin, then one Row per row (values
// in the order of the columns; a missing value is NULL), then End.
class Copy
{
public:
    Copy(pg_conn *conn, const QString &table, const QStringList &columns);
    bool ok() const { return m_ok; }
    void Row(const QList<QByteArrayView> &values, const QList<bool> &isNull);
    bool End(Sql::Failure *failure);

private:
    void flush();
    pg_conn *m_conn;
    QByteArray m_buffer;
    bool m_ok = false;
    Sql::Failure m_failure;
};

} // namespace ServerSession
